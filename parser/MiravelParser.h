// The parser behind IParser: validates configuration blocks and firmware
// images and stores a configuration block joined with a serial number.
#pragma once

#include <cstdint>
#include <memory>

#include "IParser.h"

class CLogger;

class CMiravelParser : public IParser {
public:
    CMiravelParser() = default;
    ~CMiravelParser() override;
    CMiravelParser(const CMiravelParser&) = delete;
    CMiravelParser& operator=(const CMiravelParser&) = delete;

    int32_t SetConfigurationBlock(const uint8_t* block, uint32_t size, const wchar_t* serial,
                                  uint32_t serialLength) override;
    int32_t GetConfigurationItems(ConfigurationItem** items, uint32_t* count) override;
    int32_t ValidateConfigurationBlock(const uint8_t* block, uint32_t size) override;
    int32_t ValidateFirmwareImage(const uint8_t* image, uint32_t size) override;
    uint32_t GetConfigBlockSize() override;
    int32_t GetConfigBlock(uint32_t bufferSize, uint8_t* buffer) override;

    // Descriptor and data sizes of the serial items for serialLength code units.
    void GetSerialBlockSize(uint32_t serialLength, uint32_t* descriptorSize, uint32_t* dataSize);
    // Writes the serial items: 0, -1 (buffer too small) or -2 (serial too long).
    int32_t GetSerialBinaryBlock(uint8_t* descriptors, uint8_t* data, const wchar_t* serial,
                                 uint32_t serialLength, uint32_t descriptorsSize,
                                 uint32_t dataSize);
    // No item enumeration is offered: the record is all zero.
    ConfigurationItem GetItemInfo(uint32_t index);

private:
    void ReleaseStoredBlock();
    // Allocates and fills the stored block; messages go to the caller's scope.
    int32_t StoreJoinedBlock(CLogger& log, const uint8_t* block, uint32_t size,
                             const uint8_t* descriptors, uint32_t descriptorsSize,
                             const uint8_t* data, uint32_t dataSize);

    uint8_t itemCount_ = 0;  // items of the stored block
    std::unique_ptr<uint8_t[]> block_;
    uint32_t blockSize_ = 0;
};
