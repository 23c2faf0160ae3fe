// usbsimctl from another process: it finds this process's pipe, its attach and
// detach reach the model and the registered windows, refusals come back as
// exit code 3 with the simulator's message.
#include <fstream>
#include <sstream>

#include "NotificationWindow.h"
#include "ProcessRun.h"
#include "SimTestSupport.h"

using simtest::CNotificationWindow;
using simtest::FixturePath;
using simtest::kHubGuid;
using simtest::LoadFixture;
using simtest::Narrow;
using simtest::WaitDelivered;

namespace {

using CtlResult = testsupport::ProcessOutcome;

// Runs usbsimctl.exe (beside this program) and waits for it.
CtlResult RunCtl(const std::wstring& arguments) {
    return testsupport::RunCapturingOutput(
        L"\"" + testsupport::ProgramFolder() + L"usbsimctl.exe\" " + arguments,
        L"usbsimctl-output.txt", 30000);
}

class UsbSimCtlTest : public ::testing::Test {
protected:
    void SetUp() override {
        pipe_ = L"zrv-usbsim-test-" + std::to_wstring(GetCurrentProcessId());
        SetEnvironmentVariableW(L"ZRV_USBSIM_PIPE", pipe_.c_str());
        api_ = &LoadFixture(L"tests/sim-basic.json");
    }
    void TearDown() override { SetEnvironmentVariableW(L"ZRV_USBSIM_PIPE", nullptr); }

    std::wstring pipe_;
    const HardwareApi* api_ = nullptr;
};

TEST_F(UsbSimCtlTest, AttachAndDetachFromAnotherProcess) {
    CNotificationWindow hubs(*api_, kHubGuid);
    std::wstring board = FixturePath(L"tests/board-three-hubs.json");
    CtlResult attach = RunCtl(L"attach 1-1-3 \"" + board + L"\"");
    ASSERT_EQ(attach.exitCode, 0u) << attach.output;
    WaitDelivered();
    EXPECT_EQ(hubs.Take().size(), 3u);
    DEVINST node = 0;
    EXPECT_EQ(
        api_->CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(L"USB\\VID_3B9A&PID_6104\\BOARD1"), 0),
        CR_SUCCESS);

    CtlResult detach = RunCtl(L"detach 1-1-3");
    ASSERT_EQ(detach.exitCode, 0u) << detach.output;
    WaitDelivered();
    EXPECT_EQ(hubs.Take().size(), 3u);

    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        const char* output;
    } cases[] = {
        {L"detach 1-1-3", 3, "detach 1-1-3: nothing is attached at 1-1-3"},
        {L"attach 1-1-9 \"" + board + L"\"", 3, "port 9 is beyond the 4 ports"},
        {L"attach 1-1-3 \"" + FixturePath(L"tests/sim-basic.json") + L"\"", 3,
         "sim-basic.json: $: expected exactly one of \"hub\" or \"device\""},
        {L"attach 1-1-3 missing.json", 1, "missing.json"},
        {L"attach 1-1-3", 1, "usage: usbsimctl"},
        {L"--pipe zrv-usbsim-nobody detach 1-1-3", 2, "no simulator serves"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.arguments));
        CtlResult result = RunCtl(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.output.find(c.output), std::string::npos) << result.output;
    }
    WaitDelivered();
    EXPECT_TRUE(hubs.Take().empty());
}

TEST_F(UsbSimCtlTest, PipeNameFollowsTheFixturePathWithoutAnExplicitName) {
    SetEnvironmentVariableW(L"ZRV_USBSIM_PIPE", nullptr);
    std::wstring fixture = FixturePath(L"tests/sim-faults.json");
    ASSERT_EQ(UsbSimLoad(fixture.c_str()), USBSIM_OK);
    wchar_t name[256];
    UsbSimGetPipeName(name, 256);
    EXPECT_EQ(std::wstring(name).rfind(L"\\\\.\\pipe\\zrv-usbsim-", 0), 0u) << Narrow(name);

    CtlResult ping = RunCtl(L"--fixture \"" + fixture + L"\" ping");
    ASSERT_EQ(ping.exitCode, 0u) << ping.output;
    EXPECT_NE(ping.output.find("sim-faults.json"), std::string::npos) << ping.output;
    CtlResult other = RunCtl(L"--fixture \"" + FixturePath(L"tests/sim-ep5.json") + L"\" ping");
    EXPECT_EQ(other.exitCode, 2u) << "another fixture names another simulator";
}

// A board past 64 KiB (the pipe buffer), as a board with an inline flash image is.
TEST_F(UsbSimCtlTest, RequestsLargerThanThePipeBufferArrive) {
    CNotificationWindow hubs(*api_, kHubGuid);
    std::string json = R"({"hub": {"family": "other", "vid": "05E3", "pid": "0610", "ports": 2,
        "serial": "BIG1", "description": ")" +
                       std::string(200 * 1024, 'x') + R"("}})";
    std::ofstream("big-board.json", std::ios::binary) << json;
    CtlResult attach = RunCtl(L"attach 1-1-3 big-board.json");
    ASSERT_EQ(attach.exitCode, 0u) << attach.output;
    WaitDelivered();
    EXPECT_EQ(hubs.Take().size(), 1u);
    DEVINST node = 0;
    EXPECT_EQ(
        api_->CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(L"USB\\VID_05E3&PID_0610\\BIG1"), 0),
        CR_SUCCESS);
}

TEST_F(UsbSimCtlTest, MessagesWithNonAsciiTextArriveWhole) {
    // "größe" and "→" in UTF-8: an unknown field the refusal names.
    std::ofstream("odd-board.json", std::ios::binary)
        << "{\"device\": {\"vid\": \"1234\", \"pid\": \"0001\", \"gr\xC3\xB6\xC3\x9F"
           "e\xE2\x86\x92\": 1}}";
    CtlResult attach = RunCtl(L"attach 1-1-3 odd-board.json");
    EXPECT_EQ(attach.exitCode, 3u);
    EXPECT_NE(attach.output.find("$.device.gr\xC3\xB6\xC3\x9F"
                                 "e\xE2\x86\x92: unknown field"),
              std::string::npos)
        << attach.output;
}

// Eight usbsimctl processes at once while one connection is held open: all of
// them get their answer.
TEST_F(UsbSimCtlTest, EightClientsAtOnceAllGetAnswers) {
    wchar_t name[256];
    UsbSimGetPipeName(name, 256);
    HANDLE held =
        CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();

    constexpr int kClients = 8;
    PROCESS_INFORMATION processes[kClients] = {};
    for (int i = 0; i < kClients; ++i) {
        std::wstring file = L"client-" + std::to_wstring(i) + L".txt";
        ASSERT_TRUE(testsupport::StartCapturing(
            L"\"" + testsupport::ProgramFolder() + L"usbsimctl.exe\" ping", file.c_str(),
            file.c_str(), CREATE_SUSPENDED, processes[i]));
    }
    for (auto& process : processes) ResumeThread(process.hThread);
    Sleep(2000);  // the clients find the held instance busy meanwhile
    CloseHandle(held);

    int answered = 0;
    for (int i = 0; i < kClients; ++i) {
        DWORD exitCode = testsupport::WaitForExit(processes[i], 60000);
        std::wstring file = L"client-" + std::to_wstring(i) + L".txt";
        EXPECT_EQ(exitCode, 0u) << "client " << i << ": "
                                << testsupport::ReadTextFile(file.c_str());
        if (exitCode == 0) ++answered;
    }
    printf("%d of %d parallel usbsimctl processes answered\n", answered, kClients);
}

}  // namespace
