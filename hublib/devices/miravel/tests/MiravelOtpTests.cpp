// OTP programming and verification of the first-family driver on simulated
// chips, with the chip's OTP read back from the simulator afterwards.
#include "MiravelAccess.h"
#include "MiravelTestSupport.h"

extern const wchar_t kTraceLogFileName[] = L"MiravelDriverTests.txt";

using namespace miravel_test;

namespace {

const std::string kBlankChip = std::string(R"("uuid": ")") + kUuidHex + "\"";

std::string ChipWithBlocks(const std::vector<std::vector<uint8_t>>& blocks) {
    std::string list;
    for (const auto& block : blocks) list += (list.empty() ? "\"" : ", \"") + Hex(block) + "\"";
    return kBlankChip + R"(, "otpBlocks": [)" + list + "]";
}

int32_t ProgramOtp(const std::vector<uint8_t>& block, bool program, uint32_t validation,
                   uint32_t* status) {
    auto hub = Hub(STORAGE_OTP, program, validation);
    EXPECT_EQ(hub->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size())), 0);
    const int32_t result = hub->ProgramDevice();
    *status = hub->GetHubStatus();
    return result;
}

// No bit that was 1 in before is 0 in after.
bool OnlyBitsSet(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
    if (before.size() != after.size()) return false;
    for (size_t i = 0; i < before.size(); ++i) {
        if ((before[i] & ~after[i]) != 0) return false;
    }
    return true;
}

}  // namespace

TEST(MiravelOtp, BlocksAppendFromOffset30AndVerifyAgainstTheNewest) {
    ASSERT_TRUE(Load(OneHub(kBlankChip)));
    const auto first = Block(0x1000, 0x11);
    const auto second = Block(0x2000, 0x22, 4);
    uint32_t status = 0;

    ASSERT_EQ(ProgramOtp(first, true, VALIDATION_VERIFY, &status), RESULT_SUCCESS);
    EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
    const auto afterFirst = ChipArea("otp");
    ASSERT_EQ(afterFirst.size(), 2048u);
    EXPECT_EQ(Slice(afterFirst, 30, first.size()), first);
    EXPECT_EQ(Slice(afterFirst, 10, 16), Slice(ChipArea("otp"), 10, 16));

    ASSERT_EQ(ProgramOtp(second, true, VALIDATION_NONE, &status), RESULT_SUCCESS);
    EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_PROGRAMMED));
    const auto afterSecond = ChipArea("otp");
    EXPECT_EQ(Slice(afterSecond, 30, first.size()), first);
    EXPECT_EQ(Slice(afterSecond, 30 + first.size(), second.size()), second);
    EXPECT_TRUE(OnlyBitsSet(afterFirst, afterSecond));

    // Only the newest block counts.
    EXPECT_EQ(ProgramOtp(second, false, VALIDATION_VERIFY, &status), RESULT_SUCCESS);
    EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_VERIFIED));
    EXPECT_EQ(ProgramOtp(first, false, VALIDATION_VERIFY_ALT, &status), RESULT_VERIFY_MISMATCH);
    EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_VERIFY_FAILED));
    EXPECT_EQ(ChipArea("otp"), afterSecond) << "verification wrote to the OTP";
}

TEST(MiravelOtp, VerificationIgnoresOnlyTheSerialItems) {
    const auto base = Block(0x1000, 0x11);
    const auto stored = WithSerial(base, L"SN0001");
    struct Case {
        const char* name;
        std::vector<uint8_t> given;
        uint32_t status;
    } cases[] = {
        {"identical", stored, HUB_STATUS_VERIFIED},
        {"another serial", WithSerial(base, L"SN0002"), HUB_STATUS_VERIFIED},
        {"another value", WithSerial(Block(0x1000, 0x12), L"SN0001"), HUB_STATUS_VERIFY_FAILED},
        {"an extra item", WithSerial(Block(0x1000, 0x11, 4), L"SN0001"), HUB_STATUS_VERIFY_FAILED},
        {"an item less", WithSerial(Block(0x1000, 0x11, 2), L"SN0001"), HUB_STATUS_VERIFY_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(OneHub(ChipWithBlocks({Block(0x3000, 0x33), stored}))));
        uint32_t status = 0;
        ProgramOtp(c.given, false, VALIDATION_VERIFY, &status);
        EXPECT_EQ(status, c.status);
    }
}

