// OTP layout checks of the first-family driver.
#include "MiravelOtpLayout.h"

#include <cctype>
#include <cstring>

#include "BlockCompare.h"

namespace miravel {

bool HasVendorSignature(const uint8_t* block, size_t size) {
    static const char kSignature[] = "VNDR";
    if (block == nullptr || size < 4) return false;
    for (int i = 0; i < 4; ++i) {
        if (std::toupper(block[i]) != kSignature[i]) return false;
    }
    return true;
}

std::optional<size_t> FindLastBlockStart(const uint8_t* memory, size_t size, size_t blockSize) {
    if (memory == nullptr || blockSize > size || size < 4) return std::nullopt;
    size_t start = size - blockSize;
    if (start > size - 4) start = size - 4;  // a block shorter than its signature
    for (size_t at = start + 1; at-- > 0;) {
        if (memcmp(memory + at, "CFGB", 4) == 0) return at;
    }
    return std::nullopt;
}

std::optional<size_t> FirstDifference(const uint8_t* a, const uint8_t* b, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (a[i] != b[i]) return i;
    }
    return std::nullopt;
}

std::optional<size_t> NewBlockOffset(const uint8_t* before, const uint8_t* after, size_t size,
                                     size_t blockSize) {
    const std::optional<size_t> offset = FirstDifference(before, after, size);
    if (!offset || blockSize > size - *offset) return std::nullopt;
    return offset;
}

int32_t CompareIgnoringSerial(const uint8_t* found, size_t foundAvailable, const uint8_t* given,
                              size_t givenSize) {
    if (found == nullptr || given == nullptr || givenSize == 0) return kCompareDifferent;
    const bool same = cfgblock::SameIgnoringSerialItems(cfgblock::ByteView{found, foundAvailable},
                                                        cfgblock::ByteView{given, givenSize});
    return same ? kCompareSame : kCompareDifferent;
}

int32_t CompareWithLastBlock(const uint8_t* memory, size_t memorySize, const uint8_t* block,
                             size_t blockSize) {
    if (memory == nullptr || block == nullptr || memorySize == 0 || blockSize == 0 ||
        memorySize < blockSize) {
        return kCompareBadArgument;
    }
    const std::optional<size_t> start = FindLastBlockStart(memory, memorySize, blockSize);
    if (!start) return kCompareDifferent;
    if (memcmp(memory + *start, block, blockSize) == 0) return kCompareSame;
    return CompareIgnoringSerial(memory + *start, memorySize - *start, block, blockSize);
}

}  // namespace miravel
