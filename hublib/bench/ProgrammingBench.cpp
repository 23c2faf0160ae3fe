// Programming throughput: one batch of N simulated hubs of one family, OTP
// mode with verify, for N = 1, 8, 32, 64 and 127, against the time the
// device itself needs for one hub.
//
// Each case runs in a process of its own (started from this program with
// "--case <family> <hubs>"): the hubs are put into the library's queue as the
// registry leaves them, with a configuration block each, then a few batches
// run and the fastest counts (the machine may be busy with other work). The
// wall time runs from StartProgrammerManager to the run's last event. The
// device time of one hub is what the simulator charged the batch (chip
// latency and the pauses made through the hardware seam) divided by N: every
// hub does the same work.
//
// The manager handles one message per pass and pauses 1 ms between passes,
// so a batch lasts at least one pass per message, and at least the device
// time plus one pass per message posted when a hub's work has ended (its
// final status, its release, its result): the polling floor. What the batch
// takes beyond that is ours or the platform's; creating the batch's threads,
// one after another, is shown beside it.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BenchProcess.h"
#include "DeviceQueue.h"
#include "HalvexZRVLib.h"
#include "MiravelDevice.h"
#include "ProgrammerManagerTimer.h"
#include "ProgrammingFixture.h"
#include "TorvikDevice.h"
#include "TreeState.h"
#include "UsbSimApi.h"

// The library's trace log, written as a run writes it.
extern const wchar_t kTraceLogFileName[] = L"ProgrammingBenchLog.txt";

namespace {

constexpr int kHubCounts[] = {1, 8, 32, 64, 127};
constexpr DWORD kRunTimeoutMs = 600000;
constexpr int kPassSamples = 200;
constexpr int kThreadSamples = 32;
// Batches per case: the machine may be busy with other work, so the fastest
// run is the one that shows our own costs.
constexpr int kRuns = 3;

// What the run reported, counted on the manager's thread.
struct RunEvents {
    volatile LONG startStatuses = 0;  // event 1 with a status a run starts with
    volatile LONG finalStatuses = 0;  // event 1 otherwise
    volatile LONG released = 0;       // event 6
    volatile LONG finished = 0;       // event 5
    volatile LONG succeeded = 0;      // event 5 with result 0
    volatile LONG runResult = -99;    // event 7
    double endMs = 0;
    CBenchClock* clock = nullptr;
    HANDLE done = nullptr;
};
RunEvents g_events;

bool IsStartStatus(int32_t status) {
    return status == HUB_STATUS_PROGRAMMING || status == HUB_STATUS_PROGRAMMING_VERIFYING ||
           status == HUB_STATUS_VERIFYING;
}

bool __cdecl OnEvent(uintptr_t data, int32_t event) {
    if (event == EVENT_MANAGER_FINISHED) {
        g_events.endMs = g_events.clock->Elapsed().wallMs;
        InterlockedExchange(&g_events.runResult, static_cast<LONG>(static_cast<intptr_t>(data)));
        SetEvent(g_events.done);
        return true;
    }
    if (event != EVENT_HUB_STATUS && event != EVENT_DEVICE_FINISHED &&
        event != EVENT_HUB_RELEASED) {
        return true;
    }
    auto* record = reinterpret_cast<NotificationRecord*>(data);
    if (event == EVENT_HUB_STATUS) {
        InterlockedIncrement(IsStartStatus(record->Value) ? &g_events.startStatuses
                                                          : &g_events.finalStatuses);
    } else if (event == EVENT_HUB_RELEASED) {
        InterlockedIncrement(&g_events.released);
    } else {
        InterlockedIncrement(&g_events.finished);
        if (record->Value == RESULT_SUCCESS) InterlockedIncrement(&g_events.succeeded);
    }
    HeapFree(GetProcessHeap(), 0, record);
    return true;
}

std::unique_ptr<CDevice> QueuedHub(BenchFamily family, const std::wstring& path, int index) {
    const uint32_t length = static_cast<uint32_t>(path.size());
    std::unique_ptr<CDevice> device;
    if (family == BenchFamily::kFirst) {
        device = std::make_unique<CMiravelDevice>(path.c_str(), length, true);
        device->hubFamily = HUB_FAMILY_MIRAVEL;
    } else {
        device = std::make_unique<CTorvikDevice>(path.c_str(), length);
        device->hubFamily = HUB_FAMILY_TORVIK;
    }
    const std::vector<uint8_t> block = BenchConfigBlock(index);
    if (device->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size())) !=
            RESULT_SUCCESS ||
        !device->SetStorageMode(STORAGE_OTP) || !device->SetValidationMethod(VALIDATION_VERIFY) ||
        !device->SetProgrammingRequired(true)) {
        return nullptr;
    }
    return device;
}

