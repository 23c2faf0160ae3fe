// CDeviceData: the tool's record of one node of the shown USB tree. It knows where the node
// sits (controller and node index in the library's snapshot, topology position), how it is
// shown, which topology entry describes it and whether that entry matches. Every question to
// the hub library about the node goes through a record; each operation looks its export up by
// name at the moment of the call and returns a fixed answer while no library is loaded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "HubLibrary.h"
#include "IParser.h"

// topologyState values.
constexpr int kTopologyConfigured = 1;    // in the topology, with an operation
constexpr int kTopologyNoOperation = 2;   // in the topology, memory type "N/A"
constexpr int kTopologyUnconfigured = 3;  // new to the topology, or not matching it

class CDeviceData {
public:
    CDeviceData(int controller, int device, const std::wstring& topology);
    virtual ~CDeviceData() = default;
    CDeviceData(const CDeviceData&) = delete;
    CDeviceData& operator=(const CDeviceData&) = delete;

    // Library handle shared by all records.
    static bool SetLibraryHandle();
    static void FreeLibraryHandle();
    static HMODULE LibraryHandle() { return deviceLibrary_; }
    // Part family of the node named last (GetDeviceName).
    static int LastPartFamily() { return lastPartFamily_; }

    int Controller() const { return controller_; }
    int Device() const { return device_; }
    int TcfIndex() const { return tcfIndex_; }

    // Library questions and settings (exports of the same names).
    int GetStorageMode() const;
    int SetStorageMode(int mode) const;
    void SetValidationMethod(int method) const;
    // Hands the node's configuration block (its file, with the serial's items when serial is
    // not empty) to the library. Non-zero when the file cannot be read or the parser refuses.
    int SetConfigBlock(CreateParserFn createParser, const std::wstring& serial) const;
    int SetSPIFwImage() const;
    int GetHubStatus() const;
    void SetProgramRequired() const;
    void SetProgrammingRequired(bool required) const;
    std::wstring GetSerialFromUUID() const;
    // The hub's 16-byte unique identifier; false when it cannot be read.
    bool ReadUUID(uint8_t (&uuid)[16]) const;
    bool IsSafeToRemove() const;
    bool IsSPIPseudoOTPEnabled() const;
    bool IsVendorBlockValid() const;
    IDeviceTree* GetDeviceTree() const;

    // Node facts from the snapshot.
    int GetDeviceType() const;
    std::wstring GetDeviceInstanceID() const;
    std::wstring GetDevicePath() const;
    // The display name: maker parts by family, other hubs by vendor and product, other nodes
    // by the library's display name. Sets LastPartFamily for hubs.
    std::wstring GetDeviceName() const;

    const std::wstring& GetInternalPortName() const { return topology_; }
    const std::wstring& GetPortName() const { return name_; }
    void SetPortName(const std::wstring& name) { name_ = name; }
    void UpdateUILabel() const;
    int GetTopoLogy() const { return topologyState_; }
    void SetTopoLogy(int state) { topologyState_ = state; }
    std::wstring GetConfigFile() const;
    void SetConfigFile(const std::wstring& path) const;

    // Debug operations on the hub, outside programming runs; each binds its export afresh.
    // DumpOTP writes the hub's OTP into fileName; WriteToRAM hands the whole file to the hub's
    // RAM. False without library, export or hub path, for an unreadable file or a library error.
    bool DumpOTP(const std::wstring& fileName) const;
    bool WriteToRAM(const std::wstring& fileName) const;

    // Merging with the topology configuration: in configuration view and in execution view.
    void ValidateAndModifyDeviceData(int type);
    void ValidateAndSetDeviceData(int type);

private:
    template <typename F>
    F Export(const char* name) const {
        return HubExport<F>(deviceLibrary_, name);
    }
    // The node copy from the snapshot; null without tree or node. The caller deletes it.
    IUsbNode* NodeCopy() const;
    // IsNewDevice for this node; false without library.
    bool IsNewDevice() const;

    std::wstring name_;
    int tcfIndex_ = -1;
    std::wstring topology_;
    int topologyState_ = kTopologyUnconfigured;
    int controller_;
    int device_;

    static HMODULE deviceLibrary_;
    static IDeviceTree* recordDeviceTree_;
    static PfnCreateDeviceTreeUI recordCreateDeviceTreeUI_;
    static PfnFinishedUsingDeviceTreeUI recordFinishedUsingDeviceTreeUI_;
    static int lastPartFamily_;
};

// Ends the program after telling the operator why (a library without its tree exports).
[[noreturn]] void FatalStartupError(const wchar_t* text);
