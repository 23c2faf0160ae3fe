#include "ProgramRun.h"

#include <memory>

#include "BlockBuilder.h"
#include "HubText.h"
#include "InputFiles.h"
#include "LineRun.h"
#include "ProgramOptions.h"
#include "SerialSource.h"
#include "TopologyRun.h"

namespace {

// One file, storage mode and serial source for every hub chosen by family or position.
class COptionsPlan : public IRunPlan {
public:
    explicit COptionsPlan(const ProgramOptions& options)
        : options_(options), counter_(options.counter) {}

    bool Load() override;
    int Begin(const HubExports& lib, const std::vector<LineHub>& hubs) override;
    bool CheckLine(const std::vector<LineHub>& hubs) override;
    bool Selected(const LineHub& hub) const override;
    bool MayBeSelected(const LineHub& hub) const override {
        return options_.selection == HubSelection::kFamily || Selected(hub);
    }
    bool Plan(HubRun& run, Refusal& refusal) override;
    bool Hand(HubRun& run, const HubExports& lib, Refusal& refusal) override;
    void StatusChanged(const HubRun&, int32_t) override {}
    bool PassEnded() override { return true; }
    std::wstring Summary() const override;
    std::wstring NothingSelected() const override;

private:
    ProgramOptions options_;
    CSerialCounter counter_;
    std::vector<uint8_t> input_;
    std::unique_ptr<CBlockBuilder> builder_;
};

bool COptionsPlan::Load() {
    std::wstring error;
    if (!ReadWholeFile(options_.file, input_, error)) return FailRun(error);
    if (StorageModeTakesBlock(options_.storageMode)) {
        const std::wstring problem = CheckConfigBlock(input_, options_.serial != SerialKind::kNone);
        if (!problem.empty()) return FailRun(options_.file + L": " + problem);
    } else if (options_.selection == HubSelection::kFamily) {
        const std::wstring problem = CheckFirmwareImageFor(options_.family, input_);
        if (!problem.empty()) return FailRun(options_.file + L": " + problem);
    }
    return true;
}

int COptionsPlan::Begin(const HubExports& lib, const std::vector<LineHub>& hubs) {
    if (StorageModeTakesBlock(options_.storageMode) && options_.serial != SerialKind::kNone) {
        builder_.reset(new CBlockBuilder());
        std::wstring error;
        if (!builder_->Ready(error)) {
            FailRun(error);
            return kExitFailed;
        }
    }
    for (const std::wstring& position : options_.positions) {
        // A continuous run may wait for a board on an empty port.
        if (options_.automated && HasNodeAt(lib, position)) continue;
        if (FindByPosition(hubs, position) == nullptr) {
            FailRun(L"no hub at position " + position +
                    (HasNodeAt(lib, position) ? L" (the node there is not a hub)" : L""));
            return kExitBadInput;
        }
    }
    return kExitOk;
}

bool COptionsPlan::CheckLine(const std::vector<LineHub>& hubs) {
    if (StorageModeTakesBlock(options_.storageMode)) return true;
    for (const LineHub& hub : hubs) {
        if (!Selected(hub)) continue;
        const std::wstring problem = CheckFirmwareImageFor(hub.family, input_);
        if (!problem.empty()) {
            return FailRun(options_.file + L" for the " + FamilyName(hub.family) +
                           L"-family hub at " + hub.position + L": " + problem);
        }
    }
    return true;
}

bool COptionsPlan::Selected(const LineHub& hub) const {
    if (options_.selection == HubSelection::kFamily) return hub.family == options_.family;
    for (const std::wstring& p : options_.positions) {
        if (p == hub.position) return true;
    }
    return false;
}

bool COptionsPlan::Plan(HubRun& run, Refusal& refusal) {
    run.storageMode = options_.storageMode;
    run.verify = options_.verify;
    run.programRequired = true;
    run.data = input_;
    if (!StorageModeTakesBlock(options_.storageMode)) {
        const std::wstring problem = CheckFirmwareImageFor(run.hub.family, input_);
        if (problem.empty()) return true;
        refusal = {problem, RESULT_INVALID_DATA};
        return false;
    }
    if (options_.serial == SerialKind::kNone) return true;
    if (!run.serialAssigned) {
        if (options_.serial == SerialKind::kUuid) {
            if (run.uuidBytes.empty()) {
                refusal = {
                    L"no UUID to make a serial number from (" + ResultName(run.uuidResult) + L")",
                    run.uuidResult};
                return false;
            }
            run.serial = SerialFromUuid(run.uuidBytes.data(), run.uuidBytes.size());
        } else if (!counter_.Next(run.serial)) {
            refusal = {L"the serial counter is past its maximum", RESULT_FAILURE};
            return false;
        }
        run.serialAssigned = true;
    }
    std::wstring error;
    if (!builder_->Build(input_, run.serial, run.data, error)) {
        refusal = {error, RESULT_VALIDATION_FAILED};
        return false;
    }
    return true;
}

bool COptionsPlan::Hand(HubRun& run, const HubExports& lib, Refusal& refusal) {
    const int32_t c = run.hub.controller;
    const int32_t n = run.hub.node;
    const uint8_t* bytes = run.data.empty() ? nullptr : run.data.data();
    const uint32_t size = static_cast<uint32_t>(run.data.size());
    const bool block = StorageModeTakesBlock(options_.storageMode);
    const int32_t set = block ? lib.SetConfigurationBlock(c, n, bytes, size)
                              : lib.SetFirmwarImage(c, n, bytes, size);
    if (set == RESULT_SUCCESS) return true;
    refusal = {std::wstring(block ? L"the library refused the configuration block ("
                                  : L"the library refused the image (") +
                   ResultName(set) + L")",
               set};
    return false;
}

std::wstring COptionsPlan::Summary() const {
    if (options_.serial != SerialKind::kCounter) return L"";
    return L"next serial counter value: " + counter_.Current() + L"\n";
}

std::wstring COptionsPlan::NothingSelected() const {
    return options_.selection == HubSelection::kFamily
               ? L"no " + FamilyName(options_.family) + L"-family hub on the line"
               : L"none of the positions holds a hub";
}

}  // namespace

int ProgramCommand(const std::vector<std::wstring>& args) {
    const ProgramOptionsResult parsed = ParseProgramOptions(args);
    if (!parsed.ok) {
        FailRun(parsed.error);
        return kExitBadInput;
    }
    const ProgramOptions& options = parsed.options;
    LineRunSettings settings;
    settings.automated = options.automated;
    settings.recordFile = options.recordFile;
    settings.settleMs = options.settleMs;
    if (!options.topology.empty()) {
        return RunTopology(options.topology, options.disableUuid, settings);
    }
    COptionsPlan plan(options);
    return RunLine(plan, settings);
}
