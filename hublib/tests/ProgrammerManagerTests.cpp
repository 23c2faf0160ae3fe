// The programmer manager end to end inside the process: scripted hubs in the
// library's queue, the live tree from a simulated line, events as the tool's
// callback would receive them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HubStatusText.h"
#include "ManagerTestSupport.h"
#include "ProgrammerManagerTimer.h"

extern const wchar_t kTraceLogFileName[] = L"ProgrammerManagerTests.txt";

using namespace manager_test;

namespace {

struct Event {
    int32_t code;
    std::wstring path;  // empty for events 4 and 7
    int32_t value;
};

CRITICAL_SECTION g_eventsLock;
std::vector<Event> g_events;
HANDLE g_runEnded = nullptr;
// How many of the next event-7 callbacks start a new run, and the answer.
volatile LONG g_startsOnFinish = 0;
volatile LONG g_startOnFinishResult = 0;

bool __cdecl RecordEvent(uintptr_t data, int32_t code) {
    Event event{code, L"", 0};
    if (code == EVENT_MANAGER_STATE || code == EVENT_MANAGER_FINISHED) {
        event.value = static_cast<int32_t>(static_cast<intptr_t>(data));
    } else {
        auto* record = reinterpret_cast<NotificationRecord*>(data);
        event.path = record->DevicePath;
        event.value = record->Value;
        EXPECT_EQ(record->Length, 200);
        HeapFree(GetProcessHeap(), 0, record);
    }
    EnterCriticalSection(&g_eventsLock);
    g_events.push_back(event);
    LeaveCriticalSection(&g_eventsLock);
    if (code == EVENT_MANAGER_FINISHED) {
        if (InterlockedDecrement(&g_startsOnFinish) >= 0) {
            InterlockedExchange(&g_startOnFinishResult, StartProgrammerManager(true));
        } else {
            InterlockedExchange(&g_startsOnFinish, 0);
        }
        SetEvent(g_runEnded);
    }
    return true;
}

std::vector<Event> Events() {
    EnterCriticalSection(&g_eventsLock);
    std::vector<Event> copy = g_events;
    LeaveCriticalSection(&g_eventsLock);
    return copy;
}

// code/value pairs of one hub's events, in order.
std::vector<std::pair<int32_t, int32_t>> EventsOf(const std::vector<Event>& events,
                                                  const std::wstring& path) {
    std::vector<std::pair<int32_t, int32_t>> mine;
    for (const Event& e : events) {
        if (e.path == path) mine.emplace_back(e.code, e.value);
    }
    return mine;
}

// Manager-level events (4 and 7) in order.
std::vector<std::pair<int32_t, int32_t>> ManagerEvents(const std::vector<Event>& events) {
    std::vector<std::pair<int32_t, int32_t>> mine;
    for (const Event& e : events) {
        if (e.code == EVENT_MANAGER_STATE || e.code == EVENT_MANAGER_FINISHED) {
            mine.emplace_back(e.code, e.value);
        }
    }
    return mine;
}

using Pairs = std::vector<std::pair<int32_t, int32_t>>;

bool Removable(wchar_t letter) {
    return DeviceQueue().CanDeviceBeRemoved(HubPath(letter).c_str());
}

std::wstring TraceLog() {
    std::wifstream file(kTraceLogFileName);
    std::wstringstream text;
    text << file.rdbuf();
    return text.str();
}

// Waits until the callback has seen count events of this code.
bool WaitForEvents(int32_t code, size_t count) {
    const ULONGLONG end = GetTickCount64() + 10000;
    for (;;) {
        size_t seen = 0;
        for (const Event& e : Events()) seen += e.code == code ? 1 : 0;
        if (seen >= count) return true;
        if (GetTickCount64() > end) return false;
        Sleep(1);
    }
}

// Deletes and remakes the live tree until told to stop.
struct Churn {
    volatile LONG stop = 0;
    volatile LONG rounds = 0;
};

DWORD WINAPI DeleteAndRemakeLiveTree(LPVOID parameter) {
    auto* self = static_cast<Churn*>(parameter);
    while (!self->stop) {
        DeleteDeviceTree();
        CreateDeviceTree();
        InterlockedIncrement(&self->rounds);
        Sleep(1);
    }
    return 0;
}

class Manager : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitializeCriticalSection(&g_eventsLock);
        g_runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_TRUE(StartLibraryOnSimulatedLine());
        ASSERT_TRUE(RegisterNotificationCallback(RecordEvent));
    }

    void SetUp() override {
        EmptyQueue();
        EnterCriticalSection(&g_eventsLock);
        g_events.clear();
        LeaveCriticalSection(&g_eventsLock);
        ResetEvent(g_runEnded);
    }

    void TearDown() override {
        StopProgrammerManager();
        EXPECT_TRUE(WaitUntilManagerEnds());
    }

    // Runs the manager to its end; false when it did not end in time.
    bool Run(bool executeOnce) {
        if (StartProgrammerManager(executeOnce) != RESULT_SUCCESS) return false;
        return WaitForRunEnd();
    }
    bool WaitForRunEnd() {
        return WaitForSingleObject(g_runEnded, 10000) == WAIT_OBJECT_0 && WaitUntilManagerEnds();
    }
};

}  // namespace

