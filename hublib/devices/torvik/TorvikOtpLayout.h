// Layout of a second-family hub's OTP: a programming counter in bytes 0-1,
// configuration blocks from offset 2 upwards, and an index of one entry per
// block growing down from the end. The ROM version decides the entry format.
// Pure functions over bytes; no Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvik {

constexpr uint32_t kMaxOtpSize = 2048;
constexpr uint32_t kMaxProgrammings = 16;
constexpr uint16_t kDataStart = 2;

// ROM version codes: 0 unknown, 1 version word 0x0108, 2 version word 0x0109 and up.
enum RomVersion : int32_t { kRomUnknown = 0, kRomVersion1 = 1, kRomVersion2 = 2 };

int32_t RomVersionFromWord(uint16_t versionWord);

// Register 0x201C, bits 2..1: 0 gives 2048 bytes, 1 or 2 give 1024, 3 gives 512.
uint32_t OtpSizeFromRegister(uint8_t value);

// Counter value V = byte0 * 256 + NOT byte1; one set bit per programming.
uint16_t CounterValue(const uint8_t* otp);
uint32_t ProgrammingCount(const uint8_t* otp);
// Counts one more programming in bytes 0-1; false (nothing changed) after 16.
bool AdvanceCounter(uint8_t* otp);

// 8 bytes "IDX", checksum, offset, length for version 2; 5 bytes for version 1; 0 otherwise.
uint32_t IndexEntrySize(int32_t romVersion);
uint8_t BlockChecksum(const uint8_t* block, size_t size);
void WriteIndexEntry(uint8_t* slot, int32_t romVersion, uint8_t checksum, uint16_t offset,
                     uint16_t length);

struct OtpEntry {
    uint32_t slot;  // offset of the entry itself
    uint8_t checksum;
    uint16_t offset;
    uint16_t length;
};

// Where the index walk of the ROM version stopped and what it passed.
struct OtpIndex {
    bool known = false;       // false: unknown version or a size outside 1..2048
    uint32_t indexStart = 0;  // the first free slot
    uint32_t dataEnd = kDataStart;
    std::vector<OtpEntry> entries;  // newest last
    // True when a gap remains between the data and the index.
    bool HasRoom() const { return known && indexStart > dataEnd; }
};

// Version 2 walks 8-byte slots from size - 8 down while a slot begins with
// "IDX" and holds an offset and a length of at most 2048; version 1 walks
// 5-byte slots from size - 5 down until the offset field reads 0x00FF or
// 0xFF00. Neither walks below offset 0.
OtpIndex WalkOtpIndex(const uint8_t* otp, uint32_t size, int32_t romVersion);

enum class AppendResult { kOk, kNoSpace, kCounterFull };

// Appends block to the OTP content at dataEnd, with its entry at indexStart,
// and counts the programming. The block must be smaller than the gap between
// the two. Nothing is changed unless the result is kOk.
AppendResult AppendBlock(std::vector<uint8_t>& otp, uint32_t indexStart, uint32_t dataEnd,
                         int32_t romVersion, const uint8_t* block, uint32_t blockSize);

// True when an entry of the index locates exactly this block inside the OTP.
bool ContainsBlock(const uint8_t* otp, uint32_t size, const OtpIndex& index, const uint8_t* block,
                   uint32_t blockSize);

}  // namespace torvik
