// The second-family OTP layout over byte images: sizes, counter, index walks
// of both ROM versions, block placement and lookup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TorvikOtpLayout.h"

using namespace torvik;

namespace {

// A never programmed OTP: counter 00 FF; version 1 has an end mark (offset
// field 00 FF) in every 5-byte slot, version 2 is zero.
std::vector<uint8_t> BlankOtp(int32_t romVersion, uint32_t size) {
    std::vector<uint8_t> otp(size, 0);
    otp[1] = 0xFF;
    if (romVersion == kRomVersion1) {
        for (int64_t slot = static_cast<int64_t>(size) - 5; slot >= kDataStart; slot -= 5) {
            otp[static_cast<size_t>(slot) + 2] = 0xFF;
        }
    }
    return otp;
}

std::vector<uint8_t> Block(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> block(size);
    for (uint32_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>(seed + i * 7);
    return block;
}

std::string Hex(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

}  // namespace

TEST(TorvikOtpLayout, SizeRegisterAndRomVersionWord) {
    const struct {
        uint8_t reg;
        uint32_t size;
    } sizes[] = {{0x00, 2048}, {0xF9, 2048}, {0x02, 1024}, {0x04, 1024}, {0x06, 512}, {0xFF, 512}};
    for (const auto& c : sizes) {
        SCOPED_TRACE(c.reg);
        EXPECT_EQ(OtpSizeFromRegister(c.reg), c.size);
    }
    const struct {
        uint16_t word;
        int32_t version;
    } versions[] = {{0x0000, 0}, {0x0107, 0}, {0x0108, 1}, {0x0109, 2}, {0x0116, 2}};
    for (const auto& c : versions) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(RomVersionFromWord(c.word), c.version);
    }
}

TEST(TorvikOtpLayout, CounterCountsSixteenProgrammings) {
    const struct {
        uint8_t b0, b1;
        uint32_t count;
        bool advances;
        uint8_t next0, next1;
    } cases[] = {
        {0x00, 0xFF, 0, true, 0x00, 0xFE},
        {0x00, 0xFE, 1, true, 0x00, 0xFC},
        {0x00, 0x00, 8, true, 0x01, 0x00},
        {0x7F, 0x00, 15, true, 0xFF, 0x00},
        {0xFF, 0x00, 16, false, 0xFF, 0x00},
        // A gap below the top bit: the lowest clear bit is taken, so it still counts.
        {0x00, 0xFD, 1, true, 0x00, 0xFC},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(&c.b0, 1) + " " + Hex(&c.b1, 1));
        uint8_t otp[2] = {c.b0, c.b1};
        EXPECT_EQ(ProgrammingCount(otp), c.count);
        EXPECT_EQ(AdvanceCounter(otp), c.advances);
        EXPECT_EQ(otp[0], c.next0);
        EXPECT_EQ(otp[1], c.next1);
    }
}

// Three blocks appended to a blank OTP of each layout: where blocks and
// entries go, the counter, and that the walk finds all of them afterwards.
TEST(TorvikOtpLayout, BlocksAppendedToEachLayout) {
    const struct {
        int32_t version;
        uint32_t size;
        std::vector<std::string> entries;  // expected entry bytes, per block
    } cases[] = {
        {kRomVersion2,
         2048,
         {"49 44 58 ## 00 02 00 0A", "49 44 58 ## 00 0C 00 14", "49 44 58 ## 00 20 00 1E"}},
        {kRomVersion2,
         1024,
         {"49 44 58 ## 00 02 00 0A", "49 44 58 ## 00 0C 00 14", "49 44 58 ## 00 20 00 1E"}},
        {kRomVersion1, 2048, {"## 00 02 00 0A", "## 00 0C 00 14", "## 00 20 00 1E"}},
        {kRomVersion1, 512, {"## 00 02 00 0A", "## 00 0C 00 14", "## 00 20 00 1E"}},
    };
    const uint8_t counters[][2] = {{0x00, 0xFE}, {0x00, 0xFC}, {0x00, 0xF8}};
    for (const auto& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + ", " + std::to_string(c.size));
        std::vector<uint8_t> otp = BlankOtp(c.version, c.size);
        const uint32_t entrySize = IndexEntrySize(c.version);
        std::vector<std::vector<uint8_t>> blocks;
        for (uint32_t i = 0; i < 3; ++i) {
            OtpIndex index = WalkOtpIndex(otp.data(), c.size, c.version);
            ASSERT_TRUE(index.HasRoom());
            EXPECT_EQ(index.indexStart, c.size - entrySize * (i + 1));
            EXPECT_EQ(index.entries.size(), i);
            blocks.push_back(Block(10 * (i + 1), static_cast<uint8_t>(i + 1)));
            const auto& block = blocks.back();
            uint32_t offset = index.dataEnd;
            ASSERT_EQ(AppendBlock(otp, index.indexStart, index.dataEnd, c.version, block.data(),
                                  static_cast<uint32_t>(block.size())),
                      AppendResult::kOk);
            EXPECT_EQ(
                std::vector<uint8_t>(otp.begin() + offset, otp.begin() + offset + block.size()),
                block);
            std::string entry = c.entries[i];
            entry.replace(
                entry.find("##"), 2,
                Hex(std::vector<uint8_t>{BlockChecksum(block.data(), block.size())}.data(), 1));
            EXPECT_EQ(Hex(otp.data() + index.indexStart, entrySize), entry);
            EXPECT_EQ(Hex(otp.data(), 2), Hex(counters[i], 2));
        }
        OtpIndex index = WalkOtpIndex(otp.data(), c.size, c.version);
        EXPECT_EQ(index.dataEnd, 2u + 10 + 20 + 30);
        for (const auto& block : blocks) {
            EXPECT_TRUE(ContainsBlock(otp.data(), c.size, index, block.data(),
                                      static_cast<uint32_t>(block.size())));
        }
        auto other = Block(20, 9);
        EXPECT_FALSE(ContainsBlock(otp.data(), c.size, index, other.data(), 20));
    }
}

