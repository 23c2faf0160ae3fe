// The one simulator of the process: the model and its lock, the handles,
// notification registrations and the pipe server, and the operations behind
// the exports (load, reset, attach, detach). Hot plug changes the model under
// the lock and posts its notifications there; the notification thread delivers
// them later, without the lock.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "BusyCount.h"
#include "DeviceNotifications.h"
#include "PipeServer.h"
#include "SimHandles.h"
#include "SimModel.h"

struct HardwareApi;

namespace usbsim {

class CSimulator {
public:
    // Created on first use and never destroyed: threads of the simulator may
    // still run while the process shuts down.
    static CSimulator& Instance();

    // Runs f(model) under the model's lock.
    template <typename F>
    auto WithModel(F f) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        return f(model_);
    }
    CSimHandles& Handles() { return handles_; }
    CDeviceNotifications& Notifications() { return notifications_; }
    double TimeScale() const { return timeScale_.load(); }

    // Loads ZRV_USBSIM on the first call when nothing is loaded; null when broken.
    const HardwareApi* Api();

    int LoadFile(const std::wstring& path);
    int LoadJson(const std::string& json, const std::wstring& baseDir);
    int Reset();
    int AttachFile(const std::wstring& position, const std::wstring& boardPath);
    int AttachJson(const std::wstring& position, const std::string& json,
                   const std::wstring& baseDir, const std::string& source);
    int Detach(const std::wstring& position);

    // Writes every chip memory to the state file (ZRV_USBSIM_STATE) when one is
    // named; call after changing a memory. Safe under the model's lock.
    void MemoryChanged();
    // The hub or device leaves the bus now (removal notifications) and after
    // awayMs, divided by the time scale, comes back on its port built from its
    // current spec with `change` applied (arrival notifications). Returns at
    // once; safe under the model's lock. Nothing returns when the port went away.
    // `restart`, when given, is what the restart does to the chip: it runs
    // under the lock as the node leaves, so nothing on the bus sees it before.
    using Restart = std::function<void(CSimModel&, const SimNode&)>;
    void LeaveAndReturn(uint32_t nodeId, double awayMs, std::function<void(DeviceSpec&)> change,
                        Restart restart = nullptr);
    // Other simulator threads that change the bus later count for WaitIdle too.
    void BeginBackgroundChange();
    void EndBackgroundChange();
    // Waits until no leave-and-return or other background change is under way
    // and every notification was delivered; false on timeout.
    bool WaitIdle(uint32_t timeoutMs);
    // A copy of one memory area of a chip, by instance ID; false when there is none.
    bool ReadChipMemory(const std::wstring& instanceId, const std::string& area,
                        std::vector<uint8_t>& bytes);

    std::wstring LastError();
    std::wstring PipeName();
    void Shutdown();

private:
    CSimulator() = default;
    int Fail(int code, const std::string& error);
    int Install(const std::string& json, const std::wstring& baseDir, const std::string& source);
    void StartPipe();
    // Merges the state file's chips into `model`; false with an error when it is unreadable.
    bool LoadState(CSimModel& model, std::string& error);

public:
    // The body of LeaveAndReturn, on its thread.
    void RunLeaveAndReturn(uint32_t nodeId, double awayMs,
                           const std::function<void(DeviceSpec&)>& change, const Restart& restart);

private:
    std::string HandlePipeRequest(const std::string& request);

    std::recursive_mutex lock_;  // guards model_ and what was loaded
    CSimModel model_;
    bool loaded_ = false;
    std::string json_;  // the loaded fixture, for Reset
    std::wstring baseDir_;
    std::string source_;
    std::wstring fullPath_;  // empty when loaded from text

    std::once_flag envOnce_;
    const HardwareApi* envApi_ = nullptr;
    std::atomic<double> timeScale_{1};
    CSimHandles handles_;
    CBusyCount busy_;  // leave-and-return operations and notification batches
    CDeviceNotifications notifications_{busy_};

    std::mutex pipeLock_;
    CPipeServer pipe_;

    std::wstring statePath_;  // ZRV_USBSIM_STATE when set, read at each load
    ChipMemories saved_;      // the chips as the state file last had them

    std::mutex errorLock_;
    std::wstring lastError_;
};

// The simulator's hardware table (HardwareTable.cpp).
const HardwareApi* SimHardwareApi();

}  // namespace usbsim
