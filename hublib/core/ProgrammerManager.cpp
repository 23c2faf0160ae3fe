#include "ProgrammerManager.h"

#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

#include "DeviceQueue.h"
#include "HalvexZRVLib.h"
#include "LibraryState.h"
#include "Logger.h"
#include "Notifications.h"
#include "ProgrammerManagerTimer.h"
#include "ProgrammingThread.h"
#include "TreeState.h"
#include "Win32Handles.h"

namespace {

// How long StartProgrammerManager waits for the new thread's message queue.
constexpr DWORD kManagerQueueWaitMs = 5000;
constexpr int kMaxProgrammingThreads = 127;
// A state no state has: the first pass always reports the state.
constexpr int32_t kNoState = 4;

struct ThreadEntry {
    HANDLE handle;
    DWORD id;
    wchar_t path[kDevicePathLength];
};

// Guards the manager thread's handle and id only.
CCriticalSection g_managerLock;
HANDLE g_managerThread = nullptr;
DWORD g_managerThreadId = 0;
// Set by a new manager thread once it has its message queue: a stop posted
// before that would be lost.
CSystemHandle g_managerQueueReady(CreateEventW(nullptr, FALSE, FALSE, nullptr));

// Written by the manager thread; the run result also by StopProgrammerManager.
volatile LONG g_ProgrammerManagerStatus = PROGRAMMGR_READY;
volatile LONG g_runResult = 0;

// The current batch; touched by the manager thread only (StartDeviceThread
// runs on it, inside the queue's scheduling pass).
ThreadEntry g_threads[kMaxProgrammingThreads];
int g_threadCount = 0;
// Copies taken in the scheduling pass, under the queue's lock; their threads
// are started once the lock is let go, so a new thread never waits for the
// pass (its first step takes that lock) and creating threads, slow on a busy
// machine, holds up nobody else.
std::vector<std::unique_ptr<ProgrammingJob>> g_pendingJobs;
// A ready hub found the table full; it waits for the next batch.
bool g_hubsLeftForNextBatch = false;

void SetState(int32_t state) {
    InterlockedExchange(&g_ProgrammerManagerStatus, state);
}
int32_t State() {
    return InterlockedCompareExchange(&g_ProgrammerManagerStatus, 0, 0);
}
void SetRunResult(int32_t result) {
    InterlockedExchange(&g_runResult, result);
}
int32_t RunResult() {
    return InterlockedCompareExchange(&g_runResult, 0, 0);
}

void EmptyThreadTable() {
    for (int i = 0; i < g_threadCount; ++i) {
        if (g_threads[i].handle != nullptr) CloseHandle(g_threads[i].handle);
    }
    for (ThreadEntry& entry : g_threads) {
        entry.handle = nullptr;
        entry.id = 0;
        entry.path[0] = L'\0';
    }
    g_threadCount = 0;
    g_hubsLeftForNextBatch = false;
}

// Caller holds the manager lock.
bool ManagerAliveLocked() {
    return g_managerThread != nullptr && WaitForSingleObject(g_managerThread, 0) == WAIT_TIMEOUT;
}

// Closes the record of the manager thread with this id, if it is the one recorded.
void ForgetManager(DWORD threadId) {
    CCriticalSectionGuard hold(g_managerLock);
    if (g_managerThread != nullptr && g_managerThreadId == threadId) {
        CloseHandle(g_managerThread);
        g_managerThread = nullptr;
        g_managerThreadId = 0;
    }
}

// Caller holds the manager lock: closes the record of a thread that has ended.
void ForgetEndedManagerLocked() {
    if (g_managerThread != nullptr && !ManagerAliveLocked()) {
        CloseHandle(g_managerThread);
        g_managerThread = nullptr;
        g_managerThreadId = 0;
    }
}

bool IsFailureStatus(int32_t status) {
    switch (status) {
        case HUB_STATUS_OPEN_FAILED:
        case HUB_STATUS_PROGRAM_FAILED:
        case HUB_STATUS_VERIFY_FAILED:
        case HUB_STATUS_PROGRAM_VERIFY_FAILED:
        case HUB_STATUS_INSUFFICIENT_SPACE:
            return true;
        default:
            return false;
    }
}

const ThreadEntry* EntryOf(DWORD threadId) {
    for (int i = 0; i < g_threadCount; ++i) {
        if (g_threads[i].id == threadId) return &g_threads[i];
    }
    return nullptr;
}

void OnDeviceFinished(DWORD threadId, int32_t result, int& finishedCount) {
    for (int i = 0; i < g_threadCount; ++i) {
        if (g_threads[i].id != threadId) continue;
        ++finishedCount;
        RaiseDeviceEvent(EVENT_DEVICE_FINISHED, g_threads[i].path, result);
    }
}

// The status is stored and judged whether or not anybody listens: the
// queue's answer and the end of a failed run do not depend on the callback.
void OnHubStatus(DWORD threadId, int32_t status) {
    const ThreadEntry* entry = EntryOf(threadId);
    if (entry == nullptr) return;
    DeviceQueue().SetHubStatus(entry->path, status);
    RaiseDeviceEvent(EVENT_HUB_STATUS, entry->path, status);
    if (IsFailureStatus(status)) SetRunResult(-1);
}

void OnHubReleased(WPARAM buffer, LPARAM capacity) {
    auto* path = reinterpret_cast<wchar_t*>(buffer);
    if (path != nullptr && capacity > 0 && HasNotificationCallback()) {
        wchar_t copy[kDevicePathLength] = {};
        const size_t limit =
            capacity < kDevicePathLength ? static_cast<size_t>(capacity) : kDevicePathLength;
        wcsncpy(copy, path, limit - 1);
        RaiseDeviceEvent(EVENT_HUB_RELEASED, copy, 0);
    }
    if (path != nullptr) HeapFree(GetProcessHeap(), 0, path);
}

void HandleMessage(const MSG& msg, int& finishedCount, bool& quit) {
    switch (msg.message) {
        case kMsgDeviceFinished:
            OnDeviceFinished(static_cast<DWORD>(msg.wParam), static_cast<int32_t>(msg.lParam),
                             finishedCount);
            break;
        case kMsgHubStatus:
            OnHubStatus(static_cast<DWORD>(msg.wParam), static_cast<int32_t>(msg.lParam));
            break;
        case kMsgHubReleased:
            OnHubReleased(msg.wParam, msg.lParam);
            break;
        case WM_QUIT:
            SetRunResult(1);
            quit = true;
            break;
        default:
            break;
    }
}

// Starts a thread for every copy the scheduling pass took, in its order.
void StartPendingThreads() {
    for (std::unique_ptr<ProgrammingJob>& job : g_pendingJobs) {
        ThreadEntry& entry = g_threads[g_threadCount];
        wmemcpy(entry.path, job->device->GetDeviceInstanceID(), kDevicePathLength);
        DWORD id = 0;
        HANDLE thread = StartLibraryThread(ProgramDeviceThread, job.get(), &id);
        if (thread == nullptr) continue;  // the hub waits for the next batch
        job.release();                    // the thread owns it now
        entry.handle = thread;
        entry.id = id;
        ++g_threadCount;
    }
    g_pendingJobs.clear();
}

int32_t ReadQueue(bool quit) {
    CLogger log(L"ReadQueue");
    const int32_t runResult = RunResult();
    if ((runResult == 0 || runResult == 1) && !quit) {
        CDeviceQueue& queue = DeviceQueue();
        int32_t count = 0;
        {
            CDeviceQueueLock hold(queue);
            count = queue.IterateDevices(LiveTree(), StartDeviceThread);
        }
        StartPendingThreads();
        if (count > 0) {
            log.Write(2, L"Created %d threads", count);
            log.Write(2, L"Programmer Manager status changed to PROGRAMMGR_STARTED_PROGRAMMING");
            SetState(PROGRAMMGR_STARTED_PROGRAMMING);
        }
        return count;
    }
    SetState(PROGRAMMGR_FINISHED);
    return -1;
}

void ProgramAndValidateDevices(int finishedCount, bool quit, bool executeOnce) {
    CLogger log(L"ProgramAndValidateDevices");
    if (finishedCount != g_threadCount) return;  // the batch is still running
    log.Write(2, L"FinishedThreadCount is %d", finishedCount);
    log.Write(2, L"ThreadCount is %d", g_threadCount);
    log.Write(2, quit ? L"StopThread is true" : L"StopThread is false");
    // A single run still takes the hubs that did not fit into this batch.
    const bool finished = quit || (executeOnce && !g_hubsLeftForNextBatch);
    const int32_t state = finished ? PROGRAMMGR_FINISHED : PROGRAMMGR_READY;
    SetState(state);
    EmptyThreadTable();
    log.Write(2, L"g_ProgrammerManagerStatus is set to %d", state);
}

// The passes of one run; returns the state it ends in (2 or 3).
int32_t RunPasses(bool executeOnce) {
    MSG msg;
    bool firstRead = true;
    int32_t lastState = kNoState;
    int32_t finalState = kNoState;
    bool quit = false;
    int finishedCount = 0;
    for (;;) {
        const int32_t state = State();
        if (state != lastState) RaiseValueEvent(EVENT_MANAGER_STATE, state);
        // Reported before the pass's message, so a batch's start comes before
        // the first status of its hubs; the state reported is the one
        // remembered, so a change made below is reported at the next pass.
        lastState = state;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) HandleMessage(msg, finishedCount, quit);

        switch (state) {
            case PROGRAMMGR_READY:
                finishedCount = 0;
                if (ReadQueue(quit) == 0) {
                    // A single run is back here only for hubs left over by a
                    // full batch; when they are gone meanwhile it is done.
                    if (firstRead) {
                        SetState(PROGRAMMGR_NOTHING_TO_PROGRAM);
                    } else if (executeOnce) {
                        SetState(PROGRAMMGR_FINISHED);
                    }
                }
                firstRead = false;
                break;
            case PROGRAMMGR_STARTED_PROGRAMMING:
                ProgramAndValidateDevices(finishedCount, quit, executeOnce);
                break;
            case PROGRAMMGR_FINISHED:
                printf("Programmer Manager Thread is going to exit\n");
                fflush(stdout);
                finishedCount = 0;
                break;
            default:
                printf(
                    "Invalid state of Programmer Manager Thread. Resetting it to "
                    "PROGRAMMGR_READY\n");
                fflush(stdout);
                SetState(PROGRAMMGR_READY);
                break;
        }
        finalState = State();
        if (finalState == PROGRAMMGR_FINISHED || finalState == PROGRAMMGR_NOTHING_TO_PROGRAM) break;
        Sleep(1);
    }
    return finalState;
}