TEST(MiravelOtp, FailedProgrammingStatusFollowsTheRoomRegister) {
    // 1925 bytes of blocks leave 93 bytes: no room for a 113-byte block.
    std::vector<std::vector<uint8_t>> filling;
    for (int i = 0; i < 7; ++i) filling.push_back(Block(0x1000, 0x10, 45));
    const auto block = Block(0x2000, 0x20, 18);
    struct Case {
        const char* name;
        std::string chip;
        std::string faults;
        uint32_t validation;
        int32_t result;
        uint32_t status;
    } cases[] = {
        {"no room", ChipWithBlocks(filling), "[]", VALIDATION_NONE, RESULT_INSUFFICIENT_SPACE,
         HUB_STATUS_INSUFFICIENT_SPACE},
        {"no room, verifying", ChipWithBlocks(filling), "[]", VALIDATION_VERIFY,
         RESULT_INSUFFICIENT_SPACE, HUB_STATUS_INSUFFICIENT_SPACE},
        {"programming fails", kBlankChip, R"([{"op": "otpProgram"}])", VALIDATION_NONE,
         RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_FAILED},
        {"programming fails, verifying", kBlankChip, R"([{"op": "otpProgram"}])", VALIDATION_VERIFY,
         RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_VERIFY_FAILED},
        {"room register set, programming fails", kBlankChip + R"(, "registers": {"0x523A": 32})",
         R"([{"op": "otpProgram"}])", VALIDATION_NONE, RESULT_INSUFFICIENT_SPACE,
         HUB_STATUS_INSUFFICIENT_SPACE},
        {"read-back corrupted", kBlankChip,
         R"([{"op": "readBackCorrupt", "address": 31, "after": 1}])", VALIDATION_VERIFY,
         RESULT_VERIFY_MISMATCH, HUB_STATUS_PROGRAM_VERIFY_FAILED},
        {"OTP unreadable before programming", kBlankChip, R"([{"op": "otpRead"}])",
         VALIDATION_VERIFY, RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_VERIFY_FAILED},
        {"OTP unreadable after programming", kBlankChip,
         R"([{"op": "otpRead", "after": 1, "short": 100}])", VALIDATION_VERIFY, RESULT_READ_FAILED,
         HUB_STATUS_PROGRAM_VERIFY_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(OneHub(c.chip, c.faults)));
        const auto before = ChipArea("otp");
        uint32_t status = 0;
        EXPECT_EQ(ProgramOtp(block, true, c.validation, &status), c.result);
        EXPECT_EQ(status, c.status);
        const auto after = ChipArea("otp");
        EXPECT_TRUE(before.empty() || OnlyBitsSet(before, after));
    }
}

TEST(MiravelOtp, BlockEndingAtTheLastOtpByteVerifies) {
    const std::vector<std::vector<uint8_t>> fillers = {Block(0x1000, 0x10, 200),
                                                       Block(0x2000, 0x10, 129)};
    const size_t room = 2048 - 30 - fillers[0].size() - fillers[1].size();
    ASSERT_EQ(room, 34u);
    // A block of exactly `room` bytes: one variable item of room - 5 - 3 data bytes.
    std::vector<uint8_t> data(room - 8, 0x5A);
    data[0] = 0x40;
    data[1] = 0x00;
    const auto last = *cfgblock::BuildBlock({{0x803, data}});
    ASSERT_EQ(last.size(), room);
    ASSERT_TRUE(Load(OneHub(ChipWithBlocks(fillers))));
    uint32_t status = 0;
    EXPECT_EQ(ProgramOtp(last, true, VALIDATION_VERIFY, &status), RESULT_SUCCESS);
    EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
    EXPECT_EQ(Slice(ChipArea("otp"), 2048 - room, room), last);
}