TEST(HubStatusText, LibraryTexts) {
    const struct {
        int32_t status;
        const wchar_t* text;
    } cases[] = {
        {HUB_STATUS_NEW_UNPROGRAMMED, L"New Unprogrammed"},
        {HUB_STATUS_OPEN_FAILED, L"Failure opening device"},
        {HUB_STATUS_PROGRAMMED_VERIFIED, L"Programmed Verified Successfully"},
        {HUB_STATUS_INSUFFICIENT_SPACE, L"Failed due to Insufficient space"},
        {HUB_STATUS_SPI_FLASH_ERROR, L""},
        {HUB_STATUS_OTP_WRITE_LIMIT, L""},
        {HUB_STATUS_UNKNOWN, L""},
        {-1, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_STREQ(HubStatusText(c.status), c.text);
    }
}

// The texts the tool and zrvcli show, from the same table.
TEST(HubStatusText, OperatorTexts) {
    const wchar_t* const texts[] = {
        L"New Unprogrammed",
        L"Failure opening device",
        L"Programming",
        L"Programmed Successfully",
        L"Failed Programming",
        L"Verified Successfully",
        L"Failed Verify",
        L"Programmed and Verified Successfully",
        L"Failed Program Verify",
        L"Verifying",
        L"Programming and Verifying",
        L"Failed due to Insufficient space",
        L"ERROR: Cannot access SPI Flash",
        L"ERROR: OTP already Programmed maximum times",
    };
    for (int32_t status = 0; status < 14; ++status) {
        SCOPED_TRACE(status);
        EXPECT_STREQ(HubStatusDisplayText(status), texts[status]);
        if (status != HUB_STATUS_PROGRAMMED_VERIFIED && status < 12) {
            EXPECT_STREQ(HubStatusText(status), texts[status]) << "the library traces the same";
        }
    }
    EXPECT_EQ(HubStatusDisplayText(HUB_STATUS_UNKNOWN), nullptr);
    EXPECT_EQ(HubStatusDisplayText(-1), nullptr);
}

TEST_F(Manager, ExecuteOnceWithNothingReadyEndsAtOnce) {
    Queue(L'A', /*programmingRequired=*/false);
    ASSERT_TRUE(Run(true));
    const Pairs expected = {{4, 0}, {4, 3}, {7, 0}};
    EXPECT_EQ(ManagerEvents(Events()), expected);
    EXPECT_EQ(Events().size(), expected.size());
    EXPECT_FALSE(IsProgrammerManagerRunning());
    EXPECT_EQ(StopProgrammerManager(), RESULT_SUCCESS);
    EXPECT_EQ(Events().size(), expected.size());
}

TEST_F(Manager, ExecuteOnceProgramsEveryReadyHubInOneBatch) {
    Queue(L'A');  // programme only
    Queue(L'E', /*programmingRequired=*/false, VALIDATION_VERIFY)->finalStatus =
        HUB_STATUS_VERIFIED;  // verify only
    ASSERT_TRUE(Run(true));

    const std::vector<Event> events = Events();
    const Pairs manager = {{4, 0}, {4, 1}, {4, 2}, {7, 0}};
    EXPECT_EQ(ManagerEvents(events), manager);
    const Pairs hubA = {
        {1, HUB_STATUS_PROGRAMMING}, {6, 0}, {1, HUB_STATUS_PROGRAMMED}, {5, RESULT_SUCCESS}};
    EXPECT_EQ(EventsOf(events, HubPath(L'A')), hubA);
    const Pairs hubE = {
        {1, HUB_STATUS_VERIFYING}, {6, 0}, {1, HUB_STATUS_VERIFIED}, {5, RESULT_SUCCESS}};
    EXPECT_EQ(EventsOf(events, HubPath(L'E')), hubE);
    // Every hub event lies between the batch's start and the manager's end.
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[1].code, EVENT_MANAGER_STATE);
    EXPECT_EQ(events[events.size() - 2].code, EVENT_MANAGER_STATE);

    // The queued hubs carry the final status and their settings are reset.
    for (wchar_t letter : {L'A', L'E'}) {
        SCOPED_TRACE(letter);
        const std::wstring path = HubPath(letter);
        EXPECT_FALSE(DeviceQueue().GetProgrammingRequired(path.c_str()));
        EXPECT_EQ(DeviceQueue().GetValidationMethod(path.c_str()), VALIDATION_NONE);
        EXPECT_EQ(DeviceQueue().GetStorageMode(path.c_str()), STORAGE_UNKNOWN);
        EXPECT_FALSE(DeviceQueue().IsNewDevice(path.c_str()));
        EXPECT_TRUE(Removable(letter));
    }
    EXPECT_EQ(DeviceQueue().GetHubStatus(HubPath(L'A').c_str()), HUB_STATUS_PROGRAMMED);
    EXPECT_EQ(DeviceQueue().GetHubStatus(HubPath(L'E').c_str()), HUB_STATUS_VERIFIED);
}