DWORD WINAPI ProgrammerManagerThread(LPVOID parameter) {
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (g_managerQueueReady.Valid()) SetEvent(g_managerQueueReady.Get());
    const bool executeOnce = *static_cast<const bool*>(parameter);
    SetRunResult(0);
    int32_t finalState = kNoState;
    {
        // The pause between passes lasts 1 ms, not a default timer tick.
        const CFineTimerResolution fineTimer;
        finalState = RunPasses(executeOnce);
    }  // back to the system's resolution before the run's last events

    RaiseValueEvent(EVENT_MANAGER_STATE, finalState);
    const int32_t runResult = RunResult();
    // Forgotten before the last event, so a start made on receiving it is
    // taken. This thread touches no shared state from here on, and its own
    // hold on the module keeps the code it still runs in place.
    ForgetManager(GetCurrentThreadId());
    RaiseValueEvent(EVENT_MANAGER_FINISHED, runResult);
    HeapFree(GetProcessHeap(), 0, parameter);
    return 0;
}

}  // namespace

bool StartDeviceThread(CDevice& device) {
    if (g_threadCount + static_cast<int>(g_pendingJobs.size()) >= kMaxProgrammingThreads) {
        g_hubsLeftForNextBatch = true;  // its settings stay, so it is ready again then
        return false;
    }
    auto job = std::make_unique<ProgrammingJob>();
    job->device.reset(device.Clone());
    if (!job->device) return false;
    job->managerThreadId = GetCurrentThreadId();
    g_pendingJobs.push_back(std::move(job));
    return true;
}