// The manager's pass: its 1 ms pause at the resolution a run asks for.
double PassMs() {
    CFineTimerResolution fine;
    CBenchClock clock;
    for (int i = 0; i < kPassSamples; ++i) Sleep(1);
    return clock.Elapsed().wallMs / kPassSamples;
}

DWORD WINAPI WaitForRelease(LPVOID event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

// What creating one thread costs here, as the manager creates a batch's
// threads: one after another, each still running when the next is made.
double ThreadStartMs() {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<HANDLE> threads;
    CBenchClock clock;
    for (int i = 0; i < kThreadSamples; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, WaitForRelease, release, 0, nullptr);
        if (thread != nullptr) threads.push_back(thread);
    }
    const double ms = clock.Elapsed().wallMs / kThreadSamples;
    SetEvent(release);
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    CloseHandle(release);
    return ms;
}

UsbSimDeviceTime DeviceTimeNow() {
    UsbSimDeviceTime time = {};
    UsbSimGetDeviceTime(&time);
    return time;
}

const char* FamilyName(BenchFamily family) {
    return family == BenchFamily::kFirst ? "first" : "second";
}

struct BatchFigures {
    double wallMs = 0;
    double cpuMs = 0;     // the whole process
    double chipMs = 0;    // per hub
    double deviceMs = 0;  // per hub: chip time and pauses
    long messages = 0;
    long endMessages = 0;  // posted when a hub's programming has ended
};

// Marks every hub for programming with verify, as the tool does before a run.
bool ArmHubs(const ProgrammingLine& line) {
    CDeviceQueue& queue = DeviceQueue();
    for (const std::wstring& path : line.hubPaths) {
        if (queue.SetStorageMode(path.c_str(), STORAGE_OTP) != RESULT_SUCCESS ||
            !queue.SetValidationMethod(path.c_str(), VALIDATION_VERIFY) ||
            !queue.SetProgrammingRequired(path.c_str(), true)) {
            fprintf(stderr, "hub %ls refused its settings\n", path.c_str());
            return false;
        }
    }
    return true;
}

// One execute-once run over every hub of the line.
bool RunBatch(const ProgrammingLine& line, BatchFigures& figures) {
    const int hubs = static_cast<int>(line.hubPaths.size());
    if (!ArmHubs(line)) return false;
    CBenchClock clock;
    g_events = RunEvents();
    g_events.clock = &clock;
    g_events.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const UsbSimDeviceTime before = DeviceTimeNow();
    clock.Restart();
    if (StartProgrammerManager(true) != RESULT_SUCCESS) {
        fprintf(stderr, "the manager did not start\n");
        return false;
    }
    const DWORD waited = WaitForSingleObject(g_events.done, kRunTimeoutMs);
    CloseHandle(g_events.done);
    if (waited != WAIT_OBJECT_0) {
        fprintf(stderr, "the run did not end within %lu ms\n", kRunTimeoutMs);
        return false;
    }
    const UsbSimDeviceTime after = DeviceTimeNow();
    if (g_events.succeeded != hubs || g_events.runResult != 0) {
        fprintf(stderr, "%d hubs: %ld programmed, %ld succeeded, run result %ld\n", hubs,
                g_events.finished, g_events.succeeded, g_events.runResult);
        return false;
    }
    figures.wallMs = g_events.endMs;
    figures.cpuMs = clock.Elapsed().processCpuMs;
    figures.chipMs = (after.chipMs - before.chipMs) / hubs;
    figures.deviceMs = figures.chipMs + (after.pauseMs - before.pauseMs) / hubs;  // scale 1
    figures.endMessages = g_events.finalStatuses + g_events.released + g_events.finished;
    figures.messages = g_events.startStatuses + figures.endMessages;
    return true;
}

