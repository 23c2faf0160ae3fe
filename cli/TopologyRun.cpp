#include "TopologyRun.h"

#include <set>

#include "BlockBuilder.h"
#include "ConsoleText.h"
#include "HubPreparer.h"
#include "HubText.h"
#include "InputFiles.h"
#include "Logger.h"
#include "ParserLibrary.h"
#include "RecordFile.h"
#include "SerialGenerator.h"
#include "SerialSource.h"
#include "TcfData.h"

namespace {

// A hub of the line as the preparation rules see it, through the library's exports.
class CLineHub : public IPreparedHub {
public:
    CLineHub(const HubRun& run, const HubExports& lib, const CTCFData& tcf, int tcfIndex)
        : run_(run), lib_(lib), tcf_(tcf), tcfIndex_(tcfIndex) {}

    int TcfIndex() const override { return tcfIndex_; }
    std::wstring Position() const override { return run_.hub.position; }
    std::wstring Name() const override { return run_.hub.part; }
    std::wstring InstanceId() const override { return run_.hub.instanceId; }
    bool IsVendorBlockValid() const override {
        return lib_.IsVendorBlockPresent(run_.hub.controller, run_.hub.node);
    }
    int SetSPIFwImage() const override {
        std::vector<uint8_t> image;
        if (!ReadEntryFile(image)) return RESULT_FAILURE;
        return lib_.SetFirmwarImage(run_.hub.controller, run_.hub.node,
                                    image.empty() ? nullptr : image.data(),
                                    static_cast<uint32_t>(image.size()));
    }
    // The UUID was read when the hub was taken up.
    std::wstring GetSerialFromUUID() const override {
        return SerialFromUuid(run_.uuidBytes.data(), run_.uuidBytes.size());
    }
    int SetConfigBlock(CreateParserFn createParser, const std::wstring& serial) const override {
        std::vector<uint8_t> file;
        if (!ReadEntryFile(file)) return RESULT_FAILURE;
        std::vector<uint8_t> block;
        const int32_t joined = JoinBlockAndSerial(createParser, file, serial, block, problem_);
        if (joined != kParserOk) return joined;
        return lib_.SetConfigurationBlock(run_.hub.controller, run_.hub.node,
                                          block.empty() ? nullptr : block.data(),
                                          static_cast<uint32_t>(block.size()));
    }
    void SetNothingRequired() const override {
        lib_.SetProgrammingRequired(run_.hub.controller, run_.hub.node, false);
        lib_.SetValidationMethod(run_.hub.controller, run_.hub.node, VALIDATION_NONE);
    }

    // What went wrong with the entry's file or block, if anything.
    const std::wstring& Problem() const { return problem_; }

private:
    // The entry's configuration file or image; no file named gives no bytes.
    bool ReadEntryFile(std::vector<uint8_t>& bytes) const {
        bytes.clear();
        const std::wstring path = tcf_.GetConfigFilePath(tcfIndex_);
        return path.empty() || ReadWholeFile(path, bytes, problem_);
    }

    const HubRun& run_;
    const HubExports& lib_;
    const CTCFData& tcf_;
    const int tcfIndex_;
    mutable std::wstring problem_;
};

// Status lines to stdout, alerts to stderr, trace lines into zrvcli's trace file.
class CConsolePrepareReport : public IPrepareReport {
public:
    CConsolePrepareReport() : log_(L"zrvcli topology preparation") {}
    void Status(const std::wstring& text) override {
        Print(text + L"\n");
        last_ = text;
    }
    void Trace(const std::wstring& text) override { log_.Write(2, L"%s", text.c_str()); }
    void Alert(const std::wstring& text) override {
        PrintError(text + L"\n");
        last_ = text;
    }
    // The last text the operator was shown.
    const std::wstring& Last() const { return last_; }

private:
    CLogger log_;
    std::wstring last_;
};

class CTopologyPlan : public IRunPlan {
public:
    CTopologyPlan(const std::wstring& file, bool disableUuid) : file_(file) {
        settings_.disableUuid = disableUuid;
    }

    bool Load() override;
    int Begin(const HubExports&, const std::vector<LineHub>&) override;
    bool CheckLine(const std::vector<LineHub>&) override { return true; }
    bool Selected(const LineHub& hub) const override { return IsConfigured(EntryOf(hub)); }
    bool MayBeSelected(const LineHub& hub) const override { return Selected(hub); }
    bool Plan(HubRun& run, Refusal& refusal) override;
    bool Hand(HubRun& run, const HubExports& lib, Refusal& refusal) override;
    void StatusChanged(const HubRun& run, int32_t status) override;
    bool PassEnded() override;
    std::wstring Summary() const override;
    std::wstring NothingSelected() const override {
        return L"none of the hubs " + file_ + L" configures is on the line";
    }

private:
    int EntryOf(const LineHub& hub) const { return tcf_.GetTcfItem(hub.position); }
    // A hub entry with a storage mode that takes part in a run.
    bool IsConfigured(int index) const {
        return index >= 0 && tcf_.IsItemHub(index) &&
               IsPreparedStorageMode(tcf_.GetMemoryType(index));
    }

