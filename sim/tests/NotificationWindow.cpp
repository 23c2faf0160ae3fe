// Test window that records device-interface notifications.
#include "NotificationWindow.h"

#include <cfgmgr32.h>

namespace simtest {

std::wstring InstanceIdOfPath(const std::wstring& path) {
    if (path.size() < 43) return L"";
    std::wstring id = path.substr(4);
    id[3] = id[21] = L'\\';
    id.resize(id.size() - 39);
    return id;
}

CNotificationWindow::CNotificationWindow(const HardwareApi& api, const GUID& classGuid,
                                         bool allClasses)
    : api_(api), classGuid_(classGuid), allClasses_(allClasses) {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_);
    WaitForSingleObject(ready_, 10000);
}

CNotificationWindow::~CNotificationWindow() {
    if (registration_ != nullptr) api_.UnregisterDeviceNotification(registration_);
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(ready_);
}

std::vector<Broadcast> CNotificationWindow::Take() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Broadcast> taken;
    taken.swap(received_);
    return taken;
}

bool CNotificationWindow::Unregister() {
    bool ok = api_.UnregisterDeviceNotification(registration_) != FALSE;
    registration_ = nullptr;
    return ok;
}

void CNotificationWindow::Record(WPARAM event, const DEV_BROADCAST_DEVICEINTERFACE_W* broadcast) {
    Broadcast b{event, broadcast->dbcc_classguid, broadcast->dbcc_name, false};
    DEVINST node = 0;
    std::wstring id = InstanceIdOfPath(b.path);
    b.presentDuringMessage =
        api_.CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(id.c_str()), 0) == CR_SUCCESS;
    std::lock_guard<std::mutex> guard(lock_);
    received_.push_back(b);
}

LRESULT CALLBACK CNotificationWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    auto* self = reinterpret_cast<CNotificationWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_DEVICECHANGE && self != nullptr && lParam != 0) {
        auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            self->Record(wParam, reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam));
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI CNotificationWindow::ThreadMain(LPVOID param) {
    auto* self = static_cast<CNotificationWindow*>(param);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"SimTestNotificationWindow";
    RegisterClassW(&windowClass);  // fails harmlessly when registered already
    self->window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr,
                                    nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrW(self->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = self->classGuid_;
    self->registration_ = self->api_.RegisterDeviceNotificationW(
        self->window_, &filter,
        DEVICE_NOTIFY_WINDOW_HANDLE |
            (self->allClasses_ ? DEVICE_NOTIFY_ALL_INTERFACE_CLASSES : 0));
    SetEvent(self->ready_);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DestroyWindow(self->window_);
    return 0;
}

}  // namespace simtest
