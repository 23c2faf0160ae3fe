// One programming run over the hubs of the line: takes up the hubs a plan chooses, sets their
// storage mode (waiting for hubs that reboot for it) and verification, lets the plan hand each
// its block or image, runs the library's programmer manager once or continuously, prints every
// event as a line and a table at the end, and appends the production record.
//   exit 0: every hub succeeded; 1: a hub failed or nothing was programmed;
//   2: bad arguments or files, nothing written to any hub.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "HubLibrary.h"
#include "LineHubs.h"

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadInput = 2;

enum class HubState { kPrepared, kRebooting, kRunning, kDone };

struct HubRun {
    LineHub hub;
    HubState state = HubState::kPrepared;
    // Taken up after the run started (an arrival in a continuous run).
    bool arrivedLater = false;
    int32_t storageMode = STORAGE_UNKNOWN;
    bool verify = false;
    bool programRequired = true;
    bool serialAssigned = false;
    std::wstring serial;
    std::wstring uuid;               // hex digits; empty when it could not be read
    std::vector<uint8_t> uuidBytes;  // empty when it could not be read
    int32_t uuidResult = RESULT_FAILURE;
    std::vector<uint8_t> data;  // what the plan hands the hub, where it decides it early
    int32_t status = HUB_STATUS_UNKNOWN;
    int32_t result = RESULT_FAILURE;
    std::wstring note;  // why a hub was not programmed
    ULONGLONG started = 0;
    ULONGLONG ended = 0;
    int reboots = 0;
    // The library reported the hub gone since its last reboot began: until then the
    // queued hub is still the one that is rebooting.
    bool leftForReboot = false;

    bool Succeeded() const;
};

// A hub's preparation went wrong: why (for the table and the record) and the code recorded.
struct Refusal {
    std::wstring note;
    int32_t code = RESULT_FAILURE;
};

// What a run programs and how: the hubs it takes up and what each is given.
class IRunPlan {
public:
    virtual ~IRunPlan() = default;
    // Reads the plan's files before the library is loaded; false after saying why.
    virtual bool Load() = 0;
    // With the library bound and the line read: 0 to go on, else the exit code after saying why.
    virtual int Begin(const HubExports& lib, const std::vector<LineHub>& hubs) = 0;
    // Once the families are known: false (bad input) after saying why.
    virtual bool CheckLine(const std::vector<LineHub>& hubs) = 0;
    // The run takes up this hub.
    virtual bool Selected(const LineHub& hub) const = 0;
    // A hub whose family is not known yet may turn out to be taken up.
    virtual bool MayBeSelected(const LineHub& hub) const = 0;
    // Before the hub is touched: its storage mode, verification and programming flag into run,
    // and what needs no hub (a serial, a block). False leaves the hub alone.
    virtual bool Plan(HubRun& run, Refusal& refusal) = 0;
    // After its storage mode is set: hands the hub its block or image. False leaves it alone.
    virtual bool Hand(HubRun& run, const HubExports& lib, Refusal& refusal) = 0;
    // A hub of the run reported a status.
    virtual void StatusChanged(const HubRun& run, int32_t status) = 0;
    // The manager ended a pass; false (after saying why) ends the run as failed.
    virtual bool PassEnded() = 0;
    // Lines printed after the table.
    virtual std::wstring Summary() const = 0;
    // Said (as an error) when a single run finds nothing to take up.
    virtual std::wstring NothingSelected() const = 0;
};

struct LineRunSettings {
    bool automated = false;
    std::wstring recordFile;
    // How long to wait for hubs whose family the library has not decided yet.
    uint32_t settleMs = 15000;
};

// Runs plan over the line; returns the exit code.
int RunLine(IRunPlan& plan, const LineRunSettings& settings);

// "zrvcli: " + message on stderr; returns false.
bool FailRun(const std::wstring& message);