    std::wstring file_;
    CTCFData tcf_;
    PrepareSettings settings_;
    CParserLibrary parser_;
    // Hub paths whose serial number was used up, so a repeated status never counts twice.
    std::set<std::wstring> counted_;
    // Counters advanced since they were last written to the file.
    bool unsaved_ = false;
    bool saveFailed_ = false;
};

bool CTopologyPlan::Load() {
    const DWORD attributes = GetFileAttributesW(file_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        const DWORD error =
            attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY;
        return FailRun(L"cannot open the topology file " + file_ + L" (" + ErrorCodeText(error) +
                       L")");
    }
    const std::wstring version = CTCFData::GetTcfVersion(file_);
    if (!IsCompatibleTcfVersion(version)) {
        return FailRun(file_ + L": topology file version \"" + version +
                       L"\", this program reads " + kTcfVersion);
    }
    if (!tcf_.LoadTopology(file_)) {
        return FailRun(file_ + L": not a topology file (it has no node count)");
    }
    for (int i = 0; i < tcf_.Count(); ++i) {
        if (IsConfigured(i)) return true;
    }
    return FailRun(file_ + L" configures no hub for programming");
}

int CTopologyPlan::Begin(const HubExports&, const std::vector<LineHub>&) {
    std::wstring error;
    if (parser_.Load(error)) return kExitOk;
    FailRun(error);
    return kExitFailed;
}

bool CTopologyPlan::Plan(HubRun& run, Refusal&) {
    const int index = EntryOf(run.hub);
    run.storageMode = tcf_.GetMemoryType(index);
    run.verify = tcf_.GetVerifyOption(index);
    run.programRequired = tcf_.GetProgramRequiredOption(index);
    return true;
}

bool CTopologyPlan::Hand(HubRun& run, const HubExports& lib, Refusal& refusal) {
    // The hubs found at the start are prepared together, later arrivals one by one.
    settings_.scope = run.arrivedLater ? PrepareScope::kSingleHub : PrepareScope::kAllHubs;
    const CLineHub hub(run, lib, tcf_, EntryOf(run.hub));
    CConsolePrepareReport report;
    if (PrepareHub(hub, run.storageMode, tcf_, parser_.CreateParser(), settings_, report,
                   run.serial)) {
        return true;
    }
    refusal.note = report.Last().empty() ? L"preparation refused" : report.Last();
    if (!hub.Problem().empty()) refusal.note += L" (" + hub.Problem() + L")";
    refusal.code = RESULT_FAILURE;
    return false;
}

void CTopologyPlan::StatusChanged(const HubRun& run, int32_t status) {
    const int index = EntryOf(run.hub);
    if (!UsesUpSerial(tcf_, index, status) || !counted_.insert(run.hub.path).second) return;
    IncrementSerial(tcf_, index);
    unsaved_ = true;
}

bool CTopologyPlan::PassEnded() {
    if (saveFailed_) return false;
    if (!unsaved_) return true;
    unsigned long error = 0;
    if (!tcf_.SaveSerialCurrent(file_, &error)) {
        saveFailed_ = true;
        FailRun(L"the serial counters could not be written to " + file_ + L" (" +
                ErrorCodeText(error) +
                L"): serial numbers may repeat after a restart; the run is stopped");
        return false;
    }
    unsaved_ = false;
    Print(L"serial counters saved to " + file_ + L"\n");
    return true;
}

std::wstring CTopologyPlan::Summary() const {
    std::wstring text;
    for (int i = 0; i < tcf_.Count(); ++i) {
        if (!IsConfigured(i) || !IsCounterSerialType(tcf_.GetSerialType(i))) continue;
        text += L"next serial counter value of " + tcf_.Item(i)->key + L": " +
                tcf_.GetSerialParamCurrentVal(i) + L"\n";
    }
    return text;
}

}  // namespace

int RunTopology(const std::wstring& topologyFile, bool disableUuid,
                const LineRunSettings& settings) {
    CTopologyPlan plan(topologyFile, disableUuid);
    return RunLine(plan, settings);
}
