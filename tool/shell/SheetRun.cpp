// CSheet: run control. START prepares every configured hub (the rules live in HubPreparer, shared
// with the console front end) and starts the library's programmer manager; STOP asks it to end.
// Each hub result of a run becomes one line of the production record when a record file is set.
#include <cwctype>

#include "../res/resource.h"
#include "HubPreparer.h"
#include "HubUuidReads.h"
#include "HubText.h"
#include "Logger.h"
#include "ParserLibrary.h"
#include "ProgramOptions.h"
#include "RecordChoice.h"
#include "Sheet.h"
#include "TopologyConfig.h"

namespace {

std::wstring PathKey(const std::wstring& path) {
    std::wstring key = path;
    for (wchar_t& c : key) c = static_cast<wchar_t>(towlower(c));
    return key;
}

// A device record as the preparation rules see a hub. Its identifier comes from a read made
// beforehand when there is one, else from the library now; either way it is kept for the
// production record.
class CRecordHub : public IPreparedHub {
public:
    CRecordHub(const CDeviceData& record, const HubUuid* known) : record_(record), known_(known) {}
    int TcfIndex() const override { return record_.TcfIndex(); }
    std::wstring Position() const override { return record_.GetInternalPortName(); }
    std::wstring Name() const override { return record_.GetDeviceName(); }
    std::wstring InstanceId() const override { return record_.GetDeviceInstanceID(); }
    bool IsVendorBlockValid() const override { return record_.IsVendorBlockValid(); }
    int SetSPIFwImage() const override { return record_.SetSPIFwImage(); }
    std::wstring GetSerialFromUUID() const override {
        HubUuid uuid;
        if (known_) {
            uuid = *known_;
        } else {
            uuid.read = record_.ReadUUID(uuid.bytes);
        }
        if (!uuid.read) return L"";
        uuidText_ = HexText(uuid.bytes, kUuidLength);
        return SerialFromUuid(uuid.bytes);
    }
    int SetConfigBlock(CreateParserFn createParser, const std::wstring& serial) const override {
        return record_.SetConfigBlock(createParser, serial);
    }
    void SetNothingRequired() const override {
        record_.SetProgramRequired();
        record_.SetValidationMethod(VALIDATION_NONE);
    }
    // Hex of the identifier's 16 bytes when preparation read it; empty otherwise.
    const std::wstring& UuidText() const { return uuidText_; }

private:
    const CDeviceData& record_;
    const HubUuid* known_;
    mutable std::wstring uuidText_;
};

// Status lines go straight to the execution page's pane, alerts into a message box.
class CSheetPrepareReport : public IPrepareReport {
public:
    CSheetPrepareReport(CProgrammerPage& page, HWND owner, CLogger& log)
        : page_(page), owner_(owner), log_(log) {}
    void Status(const std::wstring& text) override { page_.AddStatus(text); }
    void Trace(const std::wstring& text) override { log_.Write(2, L"%s", text.c_str()); }
    void Alert(const std::wstring& text) override {
        MessageBoxW(owner_, text.c_str(), kSheetCaption, MB_OK | MB_ICONEXCLAMATION);
    }

private:
    CProgrammerPage& page_;
    HWND owner_;
    CLogger& log_;
};

// The identifier read beforehand for record's node; null when none was.
const HubUuid* KnownUuid(const std::vector<HubUuid>& uuids, const CDeviceData& record) {
    for (const HubUuid& uuid : uuids) {
        if (uuid.controller == record.Controller() && uuid.device == record.Device()) return &uuid;
    }
    return nullptr;
}

}  // namespace

bool CSheet::IsExecuteOnce() const {
    return (GetMenuState(menu_, ID_PROGRAMOPTIONS_PROGRAMONCE, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool CSheet::StartProgramming() {
    CLogger log(L"CSheet::StartProgramming");
    if (preparingAll_) {
        // START again while this thread is still preparing (a message sent to it meanwhile):
        // the click is replayed once the preparation is over, as a queued click would be.
        log.Write(2, L"START during the preparation: deferred");
        startDeferred_ = true;
        return false;
    }
    const bool once = IsExecuteOnce();
    auto running =
        HubExport<PfnIsProgrammerManagerRunning>(libraryModule_, "IsProgrammerManagerRunning");
    auto start = HubExport<PfnStartProgrammerManager>(libraryModule_, "StartProgrammerManager");
    if (!running) return false;
    if (running()) {
        ShowStatus(L"Programming could not be started");
        return false;
    }
    // The record is opened first: a run whose results cannot be written down is not started.
    if (!OpenRunRecord()) return false;
    runNotes_.clear();
    preparingAll_ = true;
    const bool prepared = PrepareProgramming(nullptr);
    preparingAll_ = false;
    if (startDeferred_) {
        startDeferred_ = false;
        ReplayStartClick();
    }
    if (!prepared) return false;
    log.Write(2, L"Calling StartProgramming after prepare programming");
    const int32_t result = start ? start(once) : -1;
    log.Write(2, L"Returned after calling StartProgramming");
    if (result == 0) {
        ShowStatus(L"Started programming");
        return true;
    }
    ShowStatus(L"Cannot start programming");
    return false;
}

void CSheet::ReplayStartClick() {
    HWND page = programmerPage_.Window();
    if (!page) return;
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_BUTTON_START, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_BUTTON_START)));
}