TEST(MiravelOtp, OpenFailureAndBadSettings) {
    const auto block = Block(0x1000, 0x11);
    ASSERT_TRUE(Load(OneHub(kBlankChip, R"([{"op": "vendorOpen", "systemError": 21}])")));
    auto hub = Hub(STORAGE_OTP, true, VALIDATION_VERIFY);
    hub->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size()));
    EXPECT_EQ(hub->ProgramDevice(), 21);
    EXPECT_EQ(hub->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_OPEN_FAILED));

    ASSERT_TRUE(Load(OneHub(kBlankChip)));
    const auto image = FirmwareImage(1);
    auto both = Hub(STORAGE_OTP, true, VALIDATION_VERIFY);
    both->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size()));
    ASSERT_EQ(both->SetFwImage(image.data(), static_cast<uint32_t>(image.size())), 0);
    EXPECT_EQ(both->ProgramDevice(), RESULT_INVALID_PARAMETER);
    auto neither = Hub(STORAGE_OTP, true, VALIDATION_VERIFY);
    EXPECT_EQ(neither->ProgramDevice(), RESULT_INVALID_PARAMETER);
    auto unknownMode = Hub(STORAGE_UNKNOWN, true, VALIDATION_VERIFY);
    unknownMode->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size()));
    EXPECT_EQ(unknownMode->ProgramDevice(), RESULT_INVALID_PARAMETER);
    UsbSimDeviceTime spoken = {};
    ASSERT_EQ(UsbSimGetDeviceTime(&spoken), USBSIM_OK);
    EXPECT_EQ(spoken.chipOperations, 0u) << "the hub was spoken to";
}

TEST(MiravelOtp, ProgramDeviceWritesTheStartRegisters) {
    ASSERT_TRUE(Load(OneHub(kBlankChip)));
    const auto block = Block(0x1000, 0x11);
    uint32_t status = 0;
    ASSERT_EQ(ProgramOtp(block, true, VALIDATION_NONE, &status), RESULT_SUCCESS);
    // The registers are bytes of the chip memory: read them through zelvo.
    ZelvoAccess* access = CreateZelvoAccess();
    ASSERT_NE(access, nullptr);
    ASSERT_EQ(access->Open(kHubPath, 200), 0);
    struct Expect {
        uint32_t address;
        std::vector<uint8_t> bytes;
    } expects[] = {{0x0950, {0x80}}, {0x0951, {0x00}},       {0x5204, {0, 0}},
                   {0x5206, {0, 0}}, {0x084C, {0x8B, 0x06}}, {0x084E, {0x8B, 0x87}}};
    for (const Expect& e : expects) {
        std::vector<uint8_t> read(e.bytes.size(), 0xEE);
        EXPECT_EQ(
            access->AccessRegister(e.address, 1, read.data(), static_cast<uint32_t>(read.size())),
            0);
        EXPECT_EQ(read, e.bytes) << std::hex << e.address;
    }
    DestroyZelvoAccess(&access);
    EXPECT_EQ(access, nullptr);
}

TEST(MiravelOtp, Detection) {
    struct Case {
        const char* name;
        std::string chip;
        std::string faults;
        bool first;
    } cases[] = {
        {"vendor block", kBlankChip, "[]", true},
        {"lower-case signature", kBlankChip + R"(, "vendorSignature": "vndr")", "[]", true},
        {"blank OTP", R"("bootState": "dfu")", "[]", false},
        {"does not open", kBlankChip, R"([{"op": "vendorOpen"}])", false},
        {"one short read", kBlankChip, R"([{"op": "otpRead", "short": 3, "count": 1}])", true},
        {"two short reads", kBlankChip, R"([{"op": "otpRead", "short": 3, "count": 2}])", false},
        {"oscillator register refused", kBlankChip, R"([{"op": "registerWrite"}])", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(OneHub(c.chip, c.faults)));
        int token = 0;
        EXPECT_EQ(IsDeviceMiravel2(kHubPath, &token), c.first);
        EXPECT_FALSE(IsDeviceMiravel2(kHubPath, nullptr));
    }
    // A detected hub keeps its main-loop oscillator running.
    ASSERT_TRUE(Load(OneHub(kBlankChip)));
    int token = 0;
    ASSERT_TRUE(IsDeviceMiravel2(kHubPath, &token));
    ZelvoAccess* access = CreateZelvoAccess();
    ASSERT_EQ(access->Open(kHubPath, 200), 0);
    uint8_t value = 0;
    EXPECT_EQ(access->AccessRegister(0x0950, 1, &value, 1), 0);
    EXPECT_EQ(value, 0x80);
    DestroyZelvoAccess(&access);

    auto hub = Hub(STORAGE_UNKNOWN, false, VALIDATION_NONE);
    EXPECT_EQ(hub->DeviceCameBackAfterReboot(), 0);
    ASSERT_TRUE(Load(OneHub(kBlankChip, R"([{"op": "vendorOpen", "systemError": 55}])")));
    EXPECT_EQ(hub->DeviceCameBackAfterReboot(), 55);
}