// One case in this process: the line queued once, then kRuns batches; prints
// the table row of the fastest, with the median wall time beside it.
int RunCase(BenchFamily family, int hubs) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
    const ProgrammingLine line = MakeProgrammingLine(family, hubs);
    if (UsbSimLoadJson(line.fixture.c_str(), nullptr) != USBSIM_OK) {
        wchar_t text[512] = {};
        UsbSimGetLastError(text, 512);
        fprintf(stderr, "fixture refused: %ls\n", text);
        return 1;
    }
    for (size_t i = 0; i < line.hubPaths.size(); ++i) {
        std::unique_ptr<CDevice> device =
            QueuedHub(family, line.hubPaths[i], static_cast<int>(i + 1));
        if (!device) {
            fprintf(stderr, "hub %ls refused its settings\n", line.hubPaths[i].c_str());
            return 1;
        }
        DeviceQueue().Append(std::move(device));
    }
    if (LiveTree() == nullptr) {
        fprintf(stderr, "no live tree\n");
        return 1;
    }
    RegisterNotificationCallback(OnEvent);

    std::vector<BatchFigures> runs(kRuns);
    for (BatchFigures& run : runs) {
        if (!RunBatch(line, run)) {
            fprintf(stderr, "%s family, %d hubs: the run failed\n", FamilyName(family), hubs);
            return 1;
        }
    }
    std::sort(runs.begin(), runs.end(),
              [](const BatchFigures& a, const BatchFigures& b) { return a.wallMs < b.wallMs; });
    const BatchFigures& best = runs.front();
    const double medianMs = runs[runs.size() / 2].wallMs;
    const double passMs = PassMs();
    const double threadMs = ThreadStartMs();
    // One pass per message and one to close the batch; the end messages come
    // after the device's work.
    const double leastMs =
        std::max(best.deviceMs + (best.endMessages + 1) * passMs, (best.messages + 1) * passMs);
    const double floorMs = leastMs - best.deviceMs;
    const double beyondMs = best.wallMs - leastMs;
    printf(
        "%-6s %4d %8.1f %8.1f %7.1f %7.1f %6.1f %6.3f %5ld %5ld %6.3f %7.1f %6.3f %8.1f %6.0f%% "
        "%6.2f %7.1f\n",
        FamilyName(family), hubs, best.wallMs, medianMs, best.cpuMs, best.deviceMs, best.chipMs,
        best.wallMs / best.deviceMs, best.messages, best.endMessages, passMs, floorMs,
        leastMs / best.deviceMs, beyondMs, 100.0 * beyondMs / floorMs, threadMs, threadMs * hubs);
    fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && wcscmp(argv[1], L"--case") == 0) {
        const BenchFamily family =
            wcscmp(argv[2], L"second") == 0 ? BenchFamily::kSecond : BenchFamily::kFirst;
        return RunCase(family, _wtoi(argv[3]));
    }
    if (argc != 1) {
        fprintf(stderr, "usage: programming_bench [--case first|second <hubs>]\n");
        return 2;
    }
    printf("One batch of N hubs programmed in OTP mode with verify on a simulated line\n");
    printf("(time scale 1, the default latency model; times in ms; best of %d runs)\n\n", kRuns);
    printf(
        "wall, median: the fastest and the median batch; cpu: the process's CPU time in the\n"
        "fastest; device, chip: one hub's device time and its chip latency part; ratio:\n"
        "wall / device; msgs, end: messages the manager handled, and those posted after a\n"
        "hub's work; pass: one pass (the 1 ms pause); floor: the least the passes add to\n"
        "the device time; least: (device + floor) / device; beyond: wall - device - floor;\n"
        "thread: creating one thread here; starts: N threads, created one after another.\n\n");
    printf("%-6s %4s %8s %8s %7s %7s %6s %6s %5s %5s %6s %7s %6s %8s %7s %6s %7s\n", "family", "N",
           "wall", "median", "cpu", "device", "chip", "ratio", "msgs", "end", "pass", "floor",
           "least", "beyond", "/floor", "thread", "starts");
    fflush(stdout);
    bool ok = true;
    for (const char* family : {"first", "second"}) {
        for (int hubs : kHubCounts) {
            ok = RunCaseProcess(L"--case " + std::wstring(family, family + strlen(family)) + L" " +
                                std::to_wstring(hubs)) &&
                 ok;
        }
    }
    return ok ? 0 : 1;
}
