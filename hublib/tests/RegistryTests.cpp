// The device queue's family decision and fifth-endpoint wait, through the
// exports and the notification callback, against simulated fixtures.
#include <windows.h>

#include <vector>

#include "ConfigBlock.h"
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
// soon as its timer runs, where the default wait would take 5 s at time
// scale 2.
TEST_F(Registry, ZeroSecondWaitRegistersTheHubAtOnce) {
    CMachineKeyOverride machine;
    ASSERT_TRUE(machine.SetDword(L"SOFTWARE\\VARN\\KVR", L"EP5TIMEOUTPERIOD", 0));
    SetEnvironmentVariableW(L"ZRV_TIME_SCALE", L"2");
    Start("registry-families.json");
    SetEnvironmentVariableW(L"ZRV_TIME_SCALE", nullptr);
    ASSERT_NE(Snapshot(), nullptr);
    const DWORD walked = GetTickCount();
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 1, 10000));
    EXPECT_LT(GetTickCount() - walked, 1500u);
    EXPECT_EQ(FamilyOf(kOther), HUB_FAMILY_GENERIC);
}

// 5 s from the registry is half the default wait: at time scale 2 the hub is
// registered 2.5 s after its wait began instead of 5 s (the walk before and
// after its wait began adds about a second).
TEST_F(Registry, FiveSecondWaitIsHalfTheDefault) {
    CMachineKeyOverride machine;
    ASSERT_TRUE(machine.SetDword(L"SOFTWARE\\VARN\\KVR", L"EP5TIMEOUTPERIOD", 5));
    SetEnvironmentVariableW(L"ZRV_TIME_SCALE", L"2");
    Start("registry-families.json");
    SetEnvironmentVariableW(L"ZRV_TIME_SCALE", nullptr);
    const DWORD began = GetTickCount();
    ASSERT_NE(Snapshot(), nullptr);
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 1, 10000));
    const DWORD waited = GetTickCount() - began;
    EXPECT_GT(waited, 2500u);
    EXPECT_LT(waited, 5200u);  // the default: 5 s after the wait began
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

// A first-family hub whose OTP could not be read at the first look waits like
// any unknown hub; recognised at the next walk it is queued once, and its
// wait ends there (no second, first-family object with family code 2 later).
TEST_F(Registry, HubRecognisedWhileWaitingEndsItsWait) {
    Start("first-family-late.json");
    const std::wstring hub = HubPath(L"VID_3B9A&PID_6104", L"A2");
    ASSERT_NE(Snapshot(), nullptr);
    EXPECT_EQ(FamilyOf(hub), HUB_FAMILY_UNKNOWN);
    LiveTree()->Refresh();
    EXPECT_EQ(FamilyOf(hub), HUB_FAMILY_MIRAVEL);
    Sleep(3 * kScaledWaitMs);
    EXPECT_EQ(CEventLog::Instance().Count(EVENT_DEVICE_ARRIVED), 0u);
    EXPECT_EQ(FamilyOf(hub), HUB_FAMILY_MIRAVEL);
    EXPECT_TRUE(Lib<bool(__cdecl*)(int32_t, int32_t)>("IsVendorBlockPresent")(0, 1));
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

// A configuration block of `items` register writes.
std::vector<uint8_t> BlockOf(int items) {
    std::vector<cfgblock::NewItem> list;
    for (int i = 0; i < items; ++i) {
        list.push_back({0x800, {0x10, static_cast<uint8_t>(i), static_cast<uint8_t>(i)}});
    }
    return *cfgblock::BuildBlock(list);
}

// Two runs below one hub count it twice: it cannot be removed until both
// ended, and the end of the last one releases it (event 6).
TEST_F(Registry, HubAboveTwoRunsIsInUseUntilBothEnd) {
    Start("use-chain-line.json");
    const std::wstring top = HubPath(L"VID_3B9A&PID_6104", L"T1");
    const std::wstring shortRun = HubPath(L"VID_3B9A&PID_6104", L"U1");
    const std::wstring longRun = HubPath(L"VID_3B9A&PID_6104", L"U2");
    ASSERT_NE(Snapshot(), nullptr);
    auto indices = [&](const std::wstring& path) {
        std::pair<int32_t, int32_t> at{-1, -1};
        Lib<bool(__cdecl*)(const wchar_t*, int32_t*, int32_t*)>("GetDeviceIndicesUI")(
            path.c_str(), &at.first, &at.second);
        return at;
    };
    auto removable = [&](const std::wstring& path) {
        const auto at = indices(path);
        return Lib<bool(__cdecl*)(int32_t, int32_t)>("CanDeviceBeRemoved")(at.first, at.second);
    };
    // OTP programming at 10 ms a byte: the long block takes seconds longer.
    const struct {
        const std::wstring& path;
        int items;
    } runs[] = {{shortRun, 2}, {longRun, 40}};
    for (const auto& run : runs) {
        const auto at = indices(run.path);
        const std::vector<uint8_t> block = BlockOf(run.items);
        ASSERT_EQ(Lib<int32_t(__cdecl*)(int32_t, int32_t, const uint8_t*, uint32_t)>(
                      "SetConfigurationBlock")(at.first, at.second, block.data(),
                                               static_cast<uint32_t>(block.size())),
                  0);
        ASSERT_EQ(Lib<int32_t(__cdecl*)(int32_t, int32_t, int32_t)>("SetStorageMode")(
                      at.first, at.second, STORAGE_OTP),
                  0);
        ASSERT_TRUE(Lib<bool(__cdecl*)(int32_t, int32_t, bool)>("SetProgrammingRequired")(
            at.first, at.second, true));
    }
    ASSERT_TRUE(removable(top));
    ASSERT_EQ(Lib<int32_t(__cdecl*)(bool)>("StartProgrammerManager")(true), 0);

    // Until the short run has ended, then while the long one goes on.
    auto finished = [](const std::wstring& path) {
        for (const auto& e : CEventLog::Instance().Events()) {
            if (e.event == EVENT_DEVICE_FINISHED && e.path == path) return true;
        }
        return false;
    };
    const DWORD end = GetTickCount() + 20000;
    while (!finished(shortRun) && GetTickCount() < end) Sleep(5);
    ASSERT_TRUE(finished(shortRun));
    ASSERT_FALSE(finished(longRun)) << "the long run ended too soon to see";
    EXPECT_FALSE(removable(top));
    EXPECT_TRUE(removable(shortRun));
    EXPECT_FALSE(removable(longRun));

    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_MANAGER_FINISHED, 1, 30000));
    EXPECT_TRUE(removable(top));
    std::vector<std::wstring> released;
    for (const auto& e : CEventLog::Instance().Events()) {
        if (e.event == EVENT_HUB_RELEASED) released.push_back(e.path);
    }
    // The short run releases only its own hub; the long one the top too.
    EXPECT_EQ(released, (std::vector<std::wstring>{shortRun, top, longRun}));
}

}  // namespace
