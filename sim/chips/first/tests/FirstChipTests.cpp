// The first-family chip's rules over its memory: OTP bits only go from 0 to
// 1, blocks append after the last one, no room sets bit 5 of 0x523A, flash
// programming only clears bits and erasing sets 0xFF.
#include <gtest/gtest.h>

#include <cstring>

#include "FirstChip.h"
#include "FirstChipLatency.h"

using namespace usbsim;
using namespace usbsim::first;

namespace {

// "CFGB", n one-byte items (type 0x800, 3 bytes each): 5 + 6n bytes.
std::vector<uint8_t> Block(int items, uint8_t value) {
    std::vector<uint8_t> block = {'C', 'F', 'G', 'B', static_cast<uint8_t>(items)};
    for (int i = 0; i < items; ++i) block.insert(block.end(), {0x40, 0x00, 0x03});
    for (int i = 0; i < items; ++i)
        block.insert(block.end(), {0x10, static_cast<uint8_t>(i), value});
    return block;
}

ChipMemory Fresh(FirstFamilyChip first, std::map<uint32_t, uint8_t> registers = {}) {
    ChipSpec spec;
    spec.first = std::move(first);
    spec.registers = std::move(registers);
    ChipMemory memory;
    InitialiseMemory(memory, spec);
    return memory;
}

}  // namespace

TEST(FirstChip, InitialOtpLayout) {
    FirstFamilyChip spec;
    spec.uuid = std::vector<uint8_t>(16, 0xAB);
    spec.vendorSignature = "vndr";
    spec.otpBlocks = {Block(1, 1), Block(2, 2)};
    ChipMemory memory = Fresh(spec);
    const auto& otp = memory.areas["otp"];
    ASSERT_EQ(otp.size(), kOtpSize);
    EXPECT_EQ(std::string(otp.begin() + 6, otp.begin() + 10), "vndr");
    EXPECT_EQ(otp[10], 0xAB);
    EXPECT_EQ(otp[25], 0xAB);
    EXPECT_EQ(otp[26], 0x00);
    EXPECT_EQ(otp[30], 'C');
    EXPECT_EQ(NextBlockOffset(otp), 30u + 11u + 17u);
    EXPECT_EQ(memory.areas["ram"].size(), kRamSize);
    EXPECT_EQ(memory.areas.count("flash"), 0u);
    EXPECT_TRUE(memory.initialised);

    EXPECT_EQ(NextBlockOffset(Fresh(FirstFamilyChip{}).areas["otp"]), 30u);
}

TEST(FirstChip, NextBlockOffsetCountsBytesBeyondTheBlocks) {
    std::vector<uint8_t> otp(kOtpSize, 0);
    const auto block = Block(2, 7);
    std::copy(block.begin(), block.end(), otp.begin() + 30);
    otp[100] = 0x01;  // something programmed that is no block
    EXPECT_EQ(NextBlockOffset(otp), 101u);
}

TEST(FirstChip, OtpBitsOnlyGoFromZeroToOne) {
    ChipMemory memory = Fresh(FirstFamilyChip{});
    CFirstChip chip(memory);
    const uint8_t first[] = {0x0F, 0x30};
    ASSERT_EQ(chip.WriteOtp(100, first, 2), ChipStatus::kOk);
    const uint8_t more[] = {0x1F, 0x31};
    EXPECT_EQ(chip.WriteOtp(100, more, 2), ChipStatus::kOk);
    const uint8_t clearing[] = {0xFF, 0x01};  // would clear 0x30 in the second byte
    const auto before = memory.areas["otp"];
    EXPECT_EQ(chip.WriteOtp(100, clearing, 2), ChipStatus::kWouldClearBit);
    EXPECT_EQ(memory.areas["otp"], before) << "a refused write changed the OTP";
    EXPECT_EQ(memory.areas["otp"][100], 0x1F);
    EXPECT_EQ(chip.WriteOtp(2047, first, 2), ChipStatus::kOutOfRange);
}

TEST(FirstChip, ProgramOtpAppendsUntilThereIsNoRoom) {
    ChipMemory memory = Fresh(FirstFamilyChip{}, {{kOtpStatusRegister, 0x01}});
    CFirstChip chip(memory);
    const auto block = Block(40, 9);  // 245 bytes: 8 fit into 2018
    uint32_t at = 30;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(chip.ProgramOtp(30, block.data(), static_cast<uint32_t>(block.size())),
                  ChipStatus::kOk);
        EXPECT_EQ(memcmp(&memory.areas["otp"][at], block.data(), block.size()), 0);
        at += static_cast<uint32_t>(block.size());
    }
    const auto full = memory.areas["otp"];
    EXPECT_EQ(chip.ProgramOtp(30, block.data(), static_cast<uint32_t>(block.size())),
              ChipStatus::kNoRoom);
    EXPECT_EQ(memory.areas["otp"], full);
    EXPECT_EQ(memory.registers[kOtpStatusRegister], 0x21);
    const auto small = Block(1, 1);
    EXPECT_EQ(chip.ProgramOtp(30, small.data(), static_cast<uint32_t>(small.size())),
              ChipStatus::kOk);
    EXPECT_EQ(memory.registers[kOtpStatusRegister], 0x01);
}