bool CSheet::StopProgramming() {
    CLogger log(L"CSheet::StopProgramming");
    auto stop = HubExport<PfnStopProgrammerManager>(libraryModule_, "StopProgrammerManager");
    return stop && stop() == 0;
}

bool CSheet::PrepareProgramming(const wchar_t* devicePath) {
    CLogger log(L"CSheet::PrepareProgramming");
    if (holdCommands_) {
        // Only a message sent to this thread while it answers in the middle of a preparation
        // gets here.
        log.Write(1, L"A preparation is still under way");
        return false;
    }
    CParserLibrary parser;
    {
        CSheetLockGuard guard(lock_);
        std::wstring error;
        if (!parser.Load(error)) {
            MessageBoxW(window_, error.c_str(), kSheetCaption, MB_OK);
            return false;
        }
    }
    int32_t controller = -1;
    int32_t device = -1;
    if (devicePath && FindNode(devicePath, controller, device)) {
        return PrepareOneHub(devicePath, controller, device, parser.CreateParser());
    }
    // The identifiers the hubs' serials come from are read first, away from this thread; the
    // pass below then runs as it would with reads of its own, in the same order.
    const std::vector<HubUuid> uuids = ReadUuidsForPreparation();
    CSheetLockGuard guard(lock_);
    log.Write(2, L"Begin : Preparing Devices");
    for (auto& controllerNodes : nodes_) {
        for (CDeviceData* record : controllerNodes) {
            if (!record || record->GetDeviceType() != NODE_TYPE_HUB) continue;
            const int mode = record->GetStorageMode();
            if (!IsPreparedStorageMode(mode)) continue;
            if (!PrepareRecord(*record, mode, false, parser.CreateParser(),
                               KnownUuid(uuids, *record))) {
                return false;
            }
            AnswerBetweenHubs();
        }
    }
    log.Write(2, L"End : Preparing Devices");
    return true;
}

PrepareSettings CSheet::PreparationSettings(bool single) const {
    PrepareSettings settings;
    settings.disableUuid = disableUuid_;
    settings.scope = single ? PrepareScope::kSingleHub : PrepareScope::kAllHubs;
    return settings;
}

bool CSheet::FindNode(const wchar_t* devicePath, int32_t& controller, int32_t& device) {
    CSheetLockGuard guard(lock_);
    auto indices = HubExport<PfnGetDeviceIndicesUI>(libraryModule_, "GetDeviceIndicesUI");
    return indices && indices(devicePath, &controller, &device);
}

CDeviceData* CSheet::RunHubAt(int32_t controller, int32_t device, int& storageMode, bool& valid) {
    CLogger log(L"CSheet::RunHubAt");
    CSheetLockGuard guard(lock_);
    valid = controller >= 0 && controller < static_cast<int>(nodes_.size()) && device >= 0 &&
            device < static_cast<int>(nodes_[controller].size());
    if (!valid) {
        log.Write(2, L"controller id %d, device id %d : list controller %d", controller, device,
                  static_cast<int>(nodes_.size()));
        return nullptr;
    }
    CDeviceData* record = nodes_[controller][device];
    const int type = record ? record->GetDeviceType() : NODE_TYPE_UNKNOWN;
    storageMode = record ? record->GetStorageMode() : STORAGE_UNKNOWN;
    if (type != NODE_TYPE_HUB || !IsPreparedStorageMode(storageMode)) {
        log.Write(2, L"Debug LOG: i = %u, j = %u, DevType = %d, sMode = %d", controller, device,
                  type, storageMode);
        return nullptr;
    }
    return record;
}

bool CSheet::PrepareOneHub(const wchar_t* devicePath, int32_t controller, int32_t device,
                           CreateParserFn parser) {
    CLogger log(L"CSheet::PrepareOneHub");
    int mode = STORAGE_UNKNOWN;
    bool valid = false;
    std::vector<HubUuid> uuids;
    {
        CSheetLockGuard guard(lock_);
        CDeviceData* record = RunHubAt(controller, device, mode, valid);
        if (!record) return valid;
        AddUuidToRead(*record, mode, true, uuids);
        if (uuids.empty()) return PrepareRecord(*record, mode, true, parser, nullptr);
    }
    ReadUuidsAnswering(uuids);
    // Commands and library events waited during the read, so the node table was not rebuilt;
    // the record is looked up again all the same rather than kept across the wait.
    CSheetLockGuard guard(lock_);
    if (!FindNode(devicePath, controller, device)) {
        log.Write(1, L"%s left while its identifier was read", devicePath);
        return false;
    }
    CDeviceData* record = RunHubAt(controller, device, mode, valid);
    if (!record) return valid;
    return PrepareRecord(*record, mode, true, parser, KnownUuid(uuids, *record));
}