void NotifyHubReleased(const wchar_t* path) {
    if (path == nullptr) return;
    CCriticalSectionGuard hold(g_managerLock);
    if (ManagerAliveLocked()) {
        auto* buffer = static_cast<wchar_t*>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kDevicePathLength * sizeof(wchar_t) + 2));
        if (buffer != nullptr) {
            wcsncpy(buffer, path, kDevicePathLength - 1);
            if (!PostThreadMessageW(g_managerThreadId, kMsgHubReleased,
                                    reinterpret_cast<WPARAM>(buffer), kDevicePathLength)) {
                HeapFree(GetProcessHeap(), 0, buffer);
            }
        }
    }
}

namespace {
// Starts a manager thread unless one runs; the manager lock is held.
int32_t StartManagerLocked(bool executeOnce) {
    ForgetEndedManagerLocked();
    // One manager at a time: a second one would share the batch table and
    // leave the first beyond reach of stop.
    if (g_managerThread != nullptr) return RESULT_FAILURE;
    SetState(PROGRAMMGR_READY);
    EmptyThreadTable();
    auto* flag = static_cast<bool*>(HeapAlloc(GetProcessHeap(), 0, sizeof(bool)));
    if (flag == nullptr) return RESULT_FAILURE;
    *flag = executeOnce;
    if (g_managerQueueReady.Valid()) ResetEvent(g_managerQueueReady.Get());
    DWORD id = 0;
    HANDLE thread = StartLibraryThread(ProgrammerManagerThread, flag, &id);
    if (thread == nullptr) {
        HeapFree(GetProcessHeap(), 0, flag);
        return RESULT_FAILURE;
    }
    g_managerThread = thread;
    g_managerThreadId = id;
    // Back only once the thread can take a stop request.
    if (g_managerQueueReady.Valid()) {
        const HANDLE waits[] = {g_managerQueueReady.Get(), thread};
        WaitForMultipleObjects(2, waits, FALSE, kManagerQueueWaitMs);
    }
    return RESULT_SUCCESS;
}
}  // namespace

int32_t __cdecl StartProgrammerManager(bool executeOnce) {
    int32_t result = RESULT_FAILURE;
    {
        CCriticalSectionGuard hold(g_managerLock);
        result = StartManagerLocked(executeOnce);
    }
    if (result != RESULT_SUCCESS) {
        printf("Programmer Thread not started\n");
        fflush(stdout);
    }
    return result;
}

int32_t __cdecl StopProgrammerManager() {
    CCriticalSectionGuard hold(g_managerLock);
    if (ManagerAliveLocked()) {
        SetRunResult(1);
        PostThreadMessageW(g_managerThreadId, WM_QUIT, 0, 0);
    } else {
        ForgetEndedManagerLocked();
    }
    return RESULT_SUCCESS;
}

bool __cdecl IsProgrammerManagerRunning() {
    CCriticalSectionGuard hold(g_managerLock);
    const bool running = ManagerAliveLocked();
    if (!running) ForgetEndedManagerLocked();
    return running;
}
