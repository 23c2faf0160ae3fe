// The seam's choice of table: the Win32 API without ZRV_USBSIM, the
// simulator's table with it, and a PC without controllers (never the Win32
// API) when the simulated line cannot be used, said on stderr and in the trace
// log. The table is chosen once per process, so each case with ZRV_USBSIM runs
// this program again as a child.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "HardwareApi.h"
#include "ProcessRun.h"
#include "SimulatedLine.h"

extern const wchar_t kTraceLogFileName[] = L"HwSeamTestsLog.txt";
extern "C" int32_t __cdecl GetSimulatedLine(wchar_t* buffer, int32_t bufferChars);

namespace {

std::wstring FixturePath(const std::wstring& name) {
    std::string dir = ZRV_FIXTURE_DIR;
    return L"Z:" + std::wstring(dir.begin(), dir.end()) + L"/" + name;
}

bool IsChild() {
    return GetEnvironmentVariableW(L"ZRV_SEAM_CHILD", nullptr, 0) != 0;
}

bool OpensHcd0() {
    HANDLE h = Hw().CreateFileW(L"\\\\.\\HCD0", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    Hw().CloseHandle(h);
    return true;
}

bool OpensNul() {
    HANDLE h = Hw().CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    Hw().CloseHandle(h);
    return true;
}

// The module a table entry points into: UsbSim.dll for the simulator's table.
HMODULE ModuleOf(const void* function) {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(function), &module);
    return module;
}

bool FromSimulator(const void* function) {
    HMODULE sim = GetModuleHandleW(L"UsbSim.dll");
    return sim != nullptr && ModuleOf(function) == sim;
}

using ChildResult = testsupport::ProcessOutcome;

// Runs this program's Child tests with ZRV_USBSIM set to `fixture`.
ChildResult RunChild(const char* test, const std::wstring& fixture) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::string filter(test);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=SeamChild." +
                           std::wstring(filter.begin(), filter.end());
    SetEnvironmentVariableW(L"ZRV_USBSIM", fixture.c_str());
    SetEnvironmentVariableW(L"ZRV_SEAM_CHILD", L"1");
    ChildResult result = testsupport::RunCapturingOutput(command, L"seam-child.txt", 60000);
    SetEnvironmentVariableW(L"ZRV_USBSIM", nullptr);
    SetEnvironmentVariableW(L"ZRV_SEAM_CHILD", nullptr);
    return result;
}

std::string ReadLog() {
    std::ifstream in(kTraceLogFileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Seam, WithoutZrvUsbsimTheTableIsTheWin32Api) {
    if (IsChild()) GTEST_SKIP();
    EXPECT_EQ(&Hw(), &Hw()) << "chosen once";
    EXPECT_TRUE(OpensNul()) << "the Win32 API opens any device";
    EXPECT_EQ(GetModuleHandleW(L"UsbSim.dll"), nullptr) << "the simulator is not even loaded";
    EXPECT_FALSE(IsSimulatedLine());
    wchar_t text[8] = L"x";
    EXPECT_EQ(GetSimulatedLine(text, 8), SIMULATED_LINE_NONE);
    EXPECT_STREQ(text, L"");
}

TEST(Seam, WithZrvUsbsimTheSimulatorAnswers) {
    if (IsChild()) GTEST_SKIP();
    ChildResult child = RunChild("Simulated", FixturePath(L"tests/sim-basic.json"));
    EXPECT_EQ(child.exitCode, 0u) << child.output;
}

// Each unusable line is said once on stderr (whole, non-ASCII included) and in
// the trace log, and answers as a PC without controllers.
TEST(Seam, AnUnusableSimulatedLineNeverBecomesTheRealOne) {
    if (IsChild()) GTEST_SKIP();
    const std::wstring tooLong = L"Z:\\" + std::wstring(600, L'd') + L"\\line.json";
    struct Case {
        std::wstring fixture;
        const char* reason;  // on stderr
        const char* logged;  // in the trace log
    } cases[] = {
        {FixturePath(L"tests/board-device.json"),
         "board-device.json: $: missing field \"controllers\"",
         "board-device.json unusable: the simulator could not load its fixture: Z:"},
        {L"Z:\\nowhere\\gr\u00F6\u00DFe.json",
         "gr\xC3\xB6\xC3\x9F"
         "e.json: cannot read the fixture",
         "e.json: cannot read the fixture: error 3"},
        {tooLong, "ddd\\line.json: cannot read the fixture", "Simulated line Z:\\ddd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const size_t logged = ReadLog().size();
        ChildResult child = RunChild("NoControllers", c.fixture);
        EXPECT_EQ(child.exitCode, 0u) << child.output;
        EXPECT_NE(child.output.find(c.reason), std::string::npos) << child.output;
        EXPECT_NE(child.output.find("ZRV_USBSIM is set but the simulator could not load its "
                                    "fixture"),
                  std::string::npos)
            << child.output;
        EXPECT_NE(child.output.find("; answering as a PC without USB controllers, not with the "
                                    "real USB API"),
                  std::string::npos)
            << child.output;
        const std::string log = ReadLog().substr(logged);
        EXPECT_NE(log.find("HardwareApi::ChooseApi: "), std::string::npos) << log;
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    }
}

TEST(SeamChild, Simulated) {
    if (!IsChild()) GTEST_SKIP();
    EXPECT_TRUE(FromSimulator(reinterpret_cast<const void*>(Hw().CreateFileW)));
    EXPECT_TRUE(FromSimulator(reinterpret_cast<const void*>(Hw().Sleep)));
    EXPECT_TRUE(OpensHcd0());
    EXPECT_EQ(HwLine().kind, HwLineKind::kSimulated);
    EXPECT_TRUE(IsSimulatedLine());
    wchar_t text[MAX_PATH];
    EXPECT_EQ(GetSimulatedLine(text, MAX_PATH), SIMULATED_LINE_ACTIVE);
    EXPECT_NE(std::wstring(text).find(L"sim-basic.json"), std::wstring::npos);
}

TEST(SeamChild, NoControllers) {
    if (!IsChild()) GTEST_SKIP();
    EXPECT_FALSE(OpensNul()) << "not the Win32 API";
    EXPECT_FALSE(FromSimulator(reinterpret_cast<const void*>(Hw().CreateFileW)));
    EXPECT_FALSE(OpensHcd0());
    DEVINST root = 0, child = 0;
    EXPECT_EQ(Hw().CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL), CR_SUCCESS);
    EXPECT_EQ(Hw().CM_Get_Child(&child, root, 0), CR_NO_SUCH_DEVNODE);
    HDEVNOTIFY notify = Hw().RegisterDeviceNotificationW(nullptr, nullptr, 0);
    EXPECT_NE(notify, nullptr);
    EXPECT_TRUE(Hw().UnregisterDeviceNotification(notify));
    EXPECT_EQ(HwLine().kind, HwLineKind::kBroken);
    EXPECT_TRUE(IsSimulatedLine());
    EXPECT_EQ(GetSimulatedLine(nullptr, 0), SIMULATED_LINE_BROKEN);
}

}  // namespace