void CSheet::AddUuidToRead(const CDeviceData& record, int storageMode, bool single,
                           std::vector<HubUuid>& hubs) const {
    if (!NeedsSerialFromUuid(CRecordHub(record, nullptr), storageMode, TopologyConfig(),
                             PreparationSettings(single))) {
        return;
    }
    HubUuid hub;
    hub.controller = record.Controller();
    hub.device = record.Device();
    hubs.push_back(hub);
}

void CSheet::ReadUuidsAnswering(std::vector<HubUuid>& hubs) {
    if (hubs.empty()) return;
    if (lock_.IsHeldHere()) {
        // An operation further up (its message box let this preparation run) holds the lock:
        // sent messages answered meanwhile would run in its middle.
        CLogger log(L"CSheet::ReadUuidsAnswering");
        log.Write(2, L"The lock is held: the identifiers are read by the preparation");
        hubs.clear();
        return;
    }
    // Until the reads are done, commands and library events that reach this thread wait in
    // its queue: the records the preparation walks stay as they are.
    holdCommands_ = true;
    ReadHubUuids(CDeviceData::LibraryHandle(), hubs);
    holdCommands_ = false;
}

std::vector<HubUuid> CSheet::ReadUuidsForPreparation() {
    std::vector<HubUuid> hubs;
    {
        CSheetLockGuard guard(lock_);
        for (auto& controllerNodes : nodes_) {
            for (CDeviceData* record : controllerNodes) {
                if (!record || record->GetDeviceType() != NODE_TYPE_HUB) continue;
                const int mode = record->GetStorageMode();
                if (IsPreparedStorageMode(mode)) AddUuidToRead(*record, mode, false, hubs);
            }
        }
    }
    ReadUuidsAnswering(hubs);
    return hubs;
}

void CSheet::AnswerBetweenHubs() {
    holdCommands_ = true;
    AnswerSentMessages();
    holdCommands_ = false;
}

bool CSheet::PrepareRecord(CDeviceData& record, int storageMode, bool single, CreateParserFn parser,
                           const HubUuid* uuid) {
    CLogger log(L"CSheet::PrepareRecord");
    CSheetPrepareReport report(programmerPage_, window_, log);
    CRecordHub hub(record, uuid);
    std::wstring serial;
    if (!PrepareHub(hub, storageMode, TopologyConfig(), parser, PreparationSettings(single), report,
                    serial)) {
        return false;
    }
    HubRunNote note;
    note.position = record.GetInternalPortName();
    note.family = FamilyName(TopologyConfig().GetPartType(record.TcfIndex()));
    note.uuid = hub.UuidText();
    note.serial = serial;
    note.storageMode = StorageModeName(storageMode);
    note.started = GetTickCount64();
    runNotes_[PathKey(record.GetDevicePath())] = note;
    return true;
}

void CSheet::SetRecordFile(const std::wstring& path) {
    CLogger log(L"CSheet::SetRecordFile");
    recordFile_ = path;
    if (!currentTopologyFile_.empty() && !RememberRecordFile(currentTopologyFile_, path)) {
        log.Write(1, L"The record file choice could not be remembered for %s",
                  currentTopologyFile_.c_str());
    }
}

std::wstring CSheet::RecordFile() const {
    if (!recordFile_.empty()) return recordFile_;
    return RememberedRecordFile(currentTopologyFile_);
}

bool CSheet::OpenRunRecord() {
    runRecord_.reset();
    const std::wstring path = RecordFile();
    if (path.empty()) return true;
    auto record = std::make_unique<CRecordFile>();
    std::wstring error;
    if (!record->Open(path, error)) {
        const std::wstring text = L"The production record cannot be written: " + error;
        MessageBoxW(window_, text.c_str(), kSheetCaption, MB_OK | MB_ICONERROR);
        return false;
    }
    runRecord_ = std::move(record);
    return true;
}

void CSheet::NoteHubStatus(const std::wstring& path, int status) {
    auto note = runNotes_.find(PathKey(path));
    if (note != runNotes_.end()) note->second.status = status;
}

void CSheet::RecordHubResult(const std::wstring& path, int result) {
    if (!runRecord_) return;
    auto found = runNotes_.find(PathKey(path));
    if (found == runNotes_.end()) return;
    const HubRunNote& note = found->second;
    RecordEntry entry;
    entry.timeUtc = CurrentUtcTime();
    entry.position = note.position;
    entry.hubPath = path;
    entry.family = note.family;
    entry.uuid = note.uuid;
    entry.serial = note.serial;
    entry.storageMode = note.storageMode;
    entry.status = note.status;
    entry.statusText = HubStatusName(note.status);
    entry.result = result;
    entry.durationMs = static_cast<uint32_t>(GetTickCount64() - note.started);
    std::wstring error;
    if (runRecord_->Append(entry, error)) return;
    // Lines that cannot be written would be lost: the run stops instead.
    runRecord_.reset();
    StopProgramming();
    const std::wstring text =
        L"The production record cannot be written: " + error + L"\nProgramming was stopped.";
    MessageBoxW(window_, text.c_str(), kSheetCaption, MB_OK | MB_ICONERROR);
}
