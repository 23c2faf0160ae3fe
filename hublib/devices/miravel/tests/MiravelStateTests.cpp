// Two processes sharing ZRV_USBSIM_STATE: a block one programs into a hub's
// OTP is there when the other loads the same fixture. The child is this test
// program again, running only the child test.
#include "MiravelTestSupport.h"
#include "ProcessRun.h"

using namespace miravel_test;

namespace {

const wchar_t kChildSwitch[] = L"ZRV_MIRAVEL_STATE_CHILD";

const std::string& Fixture() {
    static const std::string fixture = OneHub(std::string(R"("uuid": ")") + kUuidHex + "\"");
    return fixture;
}

const std::vector<uint8_t>& ChildBlock() {
    static const std::vector<uint8_t> block = WithSerial(Block(0x1000, 0x66), L"CHILD01");
    return block;
}

}  // namespace

TEST(MiravelStateChild, ProgramsABlock) {
    if (GetEnvironmentVariableW(kChildSwitch, nullptr, 0) == 0) {
        GTEST_SKIP()
            << "runs as the child of MiravelState.BlockProgrammedByOneProcessIsReadByAnother";
    }
    ASSERT_TRUE(Load(Fixture()));
    auto hub = Hub(STORAGE_OTP, true, VALIDATION_VERIFY);
    ASSERT_EQ(
        hub->SetConfigurationBlock(ChildBlock().data(), static_cast<uint32_t>(ChildBlock().size())),
        0);
    ASSERT_EQ(hub->ProgramDevice(), 0);
    EXPECT_EQ(hub->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
}

TEST(MiravelState, BlockProgrammedByOneProcessIsReadByAnother) {
    const std::wstring state = L"first-family-state.json";
    DeleteFileW(state.c_str());
    SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", state.c_str());
    SetEnvironmentVariableW(kChildSwitch, L"1");
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const testsupport::ProcessOutcome child = testsupport::RunCapturingOutput(
        L"\"" + std::wstring(exe) + L"\" --gtest_filter=MiravelStateChild.*",
        L"state-child-output.txt", 60000);
    SetEnvironmentVariableW(kChildSwitch, nullptr);
    EXPECT_EQ(child.exitCode, 0u) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;

    // This process loads the same fixture: the child's block is in the OTP.
    const bool loaded = Load(Fixture());
    SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", nullptr);
    ASSERT_TRUE(loaded);
    auto hub = Hub(STORAGE_OTP, false, VALIDATION_NONE);
    std::vector<uint8_t> otp(2048, 0xEE);
    ASSERT_EQ(hub->ReadOTP(otp.data(), 2048), 0);
    EXPECT_EQ(Slice(otp, 30, ChildBlock().size()), ChildBlock());
    auto verify = Hub(STORAGE_OTP, false, VALIDATION_VERIFY);
    verify->SetConfigurationBlock(ChildBlock().data(), static_cast<uint32_t>(ChildBlock().size()));
    EXPECT_EQ(verify->ProgramDevice(), 0);
    EXPECT_EQ(verify->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_VERIFIED));
    // Without the state file the same fixture starts blank again.
    ASSERT_TRUE(Load(Fixture()));
    EXPECT_EQ(hub->ReadOTP(otp.data(), 2048), 0);
    EXPECT_EQ(Slice(otp, 30, 8), std::vector<uint8_t>(8, 0));
}
