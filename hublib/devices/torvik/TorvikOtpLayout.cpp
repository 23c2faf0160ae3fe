// Second-family OTP layout: counter, index walks and block placement.
#include "TorvikOtpLayout.h"

#include <cstring>

namespace torvik {

namespace {

uint16_t ReadBigEndian(const uint8_t* bytes) {
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

void WriteBigEndian(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value >> 8);
    bytes[1] = static_cast<uint8_t>(value & 0xFF);
}

uint32_t CountBits(uint16_t value) {
    uint32_t count = 0;
    for (; value != 0; value &= static_cast<uint16_t>(value - 1)) ++count;
    return count;
}

}  // namespace

int32_t RomVersionFromWord(uint16_t versionWord) {
    if (versionWord == 0x0108) return kRomVersion1;
    return versionWord >= 0x0109 ? kRomVersion2 : kRomUnknown;
}

uint32_t OtpSizeFromRegister(uint8_t value) {
    switch ((value >> 1) & 3) {
        case 0:
            return 2048;
        case 3:
            return 512;
        default:
            return 1024;
    }
}

uint16_t CounterValue(const uint8_t* otp) {
    return static_cast<uint16_t>((otp[0] << 8) | static_cast<uint8_t>(~otp[1]));
}

uint32_t ProgrammingCount(const uint8_t* otp) {
    return CountBits(CounterValue(otp));
}

bool AdvanceCounter(uint8_t* otp) {
    uint16_t value = CounterValue(otp);
    uint32_t n = CountBits(value);
    if (n >= kMaxProgrammings) return false;
    uint16_t bit = static_cast<uint16_t>(1u << n);
    // A counter with a gap below its top bit still counts: take the lowest clear bit.
    if ((value & bit) != 0) bit = static_cast<uint16_t>(~value & (value + 1));
    value = static_cast<uint16_t>(value | bit);
    otp[0] = static_cast<uint8_t>(value >> 8);
    otp[1] = static_cast<uint8_t>(~value & 0xFF);
    return true;
}

uint32_t IndexEntrySize(int32_t romVersion) {
    return romVersion == kRomVersion2 ? 8 : romVersion == kRomVersion1 ? 5 : 0;
}

uint8_t BlockChecksum(const uint8_t* block, size_t size) {
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum ^= block[i];
    return sum;
}

void WriteIndexEntry(uint8_t* slot, int32_t romVersion, uint8_t checksum, uint16_t offset,
                     uint16_t length) {
    if (romVersion == kRomVersion2) {
        memcpy(slot, "IDX", 3);
        slot += 3;
    }
    slot[0] = checksum;
    WriteBigEndian(slot + 1, offset);
    WriteBigEndian(slot + 3, length);
}

OtpIndex WalkOtpIndex(const uint8_t* otp, uint32_t size, int32_t romVersion) {
    OtpIndex index;
    const uint32_t entrySize = IndexEntrySize(romVersion);
    if (entrySize == 0 || size == 0 || size > kMaxOtpSize || size < entrySize) return index;
    index.known = true;
    int64_t slot = static_cast<int64_t>(size) - entrySize;
    for (; slot >= 0; slot -= entrySize) {
        const uint8_t* entry = otp + slot;
        OtpEntry found{static_cast<uint32_t>(slot), 0, 0, 0};
        if (romVersion == kRomVersion2) {
            if (memcmp(entry, "IDX", 3) != 0) break;
            found.checksum = entry[3];
            found.offset = ReadBigEndian(entry + 4);
            found.length = ReadBigEndian(entry + 6);
            if (found.offset > kMaxOtpSize || found.length > kMaxOtpSize) break;
        } else {
            found.checksum = entry[0];
            found.offset = ReadBigEndian(entry + 1);
            found.length = ReadBigEndian(entry + 3);
            if (found.offset == 0x00FF || found.offset == 0xFF00) break;
        }
        index.dataEnd = static_cast<uint32_t>(found.offset) + found.length;
        index.entries.push_back(found);
    }
    // A walk that found no end has no free slot left.
    index.indexStart = slot >= 0 ? static_cast<uint32_t>(slot) : 0;
    return index;
}

AppendResult AppendBlock(std::vector<uint8_t>& otp, uint32_t indexStart, uint32_t dataEnd,
                         int32_t romVersion, const uint8_t* block, uint32_t blockSize) {
    const uint32_t entrySize = IndexEntrySize(romVersion);
    if (entrySize == 0 || indexStart <= dataEnd || blockSize >= indexStart - dataEnd ||
        indexStart + entrySize > otp.size() || otp.size() < kDataStart) {
        return AppendResult::kNoSpace;
    }
    std::vector<uint8_t> next = otp;
    if (blockSize > 0) memcpy(next.data() + dataEnd, block, blockSize);
    if (!AdvanceCounter(next.data())) return AppendResult::kCounterFull;
    WriteIndexEntry(next.data() + indexStart, romVersion, BlockChecksum(block, blockSize),
                    static_cast<uint16_t>(dataEnd), static_cast<uint16_t>(blockSize));
    otp.swap(next);
    return AppendResult::kOk;
}

bool ContainsBlock(const uint8_t* otp, uint32_t size, const OtpIndex& index, const uint8_t* block,
                   uint32_t blockSize) {
    for (const OtpEntry& entry : index.entries) {
        if (entry.length != blockSize) continue;
        if (static_cast<uint32_t>(entry.offset) + entry.length > size) continue;
        if (memcmp(otp + entry.offset, block, blockSize) == 0) return true;
    }
    return false;
}

}  // namespace torvik
