// Shared by the programmer manager tests: a simulated line of cascaded hubs,
// a scripted device whose programming result and final status a test picks.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "DeviceQueue.h"
#include "GenericHubDevice.h"
#include "ProgrammerManager.h"
#include "TreeState.h"
#include "UsbSimApi.h"

namespace manager_test {

// Hub B with hubs C (port 1) and D (port 2) below it: a board of its own, so
// a test can unplug it and plug it back.
inline const char kBoardB[] = R"({ "hub": {
  "family": "other", "vid": "1A2B", "pid": "000B", "serial": "B", "ports": 2, "description": "Hub B",
  "children": {
    "1": { "hub": { "family": "other", "vid": "1A2B", "pid": "000C", "serial": "C", "ports": 2,
                    "description": "Hub C" } },
    "2": { "hub": { "family": "other", "vid": "1A2B", "pid": "000D", "serial": "D", "ports": 2,
                    "description": "Hub D" } } } } })";
inline const wchar_t kBoardBPosition[] = L"1-1-1-1";

// Hubs on the root ports of three more controllers, more than one batch holds.
constexpr int kBatchControllers = 3;
constexpr int kBatchHubsPerController = 43;

// Controller 1: hub A on root port 1 with board B on its port 1, hub E on
// root port 2; then the batch controllers, one-port hubs on every root port.
// None of the hubs answers either family, so the queue holds only what a test
// appends.
inline std::string Line(int batchControllers = kBatchControllers) {
    std::string line = R"({ "timeScale": 100, "controllers": [
    { "description": "Host Controller", "ports": 2, "children": {
        "1": { "hub": { "family": "other", "vid": "1A2B", "pid": "000A", "serial": "A", "ports": 2,
                        "description": "Hub A", "children": { "1": )";
    line += kBoardB;
    line += R"( } } },
        "2": { "hub": { "family": "other", "vid": "1A2B", "pid": "000E", "serial": "E", "ports": 2,
                        "description": "Hub E" } } } })";
    for (int c = 1; c <= batchControllers; ++c) {
        line += R"(, { "description": "Host Controller", "ports": )" +
                std::to_string(kBatchHubsPerController) + R"(, "children": {)";
        for (int port = 1; port <= kBatchHubsPerController; ++port) {
            if (port > 1) line += ",";
            line +=
                "\"" + std::to_string(port) +
                R"(": { "hub": { "family": "other", "vid": "1A2B", "pid": "00F0", "serial": "M)" +
                std::to_string(c * 100 + port) + R"(", "ports": 1, "description": "Hub" } })";
        }
        line += "} }";
    }
    return line + "] }";
}

inline std::wstring HubPath(const std::wstring& pidAndSerial) {
    return L"\\\\?\\USB#VID_1A2B&PID_" + pidAndSerial + L"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
}
inline std::wstring HubPath(wchar_t letter) {
    return HubPath(std::wstring(L"000") + letter + L"#" + letter);
}
inline const wchar_t kHubLetters[] = L"ABCDE";

// The hubs of the batch controllers.
inline std::vector<std::wstring> BatchHubPaths() {
    std::vector<std::wstring> paths;
    for (int c = 1; c <= kBatchControllers; ++c) {
        for (int port = 1; port <= kBatchHubsPerController; ++port) {
            paths.push_back(HubPath(L"00F0#M" + std::to_wstring(c * 100 + port)));
        }
    }
    return paths;
}

// Every hub of the line.
inline std::vector<std::wstring> AllHubPaths() {
    std::vector<std::wstring> paths = BatchHubPaths();
    for (const wchar_t* letter = kHubLetters; *letter; ++letter) paths.push_back(HubPath(*letter));
    return paths;
}

// What a scripted device does when programmed. Shared by the queued device
// and every copy of it.
struct Script {
    int32_t result = RESULT_SUCCESS;
    uint32_t finalStatus = HUB_STATUS_PROGRAMMED;
    uint32_t configBlockSize = 16;
    // When set, ProgramDevice signals entered and waits for gate (10 s at most).
    HANDLE gate = nullptr;
    HANDLE entered = nullptr;
    ~Script() {
        if (gate) CloseHandle(gate);
        if (entered) CloseHandle(entered);
    }
    void Hold() {
        gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
};

class CScriptedDevice : public CGenericHubDevice {
public:
    CScriptedDevice(const std::wstring& path, std::shared_ptr<Script> script)
        : CGenericHubDevice(path.c_str(), static_cast<uint32_t>(path.size())),
          script_(std::move(script)) {}
    CScriptedDevice(const CScriptedDevice& other) = default;

