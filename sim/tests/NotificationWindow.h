// A hidden window on a thread of its own, registered through the simulator's
// table for device-interface notifications, that records every WM_DEVICECHANGE
// and, while handling it, asks the model whether the device is present (the
// library's monitor calls back into the model the same way).
#pragma once

#include <windows.h>
#include <dbt.h>

#include <mutex>
#include <string>
#include <vector>

#include "HardwareApi.h"

namespace simtest {

struct Broadcast {
    WPARAM event;
    GUID classGuid;
    std::wstring path;
    bool presentDuringMessage;
};

class CNotificationWindow {
public:
    // allClasses: DEVICE_NOTIFY_ALL_INTERFACE_CLASSES instead of the one class.
    CNotificationWindow(const HardwareApi& api, const GUID& classGuid, bool allClasses = false);
    ~CNotificationWindow();

    HWND Window() const { return window_; }
    std::vector<Broadcast> Take();
    bool Unregister();

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Record(WPARAM event, const DEV_BROADCAST_DEVICEINTERFACE_W* broadcast);

    const HardwareApi& api_;
    GUID classGuid_;
    bool allClasses_;
    HWND window_ = nullptr;
    HDEVNOTIFY registration_ = nullptr;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    std::mutex lock_;
    std::vector<Broadcast> received_;
};

// The library's path-to-instance transformation.
std::wstring InstanceIdOfPath(const std::wstring& path);

}  // namespace simtest
