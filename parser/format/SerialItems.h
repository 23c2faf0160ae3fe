// The six configuration items that carry a hub's serial number: its length,
// two string-descriptor sizes, an enable flag and the UTF-16LE text twice.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cfgblock {

constexpr size_t kSerialItemCount = 6;
constexpr size_t kSerialDescriptorBytes = 18;  // six descriptors
constexpr size_t kMaxSerialLength = 31;        // UTF-16 code units

// Registers the serial items write (the string items from there onwards).
constexpr uint16_t kSerialLengthRegister = 0x3015;
constexpr uint16_t kStringSizeRegisterA = 0x50B4;
constexpr uint16_t kSerialFlagRegister = 0x5050;
constexpr uint16_t kStringSizeRegisterB = 0x5014;
constexpr uint16_t kStringRegisterA = 0x3092;
constexpr uint16_t kStringRegisterB = 0x50B6;

struct SerialBlockSize {
    size_t descriptors = 0;
    size_t data = 0;
};

// 18 and 4L + 20 bytes for a serial of L code units; both 0 for L = 0.
SerialBlockSize SerialItemsSize(size_t length);

enum class SerialItemsResult { kOk, kBufferTooSmall, kTooLong };

// Writes the six descriptors and their data for serial[0..length). The buffer
// check comes first, then the length limit; nothing is written on failure.
SerialItemsResult WriteSerialItems(const wchar_t* serial, size_t length, uint8_t* descriptors,
                                   size_t descriptorsSize, uint8_t* data, size_t dataSize);

}  // namespace cfgblock
