// The device change monitor: boards plugged in and out (in-process and from
// another process through usbsimctl) reach the device queue, the live tree
// and the tool's callback.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "HubLibraryFixture.h"
#include "ProcessRun.h"

HMODULE HubLibraryTest::sim_ = nullptr;

namespace {

const std::wstring kLineHub = HubPath(L"VID_3B9A&PID_6104", L"L1");
const std::wstring kC1 = HubPath(L"VID_3B9A&PID_6104", L"C1");
const std::wstring kC2 = HubPath(L"VID_3B9A&PID_6104", L"C2");
const std::wstring kC3 = HubPath(L"VID_05E3&PID_0608", L"C3");
const std::wstring kS1 = HubPath(L"VID_3B9A&PID_7104", L"S1");
const std::wstring kS2 = HubPath(L"VID_3B9A&PID_7104", L"S2");
const wchar_t kEp5Class[] = L"{6c2e9a14-7b3d-4f58-a1c6-2d8e5f0b9c37}";

// The fixtures wait 10 s for a fifth endpoint at time scale 20.
constexpr DWORD kScaledWaitMs = 500;

std::wstring Board(const char* name) {
    const std::string path = std::string(ZRV_FIXTURE_DIR) + "/tests/" + name;
    return std::wstring(path.begin(), path.end());
}

std::vector<std::wstring> PathsOf(int32_t event) {
    std::vector<std::wstring> paths;
    for (const auto& e : CEventLog::Instance().Events()) {
        if (e.event == event) paths.push_back(e.path);
    }
    return paths;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class HotPlug : public HubLibraryTest {
protected:
    void Attach(const wchar_t* position, const char* board) {
        ASSERT_EQ(Sim<PfnUsbSimAttach>("UsbSimAttach")(position, Board(board).c_str()), USBSIM_OK)
            << LastSimError();
        ASSERT_TRUE(WaitIdle());
    }
    void Detach(const wchar_t* position) {
        ASSERT_EQ(Sim<PfnUsbSimDetach>("UsbSimDetach")(position), USBSIM_OK) << LastSimError();
        ASSERT_TRUE(WaitIdle());
    }
    int32_t FamilyAt(int32_t c, int32_t n) {
        return Lib<int32_t(__cdecl*)(int32_t, int32_t)>("GetHubFamily")(c, n);
    }
    bool IndicesOf(const std::wstring& path, int32_t* c, int32_t* n) {
        return Lib<bool(__cdecl*)(const wchar_t*, int32_t*, int32_t*)>("GetDeviceIndicesUI")(
            path.c_str(), c, n);
    }
};

TEST_F(HotPlug, CascadedBoardArrivesParentsFirstAndLeavesChildrenFirst) {
    Start("hotplug-line.json");
    ASSERT_NE(Snapshot(), nullptr);
    int32_t lineC = -1, lineN = -1;
    ASSERT_TRUE(IndicesOf(kLineHub, &lineC, &lineN));

    Attach(L"1-1-1-2", "board-cascade.json");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 3, 10000));
    {
        const auto arrived = PathsOf(EVENT_DEVICE_ARRIVED);
        const std::vector<std::wstring> expected = {kC1, kC2, kC3};
        EXPECT_EQ(std::vector<std::wstring>(arrived.begin(), arrived.begin() + 3), expected);
    }
    // The snapshot the tool holds is kept until it is dropped: its pairs still
    // name what they named.
    int32_t c = -1, n = -1;
    EXPECT_FALSE(IndicesOf(kC1, &c, &n));
    EXPECT_EQ(FamilyAt(lineC, lineN), HUB_FAMILY_MIRAVEL);

    EXPECT_EQ(Lib<int32_t(__cdecl*)(int32_t)>("FinishedProcessingEvent")(EVENT_DEVICE_ARRIVED), 0);
    EXPECT_EQ(FamilyOf(kC1), HUB_FAMILY_MIRAVEL);
    EXPECT_EQ(FamilyOf(kC2), HUB_FAMILY_MIRAVEL);
    EXPECT_EQ(FamilyOf(kC3), HUB_FAMILY_UNKNOWN);  // waiting for a fifth endpoint
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 4, 10000));
    EXPECT_EQ(PathsOf(EVENT_DEVICE_ARRIVED).back(), kC3);
    EXPECT_EQ(FamilyOf(kC3), HUB_FAMILY_GENERIC);
    int32_t c3C = -1, c3N = -1;
    ASSERT_TRUE(IndicesOf(kC3, &c3C, &c3N));

    Detach(L"1-1-1-2");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_REMOVED, 3, 10000));
    const auto removed = PathsOf(EVENT_DEVICE_REMOVED);
    ASSERT_EQ(removed.size(), 3u);
    EXPECT_EQ(removed.back(), kC1);  // children first
    EXPECT_NE(std::find(removed.begin(), removed.end(), kC2), removed.end());
    EXPECT_NE(std::find(removed.begin(), removed.end(), kC3), removed.end());
    // Until the drop the pair still names C3's node; the hub has left the queue.
    EXPECT_EQ(FamilyAt(c3C, c3N), HUB_FAMILY_UNKNOWN);
    EXPECT_EQ(FamilyAt(lineC, lineN), HUB_FAMILY_MIRAVEL);
    EXPECT_EQ(FamilyOf(kC1), -1);
    EXPECT_EQ(FamilyOf(kC3), -1);
    EXPECT_EQ(FamilyOf(kLineHub), HUB_FAMILY_MIRAVEL);
}

