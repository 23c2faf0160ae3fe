// The device queue's family decision and fifth-endpoint wait, through the
// exports and the notification callback, against simulated fixtures.
#include <windows.h>

#include "HubLibraryFixture.h"
#include "RegistryOverride.h"

HMODULE HubLibraryTest::sim_ = nullptr;

namespace {

const std::wstring kFirst = HubPath(L"VID_3B9A&PID_6104", L"A1");
const std::wstring kOther = HubPath(L"VID_05E3&PID_0608", L"G1");
const std::wstring kSecond = HubPath(L"VID_3B9A&PID_7104", L"B1");
const std::wstring kSecondLate = HubPath(L"VID_3B9A&PID_7104", L"B2");

// registry-families.json waits 10 s at time scale 20: 500 ms.
constexpr DWORD kScaledWaitMs = 500;

using Registry = HubLibraryTest;

TEST_F(Registry, FamiliesAreDecidedAndAnOtherMakersHubWaitsOutItsTimer) {
    Start("registry-families.json");
    ASSERT_NE(Snapshot(), nullptr);
    EXPECT_EQ(FamilyOf(kFirst), HUB_FAMILY_MIRAVEL);
    EXPECT_EQ(FamilyOf(kSecond), HUB_FAMILY_TORVIK);
    EXPECT_EQ(FamilyOf(kOther), HUB_FAMILY_UNKNOWN);  // waiting, not queued
    // Walks while it waits start no second wait.
    LiveTree()->Refresh();
    LiveTree()->Refresh();

    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 1, 10000));
    // Long enough for a second timer to have run out too.
    Sleep(3 * kScaledWaitMs);
    const auto events = CEventLog::Instance().Events();
    ASSERT_EQ(CEventLog::Instance().Count(EVENT_DEVICE_ARRIVED), 1u);
    for (const auto& e : events) {
        if (e.event == EVENT_DEVICE_ARRIVED) {
            EXPECT_EQ(e.path, kOther);
        }
    }
    EXPECT_EQ(FamilyOf(kOther), HUB_FAMILY_GENERIC);
    EXPECT_FALSE(Lib<bool(__cdecl*)(int32_t, int32_t)>("IsVendorBlockPresent")(0, 2));
    EXPECT_EQ(FamilyOf(kFirst), HUB_FAMILY_MIRAVEL);
}

// The wait time is read when the library starts: 0 s registers the hub as
// soon as its timer runs, well before the default wait (500 ms here).
TEST_F(Registry, ZeroSecondWaitRegistersTheHubAtOnce) {
    CMachineKeyOverride machine;
    ASSERT_TRUE(machine.SetDword(L"SOFTWARE\\VARN\\KVR", L"EP5TIMEOUTPERIOD", 0));
    Start("registry-families.json");
    ASSERT_NE(Snapshot(), nullptr);
    const DWORD walked = GetTickCount();
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 1, 10000));
    EXPECT_LT(GetTickCount() - walked, kScaledWaitMs / 2);
    EXPECT_EQ(FamilyOf(kOther), HUB_FAMILY_GENERIC);
}

TEST_F(Registry, HubUnpluggedWhileWaitingIsStillRegisteredWhenItsWaitRunsOut) {
    Start("registry-families.json");
    ASSERT_NE(Snapshot(), nullptr);
    ASSERT_EQ(Sim<PfnUsbSimDetach>("UsbSimDetach")(L"1-1-2"), USBSIM_OK) << LastSimError();
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 1, 10000));
    bool announced = false;
    for (const auto& e : CEventLog::Instance().Events()) {
        announced |= e.event == EVENT_DEVICE_ARRIVED && e.path == kOther;
    }
    EXPECT_TRUE(announced);
}

// A second-family hub whose enable requests go out during the first walk and
// whose function arrives at once, before anyone listens for it: it must not
// be taken for a first-family hub when its wait runs out.
TEST_F(Registry, FifthEndpointThatArrivedUnheardIsFoundWhenTheWaitRunsOut) {
    Start("ep5-before-monitor.json");
    ASSERT_NE(Snapshot(), nullptr);
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 1, 10000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(FamilyOf(kSecondLate), HUB_FAMILY_TORVIK);
    for (const auto& e : CEventLog::Instance().Events()) {
        if (e.event == EVENT_DEVICE_ARRIVED) {
            EXPECT_EQ(e.path, kSecondLate);
        }
    }
}

// The library's threads keep it loaded: unloading it while a wait runs
// leaves the timer's code in place; the timer still registers and announces
// the hub, and then the module goes with its last thread.
TEST_F(Registry, UnloadWhileAWaitRunsLeavesNoThreadAndNoCallIntoFreedMemory) {
    Start("registry-families.json");
    ASSERT_NE(Snapshot(), nullptr);
    ASSERT_EQ(CEventLog::Instance().Count(EVENT_DEVICE_ARRIVED), 0u);
    HMODULE lib = lib_;
    lib_ = nullptr;
    EXPECT_TRUE(UnloadHubLibrary(lib));
    EXPECT_EQ(CEventLog::Instance().Count(EVENT_DEVICE_ARRIVED), 1u);
    EXPECT_EQ(GetModuleHandleW(L"HalvexZRVLib.dll"), nullptr);
}

}  // namespace
