// Windows registered for device-interface notifications through the seam, and
// delivery of WM_DEVICECHANGE to them. Delivery is SendMessage (handled on the
// window's own thread); the notification thread calls it without the model's
// lock, since receivers call straight back into the model.
#pragma once

#include <windows.h>
#include <dbt.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimModel.h"

namespace usbsim {

class CDeviceNotifications {
public:
    // Null with the thread's last error set when the filter is not one we serve
    // (*passOn is then true: a handle or service registration goes to Windows).
    HDEVNOTIFY Register(HANDLE recipient, LPVOID filter, DWORD flags, bool* passOn);
    // False when the handle is not ours.
    bool Unregister(HDEVNOTIFY handle);

    // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE for each event, in order,
    // to every window registered for its class. Returns the messages sent.
    int Deliver(const std::vector<InterfaceEvent>& events, bool arrival);

private:
    struct Registration {
        std::unique_ptr<char> token;  // its address is the HDEVNOTIFY
        HWND window = nullptr;
        bool allClasses = false;
        GUID classGuid = {};
    };
    std::mutex lock_;
    std::vector<Registration> registrations_;
};

// "{f18a0e88-c30c-11d0-8815-00a0c906bed8}" -> GUID; false when malformed.
bool ParseGuid(const std::wstring& text, GUID& guid);

}  // namespace usbsim