TEST(TorvikOtpLayout, BlockMustBeSmallerThanTheGap) {
    for (int32_t version : {kRomVersion1, kRomVersion2}) {
        SCOPED_TRACE(version);
        std::vector<uint8_t> otp = BlankOtp(version, 512);
        OtpIndex index = WalkOtpIndex(otp.data(), 512, version);
        const uint32_t gap = index.indexStart - index.dataEnd;
        const std::vector<uint8_t> before = otp;
        auto exact = Block(gap, 3);
        EXPECT_EQ(AppendBlock(otp, index.indexStart, index.dataEnd, version, exact.data(), gap),
                  AppendResult::kNoSpace);
        EXPECT_EQ(otp, before);
        EXPECT_EQ(AppendBlock(otp, index.indexStart, index.dataEnd, version, exact.data(), gap - 1),
                  AppendResult::kOk);
        // The index has met the data: no room for another block.
        EXPECT_FALSE(WalkOtpIndex(otp.data(), 512, version).HasRoom());
    }
}

TEST(TorvikOtpLayout, FullCounterChangesNothing) {
    std::vector<uint8_t> otp = BlankOtp(kRomVersion2, 2048);
    otp[0] = 0xFF;
    otp[1] = 0x00;
    const std::vector<uint8_t> before = otp;
    OtpIndex index = WalkOtpIndex(otp.data(), 2048, kRomVersion2);
    auto block = Block(16, 1);
    EXPECT_EQ(AppendBlock(otp, index.indexStart, index.dataEnd, kRomVersion2, block.data(), 16),
              AppendResult::kCounterFull);
    EXPECT_EQ(otp, before);
}

TEST(TorvikOtpLayout, WalkEnds) {
    // Version 2 stops at a slot whose offset or length is beyond 2048.
    std::vector<uint8_t> otp = BlankOtp(kRomVersion2, 2048);
    WriteIndexEntry(otp.data() + 2040, kRomVersion2, 0, 2, 4);
    WriteIndexEntry(otp.data() + 2032, kRomVersion2, 0, 0x0801, 4);
    OtpIndex index = WalkOtpIndex(otp.data(), 2048, kRomVersion2);
    EXPECT_EQ(index.indexStart, 2032u);
    EXPECT_EQ(index.dataEnd, 6u);
    // Version 1 stops at either end mark.
    for (uint16_t mark : {0x00FF, 0xFF00}) {
        std::vector<uint8_t> v1(512, 0);
        WriteIndexEntry(v1.data() + 507, kRomVersion1, 0, 2, 8);
        WriteIndexEntry(v1.data() + 502, kRomVersion1, 0, mark, 0);
        OtpIndex walked = WalkOtpIndex(v1.data(), 512, kRomVersion1);
        EXPECT_EQ(walked.indexStart, 502u);
        EXPECT_EQ(walked.dataEnd, 10u);
    }
    // Without any end mark the version-1 walk reaches the bottom: no room.
    std::vector<uint8_t> zeros(512, 0);
    EXPECT_FALSE(WalkOtpIndex(zeros.data(), 512, kRomVersion1).HasRoom());
    // Unknown version or impossible size.
    EXPECT_FALSE(WalkOtpIndex(otp.data(), 2048, kRomUnknown).known);
    EXPECT_FALSE(WalkOtpIndex(otp.data(), 0, kRomVersion2).known);
    EXPECT_FALSE(WalkOtpIndex(otp.data(), 4096, kRomVersion2).known);
}
