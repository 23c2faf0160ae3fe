// SPI flash programming of the first-family driver on simulated chips: which
// erase each write uses (faults on the other erase prove it is not used), what
// stays in the flash, and that a failed read never leads to an erase.
#include "MiravelAccess.h"
#include "MiravelSpiFlash.h"
#include "MiravelTestSupport.h"

extern const wchar_t kTraceLogFileName[];

using namespace miravel_test;

namespace {

const std::string kUuidField = std::string(R"("uuid": ")") + kUuidHex + "\"";

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 13) ^ seed);
    return bytes;
}

// A 64 KiB flash holding image (hex); the hub boots from ROM unless told.
std::string ChipWithFlash(const std::vector<uint8_t>& image, const char* boot = "dfu") {
    return kUuidField + R"(, "bootState": ")" + boot +
           R"(", "flash": { "size": 65536, "image": ")" + Hex(image) + "\" }";
}

// An open access object on the test hub.
struct OpenHub {
    miravel::CZelvoObject access;
    OpenHub() { EXPECT_EQ(access->Open(kHubPath, 200), 0); }
};

CMiravelDevice& Naming() {
    static CMiravelDevice device(kHubPath, wcslen(kHubPath), true);
    return device;
}

}  // namespace

TEST(MiravelSpi, PartialSectorKeepsTheRestOfIt) {
    const auto old = Pattern(65536, 0x5A);
    const auto data = Pattern(100, 0xC3);
    ASSERT_TRUE(Load(OneHub(ChipWithFlash(old), R"([{"op": "chipErase"}])")));
    {
        OpenHub hub;
        ASSERT_EQ(miravel::ProgramSPIFlash(data.data(), hub.access.get(), Naming(), 0x1000, 100),
                  0);
    }
    auto expected = old;
    std::copy(data.begin(), data.end(), expected.begin() + 0x1000);
    EXPECT_EQ(ChipArea("flash"), expected);
}

TEST(MiravelSpi, ConfigBlockOverAnImageRewritesItWithOneChipErase) {
    const auto image = FirmwareImage(3);
    std::vector<uint8_t> flash(image);
    flash.push_back(0xFF);  // 64 KiB flash
    const auto block = Block(0x1000, 0x11);
    ASSERT_TRUE(Load(OneHub(ChipWithFlash(flash), R"([{"op": "flashErase"}])")));
    auto hub = Hub(STORAGE_SPI_PARTIAL_CONFIG, true, VALIDATION_VERIFY);
    ASSERT_EQ(hub->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size())), 0);
    EXPECT_EQ(hub->ProgramDevice(), 0);
    EXPECT_EQ(hub->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
    auto expected = flash;
    std::copy(block.begin(), block.end(), expected.begin() + 0xF01E);
    EXPECT_EQ(ChipArea("flash"), expected);
}

TEST(MiravelSpi, ConfigBlockOverEmptyFlashErasesOneSector) {
    auto old = Pattern(65536, 0x21);  // no "2DFU" at 0xFFFA
    const auto block = Block(0x1000, 0x11);
    ASSERT_TRUE(Load(OneHub(ChipWithFlash(old), R"([{"op": "chipErase"}])")));
    auto hub = Hub(STORAGE_SPI_PARTIAL_CONFIG, true, VALIDATION_NONE);
    ASSERT_EQ(hub->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size())), 0);
    EXPECT_EQ(hub->ProgramDevice(), 0);
    EXPECT_EQ(hub->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAMMED));
    auto expected = old;
    std::fill(expected.begin() + 0xF000, expected.end(), 0xFF);
    std::copy(block.begin(), block.end(), expected.begin() + 0xF01E);
    EXPECT_EQ(ChipArea("flash"), expected);

    // Verify-only finds the block; another block does not match.
    auto verify = Hub(STORAGE_SPI_PARTIAL_CONFIG, false, VALIDATION_VERIFY);
    verify->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size()));
    EXPECT_EQ(verify->ProgramDevice(), 0);
    EXPECT_EQ(verify->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_VERIFIED));
    const auto other = Block(0x1000, 0x12);
    verify->SetConfigurationBlock(other.data(), static_cast<uint32_t>(other.size()));
    EXPECT_NE(verify->ProgramDevice(), 0);
    EXPECT_EQ(verify->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_VERIFY_FAILED));
}