TEST_F(HotPlug, SecondFamilyHubIsKnownByItsFifthPortAndLeavesWithIt) {
    Start("hotplug-line.json");
    ASSERT_NE(Snapshot(), nullptr);
    Attach(L"1-1-2", "board-second.json");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 2, 10000));
    // The hub's own arrival, then its fifth port's: both name the hub.
    EXPECT_EQ(PathsOf(EVENT_DEVICE_ARRIVED), std::vector<std::wstring>(2, kS1));
    EXPECT_EQ(FamilyOf(kS1), HUB_FAMILY_TORVIK);
    // Its wait was cancelled: no registration as a first-family hub follows.
    Sleep(3 * kScaledWaitMs);
    EXPECT_EQ(CEventLog::Instance().Count(EVENT_DEVICE_ARRIVED), 2u);
    EXPECT_EQ(FamilyOf(kS1), HUB_FAMILY_TORVIK);

    Detach(L"1-1-2");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_REMOVED, 2, 10000));
    const auto removed = PathsOf(EVENT_DEVICE_REMOVED);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_TRUE(EndsWith(removed[0], kEp5Class)) << removed[0];
    EXPECT_EQ(removed[0].rfind(L"\\\\?\\USB#VID_3B9A&PID_7100#", 0), 0u) << removed[0];
    EXPECT_EQ(removed[1], kS1);
    EXPECT_EQ(FamilyOf(kS1), -1);
}

TEST_F(HotPlug, SecondFamilyHubWithItsFifthPortOnIsKnownAtOnce) {
    Start("hotplug-line.json");
    ASSERT_NE(Snapshot(), nullptr);
    Attach(L"1-1-3", "board-second-enabled.json");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 2, 10000));
    EXPECT_EQ(PathsOf(EVENT_DEVICE_ARRIVED), std::vector<std::wstring>(2, kS2));
    EXPECT_EQ(FamilyOf(kS2), HUB_FAMILY_TORVIK);
}

// The fifth port shows up only after the wait ran out: the first-family
// object the timer registered gives way to a second-family one.
TEST_F(HotPlug, FifthPortAfterTheWaitTurnsTheTimersObjectIntoASecondFamilyOne) {
    Start("hotplug-late-ep5.json");
    ASSERT_NE(Snapshot(), nullptr);
    ASSERT_EQ(Sim<PfnUsbSimAttach>("UsbSimAttach")(L"1-1-1", Board("board-second.json").c_str()),
              USBSIM_OK)
        << LastSimError();
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 2, 10000));
    EXPECT_EQ(FamilyOf(kS1), HUB_FAMILY_GENERIC);
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 3, 10000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(PathsOf(EVENT_DEVICE_ARRIVED), std::vector<std::wstring>(3, kS1));
    EXPECT_EQ(FamilyOf(kS1), HUB_FAMILY_TORVIK);
}

TEST_F(HotPlug, BoardsPluggedFromAnotherProcess) {
    Start("hotplug-line.json");
    ASSERT_NE(Snapshot(), nullptr);
    wchar_t pipe[256] = {};
    Sim<int(__cdecl*)(wchar_t*, int)>("UsbSimGetPipeName")(pipe, 256);
    ASSERT_NE(pipe[0], L'\0');
    auto usbsimctl = [&](const std::wstring& arguments) {
        return testsupport::RunCapturingOutput(L"\"" + testsupport::ProgramFolder() +
                                                   L"usbsimctl.exe\" --pipe " + pipe + L" " +
                                                   arguments,
                                               L"usbsimctl-output.txt", 30000);
    };
    auto attached = usbsimctl(L"attach 1-1-4 \"" + Board("board-first-pair.json") + L"\"");
    ASSERT_EQ(attached.exitCode, 0u) << attached.output;
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 2, 10000));
    const std::wstring p1 = HubPath(L"VID_3B9A&PID_6104", L"P1");
    const std::wstring p2 = HubPath(L"VID_3B9A&PID_6104", L"P2");
    EXPECT_EQ(PathsOf(EVENT_DEVICE_ARRIVED), (std::vector<std::wstring>{p1, p2}));
    EXPECT_EQ(FamilyOf(p2), HUB_FAMILY_MIRAVEL);

    auto detached = usbsimctl(L"detach 1-1-4");
    ASSERT_EQ(detached.exitCode, 0u) << detached.output;
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_REMOVED, 2, 10000));
    EXPECT_EQ(PathsOf(EVENT_DEVICE_REMOVED), (std::vector<std::wstring>{p2, p1}));
    EXPECT_EQ(FamilyOf(p1), -1);
}

