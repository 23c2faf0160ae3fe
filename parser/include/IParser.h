// Interface of the configuration-block parser library (Pellvane.dll).
//
// The tool loads the library by name and looks up CreateParser; the hub
// library links it. Either way the object is created inside the library and
// must be destroyed with delete through the virtual destructor, so that the
// library's own runtime releases it. The slot order below is binary layout:
// do not reorder, insert or remove operations.
#pragma once

#include <cstdint>

// One item record; no item enumeration is offered, so records stay zero.
struct ConfigurationItem {
    uint8_t reserved[32];
    uint32_t values[3];
};
static_assert(sizeof(ConfigurationItem) == 44, "ConfigurationItem is a 44-byte record");

class IParser {
public:
    // Stores block (may be null) joined with the serial number's items.
    // Returns 0, -1, -2, -13, -14 or 0x7FF8FFF2 (out of memory).
    virtual int32_t SetConfigurationBlock(const uint8_t* block, uint32_t size,
                                          const wchar_t* serial, uint32_t serialLength) = 0;
    // Always -1.
    virtual int32_t GetConfigurationItems(ConfigurationItem** items, uint32_t* count) = 0;
    // 0, -13 (size disagrees with the descriptors) or -14 (bad signature).
    virtual int32_t ValidateConfigurationBlock(const uint8_t* block, uint32_t size) = 0;
    // 0, -13 (wrong size) or -14 (missing "2DFU" tag).
    virtual int32_t ValidateFirmwareImage(const uint8_t* image, uint32_t size) = 0;
    virtual uint32_t GetConfigBlockSize() = 0;
    // Copies the stored block; returns its size, or -1 when buffer is too small.
    virtual int32_t GetConfigBlock(uint32_t bufferSize, uint8_t* buffer) = 0;
    virtual ~IParser() = default;
};
static_assert(sizeof(IParser) == sizeof(void*), "IParser is a bare interface");

// Parser return codes.
constexpr int32_t kParserOk = 0;
constexpr int32_t kParserNothingToDo = -1;
constexpr int32_t kParserSerialTooLong = -2;
constexpr int32_t kParserSizeMismatch = -13;
constexpr int32_t kParserBadSignature = -14;
constexpr int32_t kParserOutOfMemory = 0x7FF8FFF2;

// kind 0 yields a parser (null when memory runs out); other kinds yield null.
// The first four arguments are not read.
extern "C" IParser* __cdecl CreateParser(const uint8_t* block, uint32_t blockSize,
                                         const wchar_t* serial, uint32_t serialLength,
                                         int32_t kind);
typedef IParser*(__cdecl* CreateParserFn)(const uint8_t* block, uint32_t blockSize,
                                          const wchar_t* serial, uint32_t serialLength,
                                          int32_t kind);