TEST_F(Manager, TraceLinesOfARun) {
    const size_t before = TraceLog().size();
    Queue(L'A', true, VALIDATION_VERIFY)->finalStatus = HUB_STATUS_PROGRAMMED_VERIFIED;
    Queue(L'E', true, VALIDATION_NONE);
    ASSERT_TRUE(Run(true));
    const std::wstring log = TraceLog().substr(before);
    const std::wstring a = HubPath(L'A');
    const std::wstring e = HubPath(L'E');
    const std::wstring lines[] = {
        L"ReadQueue: Created 2 threads",
        L"ReadQueue: Programmer Manager status changed to PROGRAMMGR_STARTED_PROGRAMMING",
        L"ProgramDevice: Programming & Verifying Required for hub " + a,
        L"ProgramDevice: Programming Required : Setting hub status of " + e + L" to PROGRAMMING",
        L"ProgramDevice: Status of device " + a + L" is Programmed Verified Successfully",
        L"ProgramDevice: Status of device " + e + L" is Programmed Successfully",
        L"ProgramDevice: Result after progrmming device " + a + L" is 0",
        L"ProgramAndValidateDevices: FinishedThreadCount is 2",
        L"ProgramAndValidateDevices: ThreadCount is 2",
        L"ProgramAndValidateDevices: StopThread is false",
        L"ProgramAndValidateDevices: g_ProgrammerManagerStatus is set to 2",
    };
    for (const std::wstring& line : lines) {
        EXPECT_NE(log.find(L" " + line + L"\n"), std::wstring::npos) << line;
    }
}

