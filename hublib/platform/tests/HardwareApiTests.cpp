// The seam's choice of table: the Win32 API without ZRV_USBSIM, the
// simulator's table with it, and a visible fallback to the Win32 API when the
// simulator cannot load its fixture. The table is chosen once per process, so
// each case with ZRV_USBSIM runs this program again as a child.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "HardwareApi.h"
#include "ProcessRun.h"

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

TEST(Seam, WithoutZrvUsbsimTheTableIsTheWin32Api) {
    if (IsChild()) GTEST_SKIP();
    EXPECT_EQ(&Hw(), &Hw()) << "chosen once";
    EXPECT_EQ(GetModuleHandleW(L"UsbSim.dll"), nullptr) << "the simulator is not even loaded";
    EXPECT_FALSE(OpensHcd0()) << "no host controllers here";
}

TEST(Seam, WithZrvUsbsimTheSimulatorAnswers) {
    if (IsChild()) GTEST_SKIP();
    ChildResult child = RunChild("Simulated", FixturePath(L"tests/sim-basic.json"));
    EXPECT_EQ(child.exitCode, 0u) << child.output;
}

TEST(Seam, ABrokenFixtureFallsBackVisibly) {
    if (IsChild()) GTEST_SKIP();
    ChildResult child = RunChild("FellBack", FixturePath(L"tests/board-device.json"));
    EXPECT_EQ(child.exitCode, 0u) << child.output;
    EXPECT_NE(child.output.find("board-device.json: $: missing field \"controllers\""),
              std::string::npos)
        << child.output;
    EXPECT_NE(child.output.find("ZRV_USBSIM is set but the simulator could not load its fixture"),
              std::string::npos)
        << child.output;
}

TEST(SeamChild, Simulated) {
    if (!IsChild()) GTEST_SKIP();
    EXPECT_TRUE(FromSimulator(reinterpret_cast<const void*>(Hw().CreateFileW)));
    EXPECT_TRUE(FromSimulator(reinterpret_cast<const void*>(Hw().Sleep)));
    EXPECT_TRUE(OpensHcd0());
}

TEST(SeamChild, FellBack) {
    if (!IsChild()) GTEST_SKIP();
    EXPECT_FALSE(FromSimulator(reinterpret_cast<const void*>(Hw().CreateFileW)));
    EXPECT_NE(GetModuleHandleW(L"UsbSim.dll"), nullptr) << "it was tried";
    EXPECT_FALSE(OpensHcd0());
}

}  // namespace