    uint32_t GetConfigBlockSize() override { return script_->configBlockSize; }
    bool SetValidationMethod(uint32_t method) override {
        if (method > VALIDATION_NONE) return false;
        method_ = method;
        return true;
    }
    uint32_t GetValidationMethod() override { return method_; }
    bool SetStorageMode(uint32_t mode) override {
        mode_ = mode;
        return true;
    }
    uint32_t GetStorageMode() override { return mode_; }
    int32_t ProgramDevice() override {
        if (script_->entered) SetEvent(script_->entered);
        if (script_->gate) WaitForSingleObject(script_->gate, 10000);
        SetHubStatus(script_->finalStatus);
        return script_->result;
    }
    CDevice* Clone() override { return new CScriptedDevice(*this); }

private:
    std::shared_ptr<Script> script_;
    uint32_t method_ = VALIDATION_NONE;
    uint32_t mode_ = STORAGE_UNKNOWN;
};

// Puts a scripted hub in the library's queue; programming required unless
// told otherwise.
inline std::shared_ptr<Script> Queue(const std::wstring& path, bool programmingRequired = true,
                                     uint32_t validation = VALIDATION_NONE,
                                     bool rebootPending = false) {
    auto script = std::make_shared<Script>();
    auto device = std::make_unique<CScriptedDevice>(path, script);
    device->rebootPending = rebootPending;
    device->SetProgrammingRequired(programmingRequired);
    device->SetValidationMethod(validation);
    device->SetStorageMode(STORAGE_OTP);
    DeviceQueue().Append(std::move(device));
    return script;
}
inline std::shared_ptr<Script> Queue(wchar_t letter, bool programmingRequired = true,
                                     uint32_t validation = VALIDATION_NONE,
                                     bool rebootPending = false) {
    return Queue(HubPath(letter), programmingRequired, validation, rebootPending);
}

inline void EmptyQueue() {
    for (const std::wstring& path : AllHubPaths()) {
        while (DeviceQueue().RemoveDevice(path.c_str()) == RESULT_SUCCESS) {
        }
    }
}

// The simulated line, loaded before the first use of the hardware seam; then
// the live tree is enumerated once and the device change monitor stopped.
inline bool StartLibraryOnSimulatedLine(int batchControllers = kBatchControllers) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
    HMODULE sim = LoadLibraryW(L"UsbSim.dll");
    if (sim == nullptr) return false;
    auto load = reinterpret_cast<PfnUsbSimLoadJson>(
        reinterpret_cast<void*>(GetProcAddress(sim, "UsbSimLoadJson")));
    if (load == nullptr || load(Line(batchControllers).c_str(), nullptr) != USBSIM_OK) return false;
    // Known before the walk, the hubs only get their indices from it and
    // never go through a family decision.
    for (const std::wstring& path : AllHubPaths()) {
        DeviceQueue().Append(
            std::make_unique<CGenericHubDevice>(path.c_str(), static_cast<uint32_t>(path.size())));
    }
    if (LiveTree() == nullptr) return false;
    // The tests queue and unqueue hubs by hand and refresh the live tree
    // themselves: no monitor changes either behind their back.
    StopEnumeration();
    return true;
}

// Hot plug on the simulated line; true when the simulator did it.
inline bool UnplugBoard(const wchar_t* position) {
    auto detach = reinterpret_cast<PfnUsbSimDetach>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimDetach")));
    return detach != nullptr && detach(position) == USBSIM_OK;
}
inline bool PlugBoard(const wchar_t* position, const char* board) {
    auto attach = reinterpret_cast<PfnUsbSimAttachJson>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimAttachJson")));
    return attach != nullptr && attach(position, board) == USBSIM_OK;
}

// Polls until the manager thread has ended.
inline bool WaitUntilManagerEnds(DWORD timeoutMs = 10000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (IsProgrammerManagerRunning()) {
        if (GetTickCount64() > end) return false;
        Sleep(1);
    }
    return true;
}

}  // namespace manager_test