TEST_F(Manager, FailureStatusEndsContinuousRunAfterTheBatch) {
    auto script = Queue(L'A', true, VALIDATION_VERIFY);
    script->finalStatus = HUB_STATUS_PROGRAM_VERIFY_FAILED;
    script->result = RESULT_VERIFY_MISMATCH;
    Queue(L'E');  // same batch, succeeds
    ASSERT_TRUE(Run(false));

    const std::vector<Event> events = Events();
    const Pairs manager = {{4, 0}, {4, 1}, {4, 0}, {4, 2}, {7, -1}};
    EXPECT_EQ(ManagerEvents(events), manager);
    const Pairs hubA = {{1, HUB_STATUS_PROGRAMMING_VERIFYING},
                        {6, 0},
                        {1, HUB_STATUS_PROGRAM_VERIFY_FAILED},
                        {5, RESULT_VERIFY_MISMATCH}};
    EXPECT_EQ(EventsOf(events, HubPath(L'A')), hubA);
    EXPECT_EQ(EventsOf(events, HubPath(L'E')).size(), 4u);
    EXPECT_EQ(DeviceQueue().GetHubStatus(HubPath(L'A').c_str()), HUB_STATUS_PROGRAM_VERIFY_FAILED);
}

TEST_F(Manager, StopWaitsForTheBatchAndEndsWithOne) {
    auto script = Queue(L'A');
    script->Hold();
    ASSERT_EQ(StartProgrammerManager(false), RESULT_SUCCESS);
    ASSERT_EQ(WaitForSingleObject(script->entered, 10000), WAIT_OBJECT_0);

    // One manager at a time.
    EXPECT_EQ(StartProgrammerManager(true), RESULT_FAILURE);
    EXPECT_FALSE(Removable(L'A'));
    EXPECT_EQ(StopProgrammerManager(), RESULT_SUCCESS);
    Sleep(20);  // a batch in progress is not interrupted
    EXPECT_TRUE(IsProgrammerManagerRunning());
    EXPECT_EQ(WaitForSingleObject(g_runEnded, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    SetEvent(script->gate);
    ASSERT_TRUE(WaitForRunEnd());
    const std::vector<Event> events = Events();
    const Pairs manager = {{4, 0}, {4, 1}, {4, 2}, {7, 1}};
    EXPECT_EQ(ManagerEvents(events), manager);
    EXPECT_EQ(EventsOf(events, HubPath(L'A')).back(), std::make_pair(5, 0));
    EXPECT_TRUE(Removable(L'A'));
    EXPECT_FALSE(IsProgrammerManagerRunning());

    // Ended and forgotten: a new run starts.
    ResetEvent(g_runEnded);
    ASSERT_TRUE(Run(true));
}

TEST_F(Manager, ParentChainIsInUseUntilTheLastHubBelowEnds) {
    Queue(L'A', false);
    Queue(L'B', false);
    auto c = Queue(L'C');
    auto d = Queue(L'D');
    Queue(L'E', false);
    c->Hold();
    d->Hold();
    ASSERT_EQ(StartProgrammerManager(true), RESULT_SUCCESS);
    ASSERT_EQ(WaitForSingleObject(c->entered, 10000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(d->entered, 10000), WAIT_OBJECT_0);

    for (wchar_t letter : {L'A', L'B', L'C', L'D'}) {
        SCOPED_TRACE(letter);
        EXPECT_FALSE(Removable(letter));
    }
    EXPECT_TRUE(Removable(L'E'));
    std::unique_ptr<CDevice> b(DeviceQueue().CloneDevice(HubPath(L'B').c_str()));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->programmingUseCount, 2);

    // C ends: B and A are still in use for D.
    SetEvent(c->gate);
    const ULONGLONG end = GetTickCount64() + 10000;
    while (EventsOf(Events(), HubPath(L'C')).size() < 4 && GetTickCount64() < end) Sleep(1);
    ASSERT_EQ(EventsOf(Events(), HubPath(L'C')).size(), 4u);
    EXPECT_FALSE(Removable(L'A'));
    EXPECT_FALSE(Removable(L'B'));
    EXPECT_TRUE(Removable(L'C'));

    SetEvent(d->gate);
    ASSERT_TRUE(WaitForRunEnd());
    std::vector<std::wstring> released;
    for (const Event& e : Events()) {
        if (e.code == EVENT_HUB_RELEASED) released.push_back(e.path);
    }
    const std::vector<std::wstring> expected = {HubPath(L'C'), HubPath(L'A'), HubPath(L'B'),
                                                HubPath(L'D')};
    EXPECT_EQ(released, expected);
    for (const wchar_t* letter = kHubLetters; *letter; ++letter) {
        SCOPED_TRACE(*letter);
        EXPECT_TRUE(Removable(*letter));
    }
}

TEST_F(Manager, HubsBelowRebootingOrUnqueuedHubsAreNotScheduled) {
    struct Case {
        const char* name;
        const wchar_t* queued;  // hubs in the queue, C always ready
        wchar_t rebooting;      // hub with a reboot pending, or 0
        uint32_t blockSize;     // C's configuration block
        bool scheduled;
        bool staleIndices = false;  // C's stored node indices name hub E's node
    };
    const Case cases[] = {
        {"chain queued", L"ABC", 0, 16, true},
        {"parent not queued", L"AC", 0, 16, false},
        {"no hub above queued", L"C", 0, 16, false},
        {"parent rebooting", L"ABC", L'B', 16, false},
        {"two levels up rebooting", L"ABC", L'A', 16, false},
        {"itself rebooting", L"ABC", L'C', 16, false},
        {"nothing to write", L"ABC", 0, 0, false},
        {"other branch rebooting", L"ABCE", L'E', 16, true},
        {"parent not queued, stale indices", L"AC", 0, 16, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        for (const wchar_t* letter = c.queued; *letter; ++letter) {
            auto script = Queue(*letter, *letter == L'C', VALIDATION_NONE, *letter == c.rebooting);
            if (*letter == L'C') script->configBlockSize = c.blockSize;
        }
        if (c.staleIndices) {
            int32_t controller = -1, node = -1;
            ASSERT_TRUE(LiveTree()->FindNodeIndices(HubPath(L'E').c_str(), &controller, &node));
            const std::wstring path = HubPath(L'C');
            DeviceQueue().AddDevice(path.c_str(), static_cast<uint32_t>(path.size() * 2),
                                    controller, node);
        }
        ASSERT_TRUE(Run(true));
        const Pairs scheduled = {{4, 0}, {4, 1}, {4, 2}, {7, 0}};
        const Pairs skipped = {{4, 0}, {4, 3}, {7, 0}};
        EXPECT_EQ(ManagerEvents(Events()), c.scheduled ? scheduled : skipped);
        EXPECT_EQ(DeviceQueue().GetProgrammingRequired(HubPath(L'C').c_str()), !c.scheduled);
    }
}

TEST_F(Manager, StopRightAfterStartIsNotLost) {
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        SetUp();
        Queue(L'A');  // keeps a continuous run busy for a batch
        ASSERT_EQ(StartProgrammerManager(false), RESULT_SUCCESS);
        EXPECT_EQ(StopProgrammerManager(), RESULT_SUCCESS);
        const bool ended = WaitForRunEnd();
        if (!ended) StopProgrammerManager();
        ASSERT_TRUE(ended) << "the stop request was lost";
        EXPECT_EQ(ManagerEvents(Events()).back(), std::make_pair(7, 1));
    }
}

// More ready hubs than one batch holds: the rest run in the next batch, in a
// single run as well.
TEST_F(Manager, HubsBeyondAFullBatchRunInTheNext) {
    const std::vector<std::wstring> hubs = BatchHubPaths();
    ASSERT_GT(hubs.size(), 127u);
    for (bool executeOnce : {true, false}) {
        SCOPED_TRACE(executeOnce ? "execute once" : "continuous");
        SetUp();
        for (const std::wstring& hub : hubs) Queue(hub);
        ASSERT_EQ(StartProgrammerManager(executeOnce), RESULT_SUCCESS);
        ASSERT_TRUE(WaitForEvents(EVENT_DEVICE_FINISHED, hubs.size()));
        if (!executeOnce) {
            Sleep(20);  // nothing is left: the run waits for ready hubs
            EXPECT_EQ(WaitForSingleObject(g_runEnded, 0), static_cast<DWORD>(WAIT_TIMEOUT));
            StopProgrammerManager();
        }
        ASSERT_TRUE(WaitForRunEnd());

        const std::vector<Event> events = Events();
        const Pairs once = {{4, 0}, {4, 1}, {4, 0}, {4, 1}, {4, 2}, {7, 0}};
        const Pairs continuous = {{4, 0}, {4, 1}, {4, 0}, {4, 1}, {4, 0}, {4, 2}, {7, 1}};
        EXPECT_EQ(ManagerEvents(events), executeOnce ? once : continuous);
        for (const std::wstring& hub : hubs) {
            const Pairs mine = EventsOf(events, hub);
            ASSERT_FALSE(mine.empty());
            EXPECT_EQ(mine.back(), std::make_pair(5, 0));
            EXPECT_FALSE(DeviceQueue().GetProgrammingRequired(hub.c_str()));
        }
        EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                [](const Event& e) { return e.code == EVENT_DEVICE_FINISHED; }),
                  static_cast<std::ptrdiff_t>(hubs.size()));
    }
}

