#include "LineRun.h"

#include <cwctype>
#include <memory>

#include "ConsoleText.h"
#include "HubText.h"
#include "LibraryEvents.h"
#include "ProgramOptions.h"
#include "RecordFile.h"
#include "TextTable.h"

bool HubRun::Succeeded() const {
    return state == HubState::kDone && note.empty() && result == RESULT_SUCCESS &&
           IsSuccessStatus(status);
}

bool FailRun(const std::wstring& message) {
    PrintError(L"zrvcli: " + message + L"\n");
    return false;
}

namespace {
// Between two starts of a manager that found nothing ready.
constexpr ULONGLONG kRestartPauseMs = 500;
constexpr DWORD kPollMs = 100;
// The interface class in every hub's device path.
const wchar_t kHubInterfaceClass[] = L"{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
// A hub that asks for a reboot again after it came back is given up.
constexpr int kMaxReboots = 2;

volatile LONG g_stopRequested = 0;
CEventQueue* g_wakeQueue = nullptr;

// Ctrl+C asks the run to stop (the batch in progress completes); a second
// Ctrl+C ends the process the ordinary way.
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    if (InterlockedExchange(&g_stopRequested, 1) != 0) return FALSE;
    if (g_wakeQueue) g_wakeQueue->Wake();
    return TRUE;
}

// Set from another program (a line controller, a test) to stop a run as
// Ctrl+C does: the event named "zrvcli-stop-<process id>".
HANDLE g_stopEvent = nullptr;

bool StopRequested() {
    if (g_stopEvent && WaitForSingleObject(g_stopEvent, 0) == WAIT_OBJECT_0) {
        InterlockedExchange(&g_stopRequested, 1);
    }
    return InterlockedCompareExchange(&g_stopRequested, 0, 0) != 0;
}

std::wstring ManagerStateText(int32_t state) {
    switch (state) {
        case PROGRAMMGR_READY:
            return L"Programmer Ready";
        case PROGRAMMGR_STARTED_PROGRAMMING:
            return L"Started Programming";
        case PROGRAMMGR_FINISHED:
            return L"Finish Programming";
        case PROGRAMMGR_NOTHING_TO_PROGRAM:
            return L"No device available for operation";
        default:
            return L"Programmer Status Unknown";
    }
}

