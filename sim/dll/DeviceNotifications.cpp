// Device-interface notification registrations and WM_DEVICECHANGE delivery.
#include "DeviceNotifications.h"

#include <cstring>
#include <cwchar>

namespace usbsim {

bool ParseGuid(const std::wstring& text, GUID& guid) {
    unsigned int d1 = 0, d2 = 0, d3 = 0, b[8] = {};
    if (text.size() != 38 ||
        swscanf(text.c_str(), L"{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0],
                &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]) != 11) {
        return false;
    }
    guid.Data1 = d1;
    guid.Data2 = static_cast<unsigned short>(d2);
    guid.Data3 = static_cast<unsigned short>(d3);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<unsigned char>(b[i]);
    return true;
}

CDeviceNotifications::CDeviceNotifications(CBusyCount& busy)
    : queue_([this](const std::vector<InterfaceEvent>& events,
                    bool arrival) { Send(events, arrival); },
             busy) {}

void CDeviceNotifications::Deliver(std::vector<InterfaceEvent> events, bool arrival) {
    queue_.Post(std::move(events), arrival);
}

void CDeviceNotifications::DropQueued() {
    queue_.Clear();
}

HDEVNOTIFY CDeviceNotifications::Register(HANDLE recipient, LPVOID filter, DWORD flags,
                                          bool* passOn) {
    *passOn = false;
    if (filter == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* header = static_cast<const DEV_BROADCAST_HDR*>(filter);
    if ((flags & DEVICE_NOTIFY_SERVICE_HANDLE) != 0 ||
        header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        *passOn = true;
        return nullptr;
    }
    auto* wanted = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(filter);
    if (wanted->dbcc_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    if (!IsWindow(static_cast<HWND>(recipient))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Registration registration;
    registration.token.reset(new char);
    registration.window = static_cast<HWND>(recipient);
    registration.allClasses = (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0;
    registration.classGuid = wanted->dbcc_classguid;
    auto handle = static_cast<HDEVNOTIFY>(registration.token.get());
    std::lock_guard<std::mutex> guard(lock_);
    registrations_.push_back(std::move(registration));
    return handle;
}

bool CDeviceNotifications::Unregister(HDEVNOTIFY handle) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = registrations_.begin(); it != registrations_.end(); ++it) {
        if (it->token.get() == handle) {
            registrations_.erase(it);
            return true;
        }
    }
    return false;
}

void CDeviceNotifications::Send(const std::vector<InterfaceEvent>& events, bool arrival) {
    struct Target {
        HWND window;
        bool allClasses;
        GUID classGuid;
    };
    std::vector<Target> targets;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& r : registrations_) {
            targets.push_back(Target{r.window, r.allClasses, r.classGuid});
        }
    }
    for (const auto& event : events) {
        GUID classGuid;
        if (!ParseGuid(event.classGuid, classGuid)) continue;
        // The broadcast carries the interface path inline after the fixed head.
        size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                      (event.path.size() + 1) * sizeof(wchar_t);
        std::vector<char> buffer(size, 0);
        auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
        broadcast->dbcc_size = static_cast<DWORD>(size);
        broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        broadcast->dbcc_reserved = 0;
        broadcast->dbcc_classguid = classGuid;
        memcpy(broadcast->dbcc_name, event.path.c_str(), (event.path.size() + 1) * sizeof(wchar_t));
        for (const auto& target : targets) {
            if (!target.allClasses && !IsEqualGUID(target.classGuid, classGuid)) continue;
            if (!IsWindow(target.window)) continue;
            SendMessageW(target.window, WM_DEVICECHANGE,
                         arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                         reinterpret_cast<LPARAM>(broadcast));
        }
    }
}

}  // namespace usbsim
