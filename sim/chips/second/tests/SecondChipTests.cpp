// The second-family chip's own rules, without USB: what its memory starts
// with, the OTP's write-once bits, registers, hub info and the SPI flash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SecondChip.h"

using namespace usbsim;

namespace {

DeviceSpec Hub(SecondFamilyChip chip) {
    DeviceSpec hub;
    hub.isHub = true;
    hub.family = HubFamily::kSecond;
    hub.chip.second = chip;
    return hub;
}

SecondFamilyChip WithFlash(uint32_t size, std::string manufacturer = "ok") {
    SecondFamilyChip chip;
    chip.flash = FlashSpec{size, {}, manufacturer};
    return chip;
}

}  // namespace

TEST(SecondChip, RegistersAndHubInfoFollowTheFixture) {
    const struct {
        std::string boot;
        uint32_t otpSize;
        bool cacheBit;
        uint8_t bootStatus, sizeRegister, cache;
        uint16_t versionWord;
    } cases[] = {
        {"rom", 2048, false, 0x04, 0x00, 0x00, 0x0108},
        {"spi", 1024, true, 0x00, 0x02, 0x02, 0x0115},
        {"spi", 512, false, 0x00, 0x06, 0x00, 0x0115},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boot + " " + std::to_string(c.otpSize));
        SecondFamilyChip spec;
        spec.boot = c.boot;
        spec.otpSize = c.otpSize;
        spec.cacheBit = c.cacheBit;
        spec.romVersion = 0x0108;
        spec.firmwareVersion = 0x0115;
        ChipMemory memory;
        CSecondChip chip(memory, Hub(spec));
        EXPECT_TRUE(memory.initialised);
        EXPECT_EQ(chip.ReadRegister(CSecondChip::kBootStatus), c.bootStatus);
        EXPECT_EQ(chip.ReadRegister(CSecondChip::kOtpSizeRegister), c.sizeRegister);
        EXPECT_EQ(chip.ReadRegister(CSecondChip::kCacheControl), c.cache);
        EXPECT_EQ(chip.OtpSize(), c.otpSize);
        auto info = chip.HubInfo();
        ASSERT_GE(info.size(), 2u);
        EXPECT_EQ(info[0] | (info[1] << 8), c.versionWord);
        // Boot status and OTP size cannot be written; the cache bit can.
        chip.WriteRegister(CSecondChip::kBootStatus, 0x55);
        chip.WriteRegister(CSecondChip::kOtpSizeRegister, 0x55);
        chip.WriteRegister(CSecondChip::kCacheControl, 0x00);
        EXPECT_EQ(chip.ReadRegister(CSecondChip::kBootStatus), c.bootStatus);
        EXPECT_EQ(chip.ReadRegister(CSecondChip::kOtpSizeRegister), c.sizeRegister);
        EXPECT_EQ(chip.ReadRegister(CSecondChip::kCacheControl), 0x00);
        chip.RestartInRom();
        EXPECT_TRUE(chip.RunsFromRom());
        EXPECT_EQ(chip.VersionWord(), 0x0108);
    }
}

TEST(SecondChip, MemoryIsFilledOnlyOnce) {
    ChipMemory memory;
    SecondFamilyChip spec;
    CSecondChip(memory, Hub(spec)).WriteRegister(0x1234, 7);
    spec.otpSize = 512;
    CSecondChip again(memory, Hub(spec));
    EXPECT_EQ(again.ReadRegister(0x1234), 7);
    EXPECT_EQ(again.OtpSize(), 2048u);
}

TEST(SecondChip, BlankOtpPerRomVersion) {
    auto v2 = CSecondChip::BlankOtp(0x0109, 512);
    EXPECT_EQ(v2[0], 0x00);
    EXPECT_EQ(v2[1], 0xFF);
    EXPECT_EQ(std::count(v2.begin(), v2.end(), 0xFF), 1);
    auto v1 = CSecondChip::BlankOtp(0x0108, 512);
    EXPECT_EQ(v1[1], 0xFF);
    // Every 5-byte slot from the top reads offset 0x00FF.
    for (int slot = 507; slot >= 2; slot -= 5) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(v1[slot + 1], 0x00);
        EXPECT_EQ(v1[slot + 2], 0xFF);
    }
}

// Bits move once away from their blank value, never back; a refused image
// changes nothing, equal bytes are accepted again.
TEST(SecondChip, OtpBitsMoveOnceAwayFromBlank) {
    for (uint16_t rom : {0x0108, 0x0109}) {
        SCOPED_TRACE(rom);
        SecondFamilyChip spec;
        spec.romVersion = rom;
        ChipMemory memory;
        CSecondChip chip(memory, Hub(spec));
        std::vector<uint8_t> image(2048);
        ASSERT_EQ(chip.ReadOtp(0, image.data(), 2048), 2048u);
        image[1] = 0xFE;  // counter: one programming
        image[2] = 0x5A;
        uint32_t written = 0;
        ASSERT_TRUE(chip.WriteOtp(0, image.data(), 2048, written));
        EXPECT_EQ(written, 2048u);
        ASSERT_TRUE(chip.WriteOtp(0, image.data(), 2048, written)) << "equal bytes";

        const struct {
            size_t at;
            uint8_t value;
            bool accepted;
        } cases[] = {
            {1, 0xFF, false},  // the counter cannot count back up
            {1, 0xFC, true},   // it counts down
            {2, 0x58, false},  // a programmed bit of a data byte cannot go back
            {2, 0x5B, true},   // a blank one can still be programmed
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.at);
            std::vector<uint8_t> next(2048);
            chip.ReadOtp(0, next.data(), 2048);
            const std::vector<uint8_t> before = next;
            next[c.at] = c.value;
            next[100] = 0x77;  // a blank byte that would be fine on its own
            EXPECT_EQ(chip.WriteOtp(0, next.data(), 2048, written), c.accepted);
            std::vector<uint8_t> after(2048);
            chip.ReadOtp(0, after.data(), 2048);
            EXPECT_EQ(after, c.accepted ? next : before);
        }
    }
}

