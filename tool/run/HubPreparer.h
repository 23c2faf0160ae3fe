// Preparing hubs for a programming run: the rules that decide, per hub, whether it may be
// programmed and what the library gets for it (a firmware image, or a configuration block with
// its serial number). Free of windows: the tool's sheet and the console front end both prepare
// through it, each with its own hub access and its own way of reporting.
#pragma once

#include <string>

#include "IParser.h"

class CTCFData;

// One hub as preparation needs it. The tool answers through its device record, the console
// front end through the library's exports.
class IPreparedHub {
public:
    virtual ~IPreparedHub() = default;
    virtual int TcfIndex() const = 0;
    virtual std::wstring Position() const = 0;    // topology position, "1-1-2-3"
    virtual std::wstring Name() const = 0;        // the name the operator sees
    virtual std::wstring InstanceId() const = 0;  // device instance ID
    virtual bool IsVendorBlockValid() const = 0;
    virtual int SetSPIFwImage() const = 0;
    // Ten hex digits from the hub's unique identifier; empty when it cannot be read.
    virtual std::wstring GetSerialFromUUID() const = 0;
    // Non-zero when the configuration file cannot be read or the parser refuses it.
    virtual int SetConfigBlock(CreateParserFn createParser, const std::wstring& serial) const = 0;
    // The hub needs no programming and no verification until its settings are handed over again.
    virtual void SetNothingRequired() const = 0;
};

// Where preparation reports: status lines the operator follows, trace lines, and texts that
// need the operator's attention at once.
class IPrepareReport {
public:
    virtual ~IPrepareReport() = default;
    virtual void Status(const std::wstring& text) = 0;
    virtual void Trace(const std::wstring& text) = 0;
    virtual void Alert(const std::wstring& text) = 0;
};

enum class PrepareScope { kSingleHub, kAllHubs };

struct PrepareSettings {
    bool disableUuid = false;  // first-family hubs without a vendor block may be programmed
    PrepareScope scope = PrepareScope::kAllHubs;
};

// Prepares one hub with storage mode storageMode (0 to 3). True when the library has what it
// needs for the hub; false after the reason was reported. serial receives the serial number the
// hub's block carries (empty for none and for images).
bool PrepareHub(const IPreparedHub& hub, int storageMode, const CTCFData& tcf,
                CreateParserFn createParser, const PrepareSettings& settings,
                IPrepareReport& report, std::wstring& serial);

// True for the storage modes that take part in a run (not "N/A").
bool IsPreparedStorageMode(int storageMode);

// True when PrepareHub would ask the hub for its serial from its unique identifier: the hub
// passes the vendor-block rule, gets a configuration block and takes its serial from the
// identifier. Lets a caller read the identifiers beforehand, away from its window's thread.
bool NeedsSerialFromUuid(const IPreparedHub& hub, int storageMode, const CTCFData& tcf,
                         const PrepareSettings& settings);

// True when a status the entry's hub reported uses up its serial number: the entry counts serials
// and the hub ended programmed (verified or not). The counter then advances.
bool UsesUpSerial(const CTCFData& tcf, int tcfIndex, int hubStatus);
