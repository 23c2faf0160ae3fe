// Where a first-family hub keeps what the driver reads and writes in its OTP
// (and, shifted by 0xF000, in its SPI flash), and the pure checks over those
// bytes: the vendor signature, the newest configuration block of an area and
// the comparison of blocks without their serial items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace miravel {

constexpr uint32_t kOtpSize = 2048;
constexpr uint32_t kVendorBlockOffset = 6;
constexpr uint32_t kVendorBlockSize = 24;
constexpr uint32_t kUuidOffset = 10;  // vendor block bytes 4..19
constexpr uint32_t kUuidSize = 16;
constexpr uint32_t kConfigAreaOffset = 30;
constexpr uint32_t kConfigAreaSize = kOtpSize - kConfigAreaOffset;  // 2018
constexpr uint32_t kRamSize = 2048;
constexpr uint32_t kRamBlockOffset = 30;
constexpr uint32_t kOtpStatusRegister = 0x523A;
constexpr uint8_t kOtpFullBit = 0x20;

// The vendor block starts with "VNDR", each letter in either case.
bool HasVendorSignature(const uint8_t* block, size_t size);

// Offset of the last "CFGB" (exact case) at or below size - blockSize, searching
// backwards; nothing when there is none.
std::optional<size_t> FindLastBlockStart(const uint8_t* memory, size_t size, size_t blockSize);

// The first offset where two equally long buffers differ; nothing when equal.
std::optional<size_t> FirstDifference(const uint8_t* a, const uint8_t* b, size_t size);

// Where a block of blockSize bytes appeared between two reads of the OTP: the
// first differing offset, provided the block fits from there. Nothing when
// nothing changed or the block would run past the OTP's end.
std::optional<size_t> NewBlockOffset(const uint8_t* before, const uint8_t* after, size_t size,
                                     size_t blockSize);

// Driver codes of the comparisons.
constexpr int32_t kCompareSame = 0;
constexpr int32_t kCompareBadArgument = -9;
constexpr int32_t kCompareDifferent = -15;

// 0 when the two blocks write the same values to every register the serial
// items do not touch, -15 otherwise (or when either block cannot be read).
// found may run on past its block (foundAvailable bytes are readable).
int32_t CompareIgnoringSerial(const uint8_t* found, size_t foundAvailable, const uint8_t* given,
                              size_t givenSize);

// The newest block of an area compared with the given block: 0, -9 (null,
// empty or an area smaller than the block), -15 (no "CFGB", or different).
int32_t CompareWithLastBlock(const uint8_t* memory, size_t memorySize, const uint8_t* block,
                             size_t blockSize);

}  // namespace miravel