// The tree and the queue change while hub C is programmed: the run releases
// exactly the queued objects it counted at its start, no count goes below 0,
// and a hub queued again meanwhile keeps its count and settings.
TEST_F(Manager, MidRunChangesReleaseExactlyWhatTheRunCounted) {
    enum class Change { Dequeued, QueuedAgain, BoardUnplugged, ParentQueuedAgain, TopQueuedLate };
    const struct {
        const char* name;
        Change change;
        const wchar_t* queued;    // at the start; C is the one programmed
        const wchar_t* released;  // event 6, in order
    } cases[] = {
        {"hub taken out of the queue", Change::Dequeued, L"ABC", L"AB"},
        {"hub queued again as a new hub", Change::QueuedAgain, L"ABC", L"AB"},
        {"its board unplugged", Change::BoardUnplugged, L"ABC", L"AC"},
        {"parent removed and queued again", Change::ParentQueuedAgain, L"ABC", L"AC"},
        {"hub two levels up queued during the run", Change::TopQueuedLate, L"BC", L"BC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        std::shared_ptr<Script> script;
        for (const wchar_t* letter = c.queued; *letter; ++letter) {
            auto queued = Queue(*letter, *letter == L'C');
            if (*letter == L'C') script = queued;
        }
        script->Hold();
        ASSERT_EQ(StartProgrammerManager(true), RESULT_SUCCESS);
        ASSERT_EQ(WaitForSingleObject(script->entered, 10000), WAIT_OBJECT_0);
        EXPECT_FALSE(Removable(L'B'));

        switch (c.change) {
            case Change::Dequeued:
                EXPECT_EQ(DeviceQueue().RemoveDevice(HubPath(L'C').c_str()), RESULT_SUCCESS);
                break;
            case Change::QueuedAgain:
                EXPECT_EQ(DeviceQueue().RemoveDevice(HubPath(L'C').c_str()), RESULT_SUCCESS);
                Queue(L'C');  // prepared again for the next run
                break;
            case Change::BoardUnplugged:
                // B goes first; C is still queued but no longer in the tree.
                ASSERT_TRUE(UnplugBoard(kBoardBPosition));
                DeviceQueue().RemoveDevice(HubPath(L'B').c_str());
                LiveTree()->Refresh();
                break;
            case Change::ParentQueuedAgain:
                EXPECT_EQ(DeviceQueue().RemoveDevice(HubPath(L'B').c_str()), RESULT_SUCCESS);
                Queue(L'B', false);
                break;
            case Change::TopQueuedLate:
                Queue(L'A', false);
                break;
        }
        SetEvent(script->gate);
        ASSERT_TRUE(WaitForRunEnd());

        for (wchar_t letter : {L'A', L'B', L'C'}) {
            SCOPED_TRACE(letter);
            EXPECT_TRUE(Removable(letter));
            std::unique_ptr<CDevice> hub(DeviceQueue().CloneDevice(HubPath(letter).c_str()));
            if (hub) {
                EXPECT_EQ(hub->programmingUseCount, 0);
            }
        }
        std::vector<std::wstring> released, expected;
        for (const Event& e : Events()) {
            if (e.code == EVENT_HUB_RELEASED) released.push_back(e.path);
        }
        for (const wchar_t* letter = c.released; *letter; ++letter) {
            expected.push_back(HubPath(*letter));
        }
        EXPECT_EQ(released, expected);
        if (c.change == Change::QueuedAgain) {
            std::unique_ptr<CDevice> again(DeviceQueue().CloneDevice(HubPath(L'C').c_str()));
            ASSERT_TRUE(again);
            EXPECT_TRUE(again->IsProgrammingRequired());
            EXPECT_EQ(again->GetStorageMode(), static_cast<uint32_t>(STORAGE_OTP));
        }
        if (c.change == Change::BoardUnplugged) {
            ASSERT_TRUE(PlugBoard(kBoardBPosition, kBoardB));
            LiveTree()->Refresh();
        }
    }
}

// A start made on receiving event 7, from inside the callback or right after
// it, begins a new run.
TEST_F(Manager, StartOnTheLastEventOfARunIsTaken) {
    for (bool fromCallback : {true, false}) {
        SCOPED_TRACE(fromCallback ? "inside the callback" : "right after it");
        SetUp();
        InterlockedExchange(&g_startsOnFinish, fromCallback ? 1 : 0);
        InterlockedExchange(&g_startOnFinishResult, 99);
        ASSERT_EQ(StartProgrammerManager(true), RESULT_SUCCESS);
        int32_t result = 99;
        if (fromCallback) {
            ASSERT_TRUE(WaitForEvents(EVENT_MANAGER_FINISHED, 2));
            result = g_startOnFinishResult;
        } else {
            ASSERT_EQ(WaitForSingleObject(g_runEnded, 10000), WAIT_OBJECT_0);
            result = StartProgrammerManager(true);
            ASSERT_TRUE(WaitForEvents(EVENT_MANAGER_FINISHED, 2));
        }
        EXPECT_EQ(result, RESULT_SUCCESS);
        EXPECT_TRUE(WaitUntilManagerEnds());
        const Pairs twoRuns = {{4, 0}, {4, 3}, {7, 0}, {4, 0}, {4, 3}, {7, 0}};
        EXPECT_EQ(ManagerEvents(Events()), twoRuns);
    }
}

// The live tree is deleted and made again while runs use it: every run
// programs its hubs and leaves them free.
TEST_F(Manager, LiveTreeDeletedWhileRunsUseIt) {
    Churn state;
    HANDLE thread = CreateThread(nullptr, 0, DeleteAndRemakeLiveTree, &state, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        SetUp();
        for (const wchar_t* letter = kHubLetters; *letter; ++letter) {
            Queue(*letter, *letter == L'C' || *letter == L'D' || *letter == L'E');
        }
        ASSERT_TRUE(Run(true));
        for (const wchar_t* letter = kHubLetters; *letter; ++letter) {
            SCOPED_TRACE(*letter);
            EXPECT_TRUE(Removable(*letter));
            EXPECT_FALSE(DeviceQueue().GetProgrammingRequired(HubPath(*letter).c_str()));
        }
    }
    InterlockedExchange(&state.stop, 1);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_GT(state.rounds, 0);
}

namespace {

// Timer resolution requests as the manager makes them.
volatile LONG g_timerBegins = 0;
volatile LONG g_timerEnds = 0;
volatile LONG g_timerPeriods = 0;  // sum of the periods asked for and given back
volatile LONG g_timerRefused = 0;  // the next requests fail
UINT WINAPI RecordTimerBegin(UINT periodMs) {
    InterlockedIncrement(&g_timerBegins);
    if (g_timerRefused) return TIMERR_NOCANDO;
    InterlockedExchangeAdd(&g_timerPeriods, static_cast<LONG>(periodMs));
    return TIMERR_NOERROR;
}
UINT WINAPI RecordTimerEnd(UINT periodMs) {
    InterlockedIncrement(&g_timerEnds);
    InterlockedExchangeAdd(&g_timerPeriods, -static_cast<LONG>(periodMs));
    return TIMERR_NOERROR;
}

}  // namespace

// 1 ms ticks from the start of a run until its passes are over, however it
// ends; a refused request is not given back.
TEST_F(Manager, TimerResolutionIsFineWhileARunIsActive) {
    SetTimerPeriodFunctions(RecordTimerBegin, RecordTimerEnd);
    InterlockedExchange(&g_timerRefused, 0);
    ASSERT_TRUE(Run(true));  // nothing to program
    EXPECT_EQ(g_timerBegins, 1);
    EXPECT_EQ(g_timerEnds, 1);

    const std::shared_ptr<Script> held = Queue(L'A');
    held->Hold();
    ResetEvent(g_runEnded);
    ASSERT_EQ(StartProgrammerManager(true), RESULT_SUCCESS);
    ASSERT_EQ(WaitForSingleObject(held->entered, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(g_timerBegins, 2);
    EXPECT_EQ(g_timerEnds, 1) << "still fine while the batch runs";
    EXPECT_EQ(g_timerPeriods, 1) << "1 ms asked for";
    SetEvent(held->gate);
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ(g_timerEnds, 2) << "given back by the run's last event";

    Queue(L'E');  // a stop ends this continuous run
    ResetEvent(g_runEnded);
    ASSERT_EQ(StartProgrammerManager(false), RESULT_SUCCESS);
    StopProgrammerManager();
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ(g_timerEnds, 3);

    InterlockedExchange(&g_timerRefused, 1);
    ResetEvent(g_runEnded);
    ASSERT_TRUE(Run(true));
    EXPECT_EQ(g_timerBegins, 4);
    EXPECT_EQ(g_timerEnds, 3) << "nothing to give back";
    EXPECT_EQ(g_timerPeriods, 0);
    SetTimerPeriodFunctions(nullptr, nullptr);
}

namespace {

// Reads every hub's state through the queue until told to stop.
struct QueueReader {
    std::vector<std::wstring> paths;
    volatile LONG stop = 0;
    volatile LONG rounds = 0;
};

DWORD WINAPI ReadQueueUntilStopped(LPVOID parameter) {
    auto* self = static_cast<QueueReader*>(parameter);
    while (!self->stop) {
        for (const std::wstring& path : self->paths) {
            DeviceQueue().GetHubStatus(path.c_str());
            DeviceQueue().CanDeviceBeRemoved(path.c_str());
        }
        InterlockedIncrement(&self->rounds);
    }
    return 0;
}

}  // namespace

// A full batch's threads start after the scheduling pass has let the queue
// go, while another thread keeps using the queue: every hub runs once, its
// events in order, and nothing waits for ever.
TEST_F(Manager, FullBatchStartsOutsideTheQueueLockWithEventsInOrder) {
    std::vector<std::wstring> hubs = BatchHubPaths();
    hubs.resize(127);
    for (const std::wstring& hub : hubs) Queue(hub);
    QueueReader reader;
    reader.paths = hubs;
    HANDLE thread = CreateThread(nullptr, 0, ReadQueueUntilStopped, &reader, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const bool ended = Run(true);
    InterlockedExchange(&reader.stop, 1);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    ASSERT_TRUE(ended);
    EXPECT_GT(reader.rounds, 0);

    const std::vector<Event> events = Events();
    const Pairs manager = {{4, 0}, {4, 1}, {4, 2}, {7, 0}};
    EXPECT_EQ(ManagerEvents(events), manager);
    const Pairs each = {
        {1, HUB_STATUS_PROGRAMMING}, {6, 0}, {1, HUB_STATUS_PROGRAMMED}, {5, RESULT_SUCCESS}};
    for (const std::wstring& hub : hubs) {
        SCOPED_TRACE(std::string(hub.begin(), hub.end()));
        EXPECT_EQ(EventsOf(events, hub), each);
        EXPECT_TRUE(DeviceQueue().CanDeviceBeRemoved(hub.c_str()));
    }
}