TEST(MiravelOtp, SettingsAndCopies) {
    auto hub = Hub(STORAGE_UNKNOWN, false, VALIDATION_NONE);
    const auto block = Block(0x1000, 0x11);
    const uint32_t size = static_cast<uint32_t>(block.size());
    EXPECT_EQ(hub->SetConfigurationBlock(nullptr, size), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(hub->SetConfigurationBlock(block.data(), 0), RESULT_INVALID_PARAMETER);
    ASSERT_EQ(hub->SetConfigurationBlock(block.data(), size), RESULT_SUCCESS);
    auto bad = block;
    bad[3] = 'X';
    EXPECT_EQ(hub->SetConfigurationBlock(bad.data(), size), -14);
    EXPECT_EQ(hub->GetConfigBlockSize(), 0u) << "a refused block leaves no block";
    EXPECT_EQ(hub->SetConfigurationBlock(block.data(), size - 1), -13);
    ASSERT_EQ(hub->SetConfigurationBlock(block.data(), size), RESULT_SUCCESS);

    std::vector<uint8_t> out(size, 0xEE);
    EXPECT_EQ(hub->GetConfigBlock(size - 1, out.data()), RESULT_FAILURE);
    EXPECT_EQ(out, std::vector<uint8_t>(size, 0xEE));
    EXPECT_EQ(hub->GetConfigBlock(size, out.data()), RESULT_SUCCESS);
    EXPECT_EQ(out, block);

    const auto image = FirmwareImage(2);
    EXPECT_EQ(hub->SetFwImage(image.data(), 0), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(hub->SetFwImage(nullptr, 0xFFFF), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(hub->SetFwImage(image.data(), 0xFFFE), -13);
    ASSERT_EQ(hub->SetFwImage(image.data(), 0xFFFF), RESULT_SUCCESS);
    std::vector<uint8_t> imageOut(0xFFFF);
    EXPECT_EQ(hub->GetFirmwareImage(0xFFFE, imageOut.data()), RESULT_FAILURE);
    EXPECT_EQ(hub->GetFirmwareImage(0xFFFF, imageOut.data()), RESULT_SUCCESS);
    EXPECT_EQ(imageOut, image);

    EXPECT_TRUE(hub->SetValidationMethod(VALIDATION_VERIFY_ALT));
    EXPECT_FALSE(hub->SetValidationMethod(3));
    EXPECT_EQ(hub->GetValidationMethod(), static_cast<uint32_t>(VALIDATION_VERIFY_ALT));
    const uint8_t vendor[24] = {'V', 'N', 'D', 'R', 1, 2, 3};
    EXPECT_EQ(hub->SetVendorBlock(vendor, 24), RESULT_SUCCESS);
    EXPECT_EQ(hub->GetOTPSize(), 2048);

    // A copy owns its own buffers.
    std::unique_ptr<CDevice> copy(hub->Clone());
    auto* miravel = dynamic_cast<CMiravelDevice*>(copy.get());
    ASSERT_NE(miravel, nullptr);
    EXPECT_EQ(miravel->configBlock, block);
    EXPECT_EQ(miravel->vendorBlock[4], 1);
    EXPECT_TRUE(miravel->IsVendorBlockPresent());
    EXPECT_NE(miravel->configBlock.data(), hub->configBlock.data());
    hub.reset();
    EXPECT_EQ(miravel->GetFirmwareImageSize(), 0xFFFFu);
}