TEST(FirstChip, Flash) {
    FirstFamilyChip spec;
    spec.flash = FlashSpec{};
    spec.flash->size = 2 * kSectorSize;
    spec.flash->image = {0x0F, 0xF0};
    ChipMemory memory = Fresh(spec);
    CFirstChip chip(memory);
    auto& flash = memory.areas["flash"];
    EXPECT_EQ(flash[0], 0x0F);
    EXPECT_EQ(flash[2], 0xFF);

    const uint8_t data[] = {0x3C, 0x3C};
    ASSERT_EQ(chip.PageProgram(0, data, 2), ChipStatus::kOk);
    EXPECT_EQ(flash[0], 0x0C);  // bits only cleared
    EXPECT_EQ(flash[1], 0x30);
    ASSERT_EQ(chip.SectorErase(kSectorSize + 5), ChipStatus::kOk);
    EXPECT_EQ(flash[0], 0x0C) << "another sector was erased";
    ASSERT_EQ(chip.SectorErase(10), ChipStatus::kOk);
    EXPECT_EQ(flash[0], 0xFF);

    std::vector<uint8_t> big(kMaxPageProgram + 1, 0);
    EXPECT_EQ(chip.PageProgram(0, big.data(), static_cast<uint32_t>(big.size())),
              ChipStatus::kBadRequest);
    std::vector<uint8_t> read(kMaxFlashRead + 1);
    EXPECT_EQ(chip.ReadFlash(0, read.data(), kMaxFlashRead), ChipStatus::kOk);
    EXPECT_EQ(chip.ReadFlash(0, read.data(), kMaxFlashRead + 1), ChipStatus::kBadRequest);
    EXPECT_EQ(chip.ReadFlash(2 * kSectorSize - 1, read.data(), 2), ChipStatus::kOutOfRange);
    EXPECT_EQ(chip.SectorErase(2 * kSectorSize), ChipStatus::kOutOfRange);

    ChipMemory noFlash = Fresh(FirstFamilyChip{});
    CFirstChip bare(noFlash);
    EXPECT_EQ(bare.WriteFlashStatus(0), ChipStatus::kNoFlash);
    EXPECT_EQ(bare.ChipErase(), ChipStatus::kNoFlash);
}

TEST(FirstChip, BootFlags) {
    FirstFamilyChip spec;
    spec.flash = FlashSpec{};
    spec.flash->size = 16 * kSectorSize;
    spec.flash->image.assign(0x10000, 0xFF);
    memcpy(&spec.flash->image[kFirmwareTagAddress], "2DFU", 4);
    struct Case {
        const char* name;
        const char* boot;
        bool image;
        uint8_t flags;
    } cases[] = {{"firmware in flash", "spi", true, kBootFlagSpiFirmware},
                 {"dfu", "dfu", true, 0},
                 {"no firmware", "spi", false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirstFamilyChip chip = spec;
        chip.bootState = c.boot;
        if (!c.image) chip.flash->image.clear();
        ChipMemory memory = Fresh(chip);
        CFirstChip first(memory);
        uint8_t flags = 0x55;
        ASSERT_EQ(first.ReadControl(kControlBootFlags, &flags, 1), ChipStatus::kOk);
        EXPECT_EQ(flags, c.flags);
        first.EnterDfu();
        first.ReadControl(kControlBootFlags, &flags, 1);
        EXPECT_EQ(flags, 0);
    }
}

TEST(FirstChip, LatencyDefaultsApplyWhereTheFixtureSaysNothing) {
    LatencySpec none;
    EXPECT_DOUBLE_EQ(OperationMs(none, ChipOperation::kChipErase, 0),
                     (kDefaultRequestUs) / 1000.0 + kDefaultChipEraseMs);
    EXPECT_DOUBLE_EQ(OperationMs(none, ChipOperation::kRequest, 1024),
                     (kDefaultRequestUs + 1024 * kDefaultTransferByteUs) / 1000.0);
    LatencySpec given;
    given.sectorEraseMs = 10;
    given.requestUs = 100;
    EXPECT_DOUBLE_EQ(OperationMs(given, ChipOperation::kSectorErase, 0), 0.1 + 10);
    EXPECT_DOUBLE_EQ(RebootMs(none), kDefaultRebootMs);
}
