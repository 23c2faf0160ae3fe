// zrvcli's tree text, positions included, over the library's snapshot of a
// simulated line.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "HalvexZRVLib.h"
#include "LibraryUnload.h"
#include "TreeText.h"
#include "UsbSimApi.h"

namespace {

// Root port 1: a mouse; port 2: a pad (its connection query fails when
// `faults` says so); port 3: a hub with a pen on its port 2; port 4 empty. A
// second controller with one empty port.
std::string Line(const char* faults) {
    return std::string(R"({ "timeScale": 100, "controllers": [
      { "description": "Host", "ports": 4, "children": {
        "1": { "device": { "vid": "046D", "pid": "C077", "serial": "M1", "description": "Mouse" } },
        "2": { "device": { "vid": "046D", "pid": "C078", "serial": "P2", "description": "Pad", "faults": )") +
           faults + R"( } },
        "3": { "hub": { "family": "other", "vid": "05E3", "pid": "0608", "serial": "G3",
                        "description": "Generic USB Hub", "ports": 2, "children": {
                          "2": { "device": { "vid": "046D", "pid": "C079", "serial": "N2", "description": "Pen" } } } } } } },
      { "description": "Second Host", "ports": 1 } ] })";
}

const wchar_t kHubLine[] =
    L"  1-1-3  Hub  Port3 : Generic USB Hub  "
    L"\\\\?\\USB#VID_05E3&PID_0608#G3#{f18a0e88-c30c-11d0-8815-00a0c906bed8}\n";

template <typename F>
F Bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

// A port that gives no node leaves the positions of the ports after it as
// they are: the last number of a position is the port number.
TEST(TreeText, PositionsEndInThePortNumber) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
    HMODULE sim = LoadLibraryW(L"UsbSim.dll");
    ASSERT_NE(sim, nullptr);
    auto load = Bind<PfnUsbSimLoadJson>(sim, "UsbSimLoadJson");
    HMODULE lib = LoadLibraryW(L"HalvexZRVLib.dll");
    ASSERT_NE(lib, nullptr);
    auto live = Bind<IDeviceTree*(__cdecl*)()>(lib, "CreateDeviceTree");
    auto snapshot = Bind<IDeviceTree*(__cdecl*)()>(lib, "CreateDeviceTreeUI");
    auto finished = Bind<int32_t(__cdecl*)()>(lib, "FinishedUsingDeviceTreeUI");

    const std::wstring head = L"1-1  Controller  Host\n  1-1-1  Device  Port1 :  Mouse\n";
    const std::wstring tail = std::wstring(kHubLine) +
                              L"    1-1-3-1  Device  Port1 :  \n"
                              L"    1-1-3-2  Device  Port2 :  Pen\n"
                              L"  1-1-4  Device  Port4 :  \n"
                              L"1-2  Controller  Second Host\n"
                              L"  1-2-1  Device  Port1 :  \n";
    struct Case {
        const char* faults;
        std::wstring expected;
    };
    const Case cases[] = {
        {"[]", head + L"  1-1-2  Device  Port2 :  Pad\n" + tail},
        {R"([ { "op": "connectionInfo" } ])", head + tail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults);
        ASSERT_EQ(load(Line(c.faults).c_str(), nullptr), USBSIM_OK);
        live()->Refresh();
        finished();
        EXPECT_EQ(TreeText(*snapshot()), c.expected);
    }
    EXPECT_TRUE(UnloadHubLibrary(lib));
}

// With the library's answers each hub line says what was decided about it:
// a first-family hub at once, a second-family hub whose fifth port is on at
// once, a hub of another maker not yet (it waits for a fifth endpoint).
TEST(TreeText, HubLinesCarryFamilyAndStatus) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
    HMODULE sim = LoadLibraryW(L"UsbSim.dll");
    ASSERT_NE(sim, nullptr);
    ASSERT_EQ(Bind<PfnUsbSimLoadJson>(sim, "UsbSimLoadJson")(R"({ "timeScale": 100, "controllers": [
      { "description": "Host", "ports": 3, "children": {
        "1": { "hub": { "family": "first", "vid": "3B9A", "pid": "6104", "serial": "A1",
                        "description": "USB 2.0 Hub", "ports": 1,
                        "chip": { "uuid": "00112233445566778899AABBCCDDEEFF" } } },
        "2": { "hub": { "family": "second", "vid": "3B9A", "pid": "7104", "serial": "B1",
                        "description": "USB Hub", "ports": 1, "chip": { "ep5Enabled": true } } },
        "3": { "hub": { "family": "other", "vid": "05E3", "pid": "0608", "serial": "G1",
                        "description": "Generic USB Hub", "ports": 1 } } } } ] })",
                                                             nullptr),
              USBSIM_OK);
    HMODULE lib = LoadLibraryW(L"HalvexZRVLib.dll");
    ASSERT_NE(lib, nullptr);
    auto family = Bind<int32_t(__cdecl*)(int32_t, int32_t)>(lib, "GetHubFamily");
    auto status = Bind<int32_t(__cdecl*)(int32_t, int32_t)>(lib, "GetHubStatus");
    auto removable = Bind<bool(__cdecl*)(int32_t, int32_t)>(lib, "CanDeviceBeRemoved");
    IDeviceTree* tree = Bind<IDeviceTree*(__cdecl*)()>(lib, "CreateDeviceTreeUI")();
    ASSERT_NE(tree, nullptr);
    const std::wstring text = TreeText(*tree, [&](int32_t c, int32_t n) {
        return HubAnswers{family(c, n), status(c, n), removable(c, n)};
    });
    const wchar_t* expected[] = {
        L"  1-1-1  Hub  Port1 : USB 2.0 Hub  [first family, status 14, may be removed]  "
        L"\\\\?\\USB#VID_3B9A",
        L"  1-1-2  Hub  Port2 : USB Hub  [second family, status 14, may be removed]  "
        L"\\\\?\\USB#VID_3B9A",
        L"  1-1-3  Hub  Port3 : Generic USB Hub  [not decided, status 0, may be removed]  "
        L"\\\\?\\USB#VID_05E3",
    };
    for (const wchar_t* line : expected) {
        EXPECT_NE(text.find(line), std::wstring::npos) << "no line like " << line;
    }
    EXPECT_TRUE(UnloadHubLibrary(lib));
}
