// Windows registered for device-interface notifications through the seam, and
// delivery of WM_DEVICECHANGE to them. Deliver queues the messages and returns;
// the notification thread sends them (SendMessage, handled on the window's own
// thread) without the model's lock, since receivers call straight back into it.
#pragma once

#include <windows.h>
#include <dbt.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BusyCount.h"
#include "NotificationQueue.h"
#include "SimModel.h"

namespace usbsim {

class CDeviceNotifications {
public:
    // Queued messages count as work under way in `busy` until they were sent.
    explicit CDeviceNotifications(CBusyCount& busy);

    // Null with the thread's last error set when the filter is not one we serve
    // (*passOn is then true: a handle or service registration goes to Windows).
    HDEVNOTIFY Register(HANDLE recipient, LPVOID filter, DWORD flags, bool* passOn);
    // False when the handle is not ours.
    bool Unregister(HDEVNOTIFY handle);

    // Queues DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE for each event, in
    // order, to every window registered for its class; returns at once. Safe
    // under the model's lock: queue there, so the messages keep the order of
    // the changes.
    void Deliver(std::vector<InterfaceEvent> events, bool arrival);
    // Messages queued from now on wait delayMs before they are sent.
    void SetDelay(DWORD delayMs) { queue_.SetDelay(delayMs); }
    // Drops what is queued and not yet being sent (a new model replaced the old).
    void DropQueued();

private:
    // Sends the messages of one batch; the notification thread's work.
    void Send(const std::vector<InterfaceEvent>& events, bool arrival);

    struct Registration {
        std::unique_ptr<char> token;  // its address is the HDEVNOTIFY
        HWND window = nullptr;
        bool allClasses = false;
        GUID classGuid = {};
    };
    std::mutex lock_;
    std::vector<Registration> registrations_;
    CNotificationQueue queue_;
};

// "{f18a0e88-c30c-11d0-8815-00a0c906bed8}" -> GUID; false when malformed.
bool ParseGuid(const std::wstring& text, GUID& guid);

}  // namespace usbsim
