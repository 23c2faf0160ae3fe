// The one simulator of the process: the model and its lock, the handles,
// notification registrations and the pipe server, and the operations behind
// the exports (load, reset, attach, detach). Hot plug changes the model under
// the lock and delivers notifications after releasing it.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

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

    std::wstring LastError();
    std::wstring PipeName();
    void Shutdown();

private:
    CSimulator() = default;
    int Fail(int code, const std::string& error);
    int Install(const std::string& json, const std::wstring& baseDir, const std::string& source);
    void StartPipe();
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
    CDeviceNotifications notifications_;

    std::mutex pipeLock_;
    CPipeServer pipe_;

    std::mutex errorLock_;
    std::wstring lastError_;
};

// The simulator's hardware table (HardwareTable.cpp).
const HardwareApi* SimHardwareApi();

}  // namespace usbsim