TEST(MiravelSpi, WholeImageIsNeverSectorErased) {
    const auto image = FirmwareImage(9);
    ASSERT_TRUE(Load(OneHub(ChipWithFlash(Pattern(65536, 1)), R"([{"op": "flashErase"}])")));
    auto hub = Hub(STORAGE_SPI, true, VALIDATION_VERIFY);
    ASSERT_EQ(hub->SetFwImage(image.data(), static_cast<uint32_t>(image.size())), 0);
    EXPECT_EQ(hub->ProgramDevice(), 0);
    EXPECT_EQ(hub->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
    EXPECT_EQ(Slice(ChipArea("flash"), 0, image.size()), image);
}

TEST(MiravelSpi, CopyFromOtpPutsTheVendorBlockIntoTheImage) {
    const auto image = FirmwareImage(5);
    ASSERT_TRUE(Load(OneHub(ChipWithFlash(Pattern(65536, 1)))));
    auto hub = Hub(STORAGE_SPI_COPY_FROM_OTP, true, VALIDATION_VERIFY);
    ASSERT_EQ(hub->SetFwImage(image.data(), static_cast<uint32_t>(image.size())), 0);
    EXPECT_EQ(hub->ProgramDevice(), 0);
    EXPECT_EQ(hub->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
    const auto flash = ChipArea("flash");
    EXPECT_EQ(Slice(flash, 0xF006, 24), Slice(ChipArea("otp"), 6, 24));
    EXPECT_EQ(Slice(flash, 0, 0xF006), Slice(image, 0, 0xF006));
    EXPECT_EQ(Slice(flash, 0xF01E, 0xFFFF - 0xF01E), Slice(image, 0xF01E, 0xFFFF - 0xF01E));
}

TEST(MiravelSpi, FailedReadBeforeAnEraseLeavesTheFlashAlone) {
    const auto data = Pattern(100, 0xC3);
    const auto block = Block(0x1000, 0x11);
    auto withImage = FirmwareImage(3);
    withImage.push_back(0xFF);
    struct Case {
        const char* name;
        std::vector<uint8_t> flash;
        std::string faults;
        uint32_t address;
        std::vector<uint8_t> data;
    } cases[] = {
        {"rest of the last sector", Pattern(65536, 0x5A), R"([{"op": "flashRead"}])", 0x1000, data},
        {"firmware tag", withImage, R"([{"op": "flashRead"}])", 0xF01E, block},
        {"image around the block", withImage, R"([{"op": "flashRead", "after": 1}])", 0xF01E,
         block},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(OneHub(ChipWithFlash(c.flash), c.faults)));
        OpenHub hub;
        EXPECT_NE(miravel::ProgramSPIFlash(c.data.data(), hub.access.get(), Naming(), c.address,
                                           static_cast<uint32_t>(c.data.size())),
                  0);
        EXPECT_EQ(ChipArea("flash"), c.flash);
    }
}

TEST(MiravelSpi, FailingEraseOrProgramFails) {
    const auto data = Pattern(100, 0xC3);
    ASSERT_TRUE(Load(
        OneHub(ChipWithFlash(Pattern(65536, 0x5A)), R"([{"op": "flashErase", "address": 4096}])")));
    {
        OpenHub hub;
        EXPECT_EQ(miravel::ProgramSPIFlash(data.data(), hub.access.get(), Naming(), 0x1000, 100),
                  RESULT_DEVICE_IO_FAILED);
    }
    const std::wstring log = TraceLog(kTraceLogFileName);
    EXPECT_NE(
        log.find(std::wstring(L"The device ") + kHubPath + L" may not be in a working state."),
        std::wstring::npos);

    const auto block = Block(0x1000, 0x11);
    struct Case {
        const char* name;
        std::string chip;
        std::string faults;
        uint32_t validation;
        uint32_t status;
    } cases[] = {
        {"sector erase", ChipWithFlash(Pattern(65536, 2)), R"([{"op": "flashErase"}])",
         VALIDATION_NONE, HUB_STATUS_PROGRAM_FAILED},
        {"sector erase, verifying", ChipWithFlash(Pattern(65536, 2)), R"([{"op": "flashErase"}])",
         VALIDATION_VERIFY, HUB_STATUS_PROGRAM_VERIFY_FAILED},
        {"page program", ChipWithFlash(Pattern(65536, 2)),
         R"([{"op": "flashProgram", "address": 61470}])", VALIDATION_NONE,
         HUB_STATUS_PROGRAM_FAILED},
        {"write status", ChipWithFlash(Pattern(65536, 2)), R"([{"op": "writeStatus"}])",
         VALIDATION_NONE, HUB_STATUS_PROGRAM_FAILED},
        {"no flash", kUuidField, "[]", VALIDATION_NONE, HUB_STATUS_PROGRAM_FAILED},
        {"read-back corrupted", ChipWithFlash(Pattern(65536, 2)),
         R"([{"op": "readBackCorrupt", "address": 61471}])", VALIDATION_VERIFY,
         HUB_STATUS_PROGRAM_VERIFY_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(OneHub(c.chip, c.faults)));
        auto hub = Hub(STORAGE_SPI_PARTIAL_CONFIG, true, c.validation);
        hub->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size()));
        EXPECT_NE(hub->ProgramDevice(), 0);
        EXPECT_EQ(hub->GetHubStatus(), c.status);
    }
}

TEST(MiravelSpi, ReadsGoInPiecesOf1024) {
    const auto flash = Pattern(65536, 0x77);
    ASSERT_TRUE(Load(OneHub(ChipWithFlash(flash))));
    OpenHub hub;
    std::vector<uint8_t> read(2500, 0xEE);
    // The chip refuses reads above 1024 bytes.
    ASSERT_EQ(miravel::ReadSPIFlash(read.data(), 2500, Naming(), hub.access.get(), 0x2000), 0);
    EXPECT_EQ(read, Slice(flash, 0x2000, 2500));
    EXPECT_EQ(miravel::ReadSPIFlash(read.data(), 0, Naming(), hub.access.get(), 0),
              RESULT_INVALID_PARAMETER);
}

TEST(MiravelSpi, CopyFromOtpStopsWhenTheVendorBlockCannotBeRead) {
    const auto old = Pattern(65536, 1);
    const auto image = FirmwareImage(5);
    ASSERT_TRUE(Load(OneHub(ChipWithFlash(old), R"([{"op": "otpRead", "short": 10}])")));
    auto hub = Hub(STORAGE_SPI_COPY_FROM_OTP, true, VALIDATION_VERIFY);
    ASSERT_EQ(hub->SetFwImage(image.data(), static_cast<uint32_t>(image.size())), 0);
    EXPECT_EQ(hub->ProgramDevice(), 0);
    EXPECT_EQ(hub->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAM_FAILED));
    EXPECT_EQ(ChipArea("flash"), old);
}