TEST(SecondChip, OtpWritePastTheEndOfASmallOtp) {
    SecondFamilyChip spec;
    spec.otpSize = 512;
    ChipMemory memory;
    CSecondChip chip(memory, Hub(spec));
    std::vector<uint8_t> image(2048, 0);
    image[1] = 0xFF;
    image[10] = 0x42;
    uint32_t written = 0;
    ASSERT_TRUE(chip.WriteOtp(0, image.data(), 2048, written));
    EXPECT_EQ(written, 512u);
    EXPECT_EQ(memory.areas["otp"].size(), 512u);
    EXPECT_EQ(memory.areas["otp"][10], 0x42);
    std::vector<uint8_t> read(2048, 0xEE);
    EXPECT_EQ(chip.ReadOtp(0, read.data(), 2048), 512u);
    EXPECT_EQ(read[512], 0xEE);
}

TEST(SecondChip, FlashAnswersAndContent) {
    const struct {
        bool present;
        std::string manufacturer;
        FlashAnswer answer;
    } cases[] = {{true, "ok", FlashAnswer::kUsable},
                 {true, "unsupported", FlashAnswer::kUnsupported},
                 {true, "none", FlashAnswer::kNone},
                 {false, "ok", FlashAnswer::kNone}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.manufacturer);
        SecondFamilyChip spec = c.present ? WithFlash(65536, c.manufacturer) : SecondFamilyChip();
        ChipMemory memory;
        CSecondChip chip(memory, Hub(spec));
        EXPECT_EQ(chip.IdentifyFlash(), c.answer);
        uint8_t byte = 0;
        EXPECT_EQ(chip.ReadFlash(0, 0, &byte), c.answer == FlashAnswer::kUsable);
        FlashWork work;
        uint8_t image[4] = {1, 2, 3, 4};
        EXPECT_EQ(chip.LoadFlash(image, 4, nullptr, work), c.answer == FlashAnswer::kUsable);
    }
}

TEST(SecondChip, LoadEraseAndSignature) {
    SecondFamilyChip spec = WithFlash(131072);
    spec.flash->image = std::vector<uint8_t>(0x10000, 0x00);  // programmed zeros everywhere
    spec.pseudoOtp = 0x0A;
    ChipMemory memory;
    CSecondChip chip(memory, Hub(spec));
    EXPECT_EQ(memory.areas["flash"][CSecondChip::kPseudoOtpAddress], 0x0A);

    // The image lands exactly, although the old bytes were zero: erase first.
    std::vector<uint8_t> image(65534);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 1);
    memcpy(&image[0xFFFA], "2DFU", 4);
    FlashWork work;
    ASSERT_TRUE(chip.LoadFlash(image.data(), static_cast<uint32_t>(image.size()), nullptr, work));
    EXPECT_EQ(work.sectorsErased, 16u);
    EXPECT_EQ(work.pagesProgrammed, 256u);
    std::vector<uint8_t> read(image.size());
    ASSERT_TRUE(chip.ReadFlash(0, static_cast<uint32_t>(image.size() - 1), read.data()));
    EXPECT_EQ(read, image);
    EXPECT_EQ(memory.areas["flash"][0xFFFE], 0xFF) << "erased, not in the image";

    // A failing page stops the load there: earlier pages are in, the rest erased.
    FlashWork partial;
    auto failAt = [](const char* op, uint32_t address) {
        return std::string(op) == "flashProgram" && address == 0x200;
    };
    EXPECT_FALSE(chip.LoadFlash(image.data(), 0x400, failAt, partial));
    EXPECT_EQ(partial.pagesProgrammed, 2u);
    EXPECT_EQ(memory.areas["flash"][0x1FF], image[0x1FF]);
    EXPECT_EQ(memory.areas["flash"][0x200], 0xFF);

    // The signature sector goes back to 0xFF, the rest stays.
    FlashWork erase;
    ASSERT_TRUE(chip.EraseSignature(nullptr, erase));
    EXPECT_EQ(erase.sectorsErased, 1u);
    EXPECT_EQ(memory.areas["flash"][0xFFFA], 0xFF);
    EXPECT_EQ(memory.areas["flash"][0xF000], 0xFF);
    EXPECT_EQ(memory.areas["flash"][0xEFFF], image[0xEFFF]);
}