// Stopping before anything started does nothing; the first walk still starts
// the monitor, and starting it again while it runs starts no second one.
TEST_F(HotPlug, StopBeforeStartDoesNothingAndOneMonitorRuns) {
    Start("hotplug-line.json");
    Lib<void(__cdecl*)()>("StopEnumeration")();
    ASSERT_NE(Snapshot(), nullptr);
    EXPECT_EQ(Lib<int32_t(__cdecl*)()>("StartEnumeration")(), 0);
    Attach(L"1-1-3", "board-first-pair.json");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 2, 10000));
    // One window heard each arrival: two hubs, two events.
    EXPECT_EQ(CEventLog::Instance().Count(EVENT_DEVICE_ARRIVED), 2u);
}

// A stopped monitor stays stopped in this instance of the library: neither
// a walk nor StartEnumeration brings it back, and no change is heard.
TEST_F(HotPlug, StoppedMonitorIsNotStartedAgain) {
    Start("hotplug-line.json");
    ASSERT_NE(Snapshot(), nullptr);
    Lib<void(__cdecl*)()>("StopEnumeration")();
    EXPECT_EQ(Lib<int32_t(__cdecl*)()>("StartEnumeration")(), 0);
    LiveTree()->Refresh();
    Attach(L"1-1-3", "board-first-pair.json");
    EXPECT_EQ(CEventLog::Instance().Count(EVENT_DEVICE_ARRIVED), 0u);
    EXPECT_EQ(FamilyOf(HubPath(L"VID_3B9A&PID_6104", L"P1")), -1);
}

// A callback that calls back into the library, on the monitor's thread and
// from another thread it waits for (as a callback that sends to the tool's
// window would), must not stop the monitor. A lock held across the callback
// makes the other thread's call time out.
std::atomic<HMODULE> g_lib{nullptr};
std::atomic<int> g_calledBack{0};
std::atomic<int> g_blocked{0};

DWORD WINAPI AskForHubStatus(LPVOID) {
    auto status = reinterpret_cast<int32_t(__cdecl*)(int32_t, int32_t)>(
        reinterpret_cast<void*>(GetProcAddress(g_lib, "GetHubStatus")));
    auto snapshot = reinterpret_cast<IDeviceTree*(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(g_lib, "CreateDeviceTreeUI")));
    status(0, 1);
    return snapshot() != nullptr ? 0 : 1;
}

void CallBackIntoTheLibrary(const RecordedEvent&) {
    auto status = reinterpret_cast<int32_t(__cdecl*)(int32_t, int32_t)>(
        reinterpret_cast<void*>(GetProcAddress(g_lib, "GetHubStatus")));
    auto snapshot = reinterpret_cast<IDeviceTree*(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(g_lib, "CreateDeviceTreeUI")));
    auto finished = reinterpret_cast<int32_t(__cdecl*)(int32_t)>(
        reinterpret_cast<void*>(GetProcAddress(g_lib, "FinishedProcessingEvent")));
    status(0, 1);
    if (snapshot() != nullptr) finished(EVENT_DEVICE_ARRIVED);
    HANDLE other = CreateThread(nullptr, 0, AskForHubStatus, nullptr, 0, nullptr);
    if (other == nullptr || WaitForSingleObject(other, 5000) != WAIT_OBJECT_0) ++g_blocked;
    if (other != nullptr) CloseHandle(other);
    ++g_calledBack;
}

TEST_F(HotPlug, CallbackThatCallsBackIntoTheLibraryDoesNotStopTheMonitor) {
    Start("hotplug-line.json");
    ASSERT_NE(Snapshot(), nullptr);
    g_lib = lib_;
    g_calledBack = 0;
    g_blocked = 0;
    CEventLog::Instance().SetHook(CallBackIntoTheLibrary);
    Attach(L"1-1-4", "board-first-pair.json");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 2, 20000));
    Detach(L"1-1-4");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_REMOVED, 2, 20000));
    // The monitor still hears of the next board.
    Attach(L"1-1-4", "board-first-pair.json");
    ASSERT_TRUE(CEventLog::Instance().WaitFor(EVENT_DEVICE_ARRIVED, 4, 20000));
    CEventLog::Instance().SetHook(nullptr);
    EXPECT_EQ(g_calledBack.load(), 6);
    EXPECT_EQ(g_blocked.load(), 0);
}

}  // namespace