std::wstring RunResultText(int32_t result) {
    switch (result) {
        case 0:
            return L"normal end";
        case 1:
            return L"stopped on request";
        case -1:
            return L"a hub failed";
        default:
            return std::to_wstring(result);
    }
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

std::wstring Pad(const std::wstring& text, size_t width) {
    return text.size() >= width ? text + L" " : text + std::wstring(width - text.size(), L' ');
}

class CLineRun {
public:
    CLineRun(IRunPlan& plan, const LineRunSettings& settings) : plan_(plan), settings_(settings) {}

    int Run();

private:
    bool Fail(const std::wstring& message) { return FailRun(message); }
    bool LoadInputs();
    void WaitForFamilies();
    void Prepare(HubRun& run);
    void StartReboot(HubRun& run, const std::wstring& modeName);
    bool RebootedByDriver(const HubRun& run);
    void FailPreparation(HubRun& run, const std::wstring& note, int32_t code);
    HubRun* FindRun(const std::wstring& path);
    void Say(const std::wstring& position, const std::wstring& part, const std::wstring& text);
    void SayAbout(const std::wstring& path, const std::wstring& text);
    void Handle(const LibraryEvent& event);
    // After a batch of the manager: the plan's bookkeeping; a failure stops the run.
    void EndPass();
    void Rescan();
    void StartManager();
    void Finish(HubRun& run);
    void Record(const HubRun& run);
    void PrintTable();

    IRunPlan& plan_;
    LineRunSettings settings_;
    CRecordFile record_;
    bool recordFailed_ = false;
    // The plan could not finish a pass (its counters were not saved).
    bool passFailed_ = false;
    // Declared before the library, so it outlives the library's threads.
    CEventQueue events_;
    std::unique_ptr<CLibrary> library_;
    HubExports lib_;
    std::vector<LineHub> hubs_;                  // the last snapshot's hubs
    std::vector<std::unique_ptr<HubRun>> runs_;  // in the order they were taken up
    bool managerRunning_ = false;
    bool managerEverStarted_ = false;
    // Hubs were prepared since the manager last started.
    bool freshPreparation_ = false;
    // A hub arrived since the manager last started.
    bool arrivalSinceStart_ = false;
    // How long a run without a manager waits for hubs to come back.
    ULONGLONG waitUntil_ = 0;
    bool stopSent_ = false;
    ULONGLONG nextStart_ = 0;
};

bool CLineRun::LoadInputs() {
    if (!plan_.Load()) return false;
    std::wstring error;
    if (!settings_.recordFile.empty() && !record_.Open(settings_.recordFile, error)) {
        return Fail(error);
    }
    return true;
}

// Hubs other than the first family are told apart only once their fifth
// endpoint answers (or the library's wait for it ran out): wait for those
// that may be chosen, or until the settle time is over.
void CLineRun::WaitForFamilies() {
    const ULONGLONG deadline = GetTickCount64() + settings_.settleMs;
    bool told = false;
    while (!StopRequested()) {
        hubs_ = ReadLineHubs(lib_);
        size_t pending = 0;
        for (const LineHub& hub : hubs_) {
            if (hub.family == HUB_FAMILY_UNKNOWN && plan_.MayBeSelected(hub)) ++pending;
        }
        const ULONGLONG now = GetTickCount64();
        if (pending == 0 || now >= deadline) return;
        if (!told) {
            Print(L"waiting for " + std::to_wstring(pending) +
                  L" hub(s) whose family is not known yet\n");
            told = true;
        }
        LibraryEvent event;
        const ULONGLONG left = deadline - now;
        events_.Pop(event, static_cast<DWORD>(left < kPollMs ? left : kPollMs));
    }
}

void CLineRun::Say(const std::wstring& position, const std::wstring& part,
                   const std::wstring& text) {
    Print(Pad(position, 12) + Pad(part, 8) + L" " + text + L"\n");
}

// Names the hub by where the last snapshot shows it (a board may come back
// on another port), else by where the run found it.
void CLineRun::SayAbout(const std::wstring& path, const std::wstring& text) {
    if (const LineHub* hub = FindByPath(hubs_, path)) {
        Say(hub->position, hub->part, text);
    } else if (const HubRun* run = FindRun(path)) {
        Say(run->hub.position, run->hub.part, text);
    } else if (Lower(path).find(kHubInterfaceClass) != std::wstring::npos) {
        Say(L"?", PartName(path), text + L" (" + path + L")");
    }
    // Other interfaces (a hub's fifth-endpoint function) go unmentioned.
}

HubRun* CLineRun::FindRun(const std::wstring& path) {
    for (auto& run : runs_) {
        if (_wcsicmp(run->hub.path.c_str(), path.c_str()) == 0) return run.get();
    }
    return nullptr;
}

void CLineRun::FailPreparation(HubRun& run, const std::wstring& note, int32_t code) {
    run.note = note;
    run.result = code;
    run.state = HubState::kDone;
    Say(run.hub.position, run.hub.part, L"not programmed: " + note);
    Record(run);
}

// The hub left to reboot into the state its storage mode needs: the run waits for it to
// leave and come back as a new hub, then prepares it again.
void CLineRun::StartReboot(HubRun& run, const std::wstring& modeName) {
    if (++run.reboots > kMaxReboots) {
        return FailPreparation(run, L"the hub keeps rebooting for " + modeName,
                               RESULT_DEVICE_IO_FAILED);
    }
    run.state = HubState::kRebooting;
    run.leftForReboot = false;
    Say(run.hub.position, run.hub.part, L"rebooting for " + modeName);
}

// A second-family hub told to program its flash while it runs its firmware from there is
// sent into ROM by its driver. Asking for the storage mode again changes nothing on such a
// hub and answers 1 while its reboot is pending; a hub the library no longer holds has left
// at once, before its removal was handled.
bool CLineRun::RebootedByDriver(const HubRun& run) {
    if (run.hub.family != HUB_FAMILY_TORVIK || run.storageMode != STORAGE_SPI ||
        !run.programRequired) {
        return false;
    }
    const int32_t mode = lib_.SetStorageMode(run.hub.controller, run.hub.node, run.storageMode);
    return mode == 1 || mode == RESULT_DEVICE_NOT_FOUND;
}

// The tool's preparation of one hub: everything that needs no hub first
// (serial, block), then the settings in the tool's order.
void CLineRun::Prepare(HubRun& run) {
    const int32_t c = run.hub.controller;
    const int32_t n = run.hub.node;
    run.state = HubState::kPrepared;
    uint8_t uuid[16] = {};
    run.uuidResult = lib_.GetUUID(c, n, uuid, sizeof(uuid));
    run.uuidBytes.clear();
    if (run.uuidResult >= 0) {
        run.uuid = HexText(uuid, sizeof(uuid));
        run.uuidBytes.assign(uuid, uuid + sizeof(uuid));
    }

    Refusal refusal;
    if (!plan_.Plan(run, refusal)) return FailPreparation(run, refusal.note, refusal.code);

    const std::wstring modeName = StorageModeName(run.storageMode);
    const int32_t mode = lib_.SetStorageMode(c, n, run.storageMode);
    if (mode < 0) {
        return FailPreparation(
            run, L"the hub refused storage mode " + modeName + L" (" + ResultName(mode) + L")",
            mode);
    }
    if (mode == 1) return StartReboot(run, modeName);
    lib_.SetValidationMethod(c, n, run.verify ? VALIDATION_VERIFY : VALIDATION_NONE);
    const bool ready = lib_.SetProgrammingRequired(c, n, run.programRequired);
    if (RebootedByDriver(run)) return StartReboot(run, modeName);
    // A driver that could not ready the hub (a second-family hub it could not send into ROM)
    // dropped its storage mode: the manager must not program it.
    if (!ready) {
        refusal.note = L"the hub could not be readied for programming";
        refusal.code = RESULT_DEVICE_IO_FAILED;
    }
    if (!ready || !plan_.Hand(run, lib_, refusal)) {
        // Leave nothing the manager could pick up.
        lib_.SetProgrammingRequired(c, n, false);
        lib_.SetValidationMethod(c, n, VALIDATION_NONE);
        return FailPreparation(run, refusal.note, refusal.code);
    }
    freshPreparation_ = true;
    Say(run.hub.position, run.hub.part,
        L"prepared: " + modeName + (run.programRequired ? L"" : L", no programming") +
            (run.verify ? L", verify" : L"") +
            (run.serial.empty() ? L"" : L", serial " + run.serial));
}

// Takes up hubs the run may program that the snapshot now shows: hubs back
// from a reboot, and in automated runs every new hub of the selection. A hub
// (by its path) is taken up once per run.
void CLineRun::Rescan() {
    hubs_ = ReadLineHubs(lib_);
    for (const LineHub& hub : hubs_) {
        if (hub.family == HUB_FAMILY_UNKNOWN || !plan_.Selected(hub)) continue;
        HubRun* run = FindRun(hub.path);
        if (run != nullptr) {
            // A hub that rebooted (asked for by its storage mode, or by its driver
            // when it was prepared) comes back as a new hub without the settings.
            // Until its removal was reported the library still holds the hub that
            // is rebooting, which may be off the bus or not have left it yet.
            const bool waiting = (run->state == HubState::kRebooting && run->leftForReboot) ||
                                 (run->state == HubState::kPrepared &&
                                  lib_.GetStorageMode(hub.controller, hub.node) == STORAGE_UNKNOWN);
            if (!waiting || !lib_.IsNewDevice(hub.controller, hub.node)) continue;
            if (run->state == HubState::kPrepared && ++run->reboots > kMaxReboots) {
                FailPreparation(*run, L"the hub keeps rebooting", RESULT_DEVICE_IO_FAILED);
                continue;
            }
            run->hub = hub;
            Prepare(*run);
            continue;
        }
        if (!settings_.automated) continue;
        if (!lib_.IsNewDevice(hub.controller, hub.node)) continue;
        runs_.push_back(std::unique_ptr<HubRun>(new HubRun()));
        runs_.back()->hub = hub;
        runs_.back()->arrivedLater = true;
        Prepare(*runs_.back());
    }
}

void CLineRun::StartManager() {
    if (managerRunning_ || stopSent_) return;
    // A manager that raised its last event may not have ended yet.
    for (int i = 0; i < 50 && lib_.IsProgrammerManagerRunning(); ++i) Sleep(10);
    if (lib_.StartProgrammerManager(!settings_.automated) != 0) {
        PrintError(L"zrvcli: the programmer manager could not be started\n");
        nextStart_ = GetTickCount64() + kRestartPauseMs;
        return;
    }
    managerRunning_ = true;
    managerEverStarted_ = true;
    freshPreparation_ = false;
    arrivalSinceStart_ = false;
}

void CLineRun::Finish(HubRun& run) {
    run.state = HubState::kDone;
    run.ended = GetTickCount64();
    if (run.started == 0) run.started = run.ended;
    Record(run);
}

void CLineRun::Record(const HubRun& run) {
    if (!record_.IsOpen()) return;
    RecordEntry entry;
    entry.timeUtc = CurrentUtcTime();
    entry.position = run.hub.position;
    entry.hubPath = run.hub.path;
    entry.family = FamilyName(run.hub.family);
    entry.uuid = run.uuid;
    entry.serial = run.serial;
    entry.storageMode = StorageModeName(run.storageMode);
    entry.status = run.status;
    entry.statusText = run.note.empty() ? HubStatusName(run.status) : run.note;
    entry.result = run.result;
    entry.durationMs = static_cast<uint32_t>(run.ended - run.started);
    std::wstring error;
    if (!record_.Append(entry, error) && !recordFailed_) {
        recordFailed_ = true;
        PrintError(L"zrvcli: " + error + L"\n");
    }
}

void CLineRun::Handle(const LibraryEvent& event) {
    switch (event.event) {
        case EVENT_HUB_STATUS: {
            HubRun* run = FindRun(event.path);
            if (run != nullptr) {
                run->status = event.value;
                if (run->state == HubState::kPrepared) {
                    run->state = HubState::kRunning;
                    run->started = GetTickCount64();
                }
                plan_.StatusChanged(*run, event.value);
            }
            SayAbout(event.path, HubStatusName(event.value));
            break;
        }
        case EVENT_DEVICE_FINISHED: {
            HubRun* run = FindRun(event.path);
            if (run == nullptr) {
                SayAbout(event.path, L"finished: " + ResultName(event.value));
                break;
            }
            run->result = event.value;
            Finish(*run);
            Say(run->hub.position, run->hub.part,
                L"finished: " + ResultName(event.value) + L" (" +
                    std::to_wstring(run->ended - run->started) + L" ms)");
            break;
        }
        case EVENT_HUB_RELEASED:
            SayAbout(event.path, L"released");
            break;
        case EVENT_DEVICE_ARRIVED:
            arrivalSinceStart_ = true;
            hubs_ = ReadLineHubs(lib_);
            SayAbout(event.path, L"arrived");
            if (const HubRun* run = FindRun(event.path)) {
                if (run->state == HubState::kDone) {
                    SayAbout(event.path, L"taken up once in this run already: left alone");
                }
            }
            Rescan();
            break;
        case EVENT_DEVICE_REMOVED:
            SayAbout(event.path, L"removed");
            if (HubRun* run = FindRun(event.path)) {
                if (run->state == HubState::kRebooting) run->leftForReboot = true;
                // Hubs that reboot are kRebooting: a prepared one that leaves was pulled.
                if (run->state == HubState::kPrepared && !managerRunning_) {
                    run->note = L"removed before programming";
                    Finish(*run);
                }
            }
            hubs_ = ReadLineHubs(lib_);
            break;
        case EVENT_MANAGER_STATE:
            Print(L"programmer: " + ManagerStateText(event.value) + L"\n");
            // A continuous manager is ready again once a batch is through.
            if (event.value == PROGRAMMGR_READY && managerEverStarted_) EndPass();
            break;
        case EVENT_MANAGER_FINISHED:
            Print(L"programmer finished: " + RunResultText(event.value) + L"\n");
            managerRunning_ = false;
            waitUntil_ = GetTickCount64() + settings_.settleMs;
            nextStart_ = GetTickCount64() + kRestartPauseMs;
            EndPass();
            break;
        default:
            break;
    }
}

void CLineRun::EndPass() {
    if (plan_.PassEnded()) return;
    passFailed_ = true;
    InterlockedExchange(&g_stopRequested, 1);
}

void CLineRun::PrintTable() {
    std::vector<std::vector<std::wstring>> rows = {
        {L"Position", L"Hub", L"Family", L"Mode", L"Serial", L"Status", L"Result", L"ms"}};
    for (const auto& run : runs_) {
        const std::wstring status = run->note.empty() ? HubStatusName(run->status) : run->note;
        rows.push_back({run->hub.position, run->hub.part, FamilyName(run->hub.family),
                        StorageModeName(run->storageMode), run->serial.empty() ? L"-" : run->serial,
                        status, run->note.empty() ? ResultName(run->result) : L"-",
                        std::to_wstring(run->ended - run->started)});
    }
    Print(L"\n" + FormatTable(rows));
    Print(plan_.Summary());
}

int CLineRun::Run() {
    if (!LoadInputs()) return kExitBadInput;
    library_.reset(new CLibrary());
    if (!library_->Loaded()) {
        Fail(L"cannot load HalvexZRVLib.dll (error " + std::to_wstring(GetLastError()) + L")");
        return kExitFailed;
    }
    if (!ReportLine(*library_)) return kExitBadInput;
    const char* missing = nullptr;
    if (!library_->BindAll(lib_, &missing)) {
        Fail(L"HalvexZRVLib.dll has no export " + std::wstring(missing, missing + strlen(missing)));
        return kExitFailed;
    }
    SetEventQueue(&events_);
    g_wakeQueue = &events_;
    const std::wstring stopName = L"zrvcli-stop-" + std::to_wstring(GetCurrentProcessId());
    g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, stopName.c_str());
    // A parent that ignores Ctrl+C passes that on; this run wants it.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    lib_.RegisterNotificationCallback(OnLibraryEvent);

    hubs_ = ReadLineHubs(lib_);
    const int refused = plan_.Begin(lib_, hubs_);
    if (refused != kExitOk) return refused;
    WaitForFamilies();
    if (StopRequested()) {
        Fail(L"stopped before any hub was prepared");
        return kExitFailed;
    }
    if (!plan_.CheckLine(hubs_)) return kExitBadInput;

    for (const LineHub& hub : hubs_) {
        if (!plan_.Selected(hub)) continue;
        runs_.push_back(std::unique_ptr<HubRun>(new HubRun()));
        runs_.back()->hub = hub;
        if (hub.family == HUB_FAMILY_UNKNOWN) {
            FailPreparation(*runs_.back(), L"its family is still not known",
                            RESULT_DEVICE_NOT_FOUND);
            continue;
        }
        Prepare(*runs_.back());
    }
    if (runs_.empty() && !settings_.automated) {
        Fail(plan_.NothingSelected());
        return kExitFailed;
    }
    if (settings_.automated) {
        Print(L"programming every new hub until Ctrl+C (or the event " + stopName + L")\n");
    }

    waitUntil_ = GetTickCount64() + settings_.settleMs;
    while (true) {
        bool prepared = false;
        bool rebooting = false;
        for (const auto& run : runs_) {
            prepared = prepared || run->state == HubState::kPrepared;
            rebooting = rebooting || run->state == HubState::kRebooting;
        }
        if (StopRequested()) {
            if (!managerRunning_) break;
            if (!stopSent_) {
                Print(L"stopping: the hubs in progress are finished first\n");
                lib_.StopProgrammerManager();
                stopSent_ = true;
            }
        } else if (!settings_.automated) {
            // Every chosen hub once: a batch starts when hubs were prepared since
            // the last one (after the rebooting ones are back, or the wait is over);
            // hubs a batch left behind because they were rebooting are waited for.
            if (!managerRunning_) {
                const bool canWait = GetTickCount64() < waitUntil_;
                if (freshPreparation_ && (!rebooting || !canWait)) {
                    StartManager();
                    if (!managerRunning_) break;
                } else if (!(rebooting || (managerEverStarted_ && prepared)) || !canWait) {
                    break;
                }
            }
        } else if (prepared && !managerRunning_ && GetTickCount64() >= nextStart_ &&
                   (freshPreparation_ || arrivalSinceStart_)) {
            // Hubs a manager found not ready wait for a change on the line.
            StartManager();
        }
        LibraryEvent event;
        if (events_.Pop(event, kPollMs)) Handle(event);
    }
    // Drain what the finished manager has still sent.
    LibraryEvent event;
    while (events_.Pop(event, 0)) Handle(event);
    for (int i = 0; i < 100 && lib_.IsProgrammerManagerRunning(); ++i) Sleep(10);
    // What a pass left unsaved (a manager that ended without its last event).
    if (!passFailed_ && !plan_.PassEnded()) passFailed_ = true;

    for (const auto& run : runs_) {
        if (run->state == HubState::kDone) continue;
        run->note = run->state == HubState::kRebooting ? L"did not come back from its reboot"
                                                       : L"not programmed";
        Finish(*run);
    }
    PrintTable();
    bool allGood = !recordFailed_ && !passFailed_;
    for (const auto& run : runs_) allGood = allGood && run->Succeeded();
    return allGood ? kExitOk : kExitFailed;
}

}  // namespace

int RunLine(IRunPlan& plan, const LineRunSettings& settings) {
    CLineRun run(plan, settings);
    return run.Run();
}
