#include "DeviceChangeMonitor.h"

#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <cwchar>
#include <memory>
#include <string>

#include "DeviceQueue.h"
#include "HardwareApi.h"
#include "LibraryState.h"
#include "Logger.h"
#include "Notifications.h"
#include "TreeState.h"
#include "Win32Handles.h"

namespace {

constexpr wchar_t kWindowClass[] = L"new";
constexpr UINT kStopMessage = WM_USER + 199;
constexpr DWORD kStopWaitMs = 5000;
constexpr DWORD kStartWaitMs = 5000;

const GUID kHubInterfaceClass = {
    0xf18a0e88, 0xc30c, 0x11d0, {0x88, 0x15, 0x00, 0xa0, 0xc9, 0x06, 0xbe, 0xd8}};
const GUID kEp5InterfaceGuid = {
    0x6c2e9a14, 0x7b3d, 0x4f58, {0xa1, 0xc6, 0x2d, 0x8e, 0x5f, 0x0b, 0x9c, 0x37}};

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32, "notification filter");

CCriticalSection g_monitorLock;
HANDLE g_monitorThread = nullptr;
DWORD g_monitorThreadId = 0;

// The module whose class the window uses: the library, or the program the
// internals are linked into.
HINSTANCE ModuleInstance() {
    if (LibraryInstance() != nullptr) return LibraryInstance();
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
    return module;
}

// The interface path a broadcast carries, read no further than its size says.
std::wstring InterfaceName(const DEV_BROADCAST_DEVICEINTERFACE_W& broadcast) {
    const size_t head = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (broadcast.dbcc_size <= head) return L"";
    const size_t chars = (broadcast.dbcc_size - head) / sizeof(wchar_t);
    return std::wstring(broadcast.dbcc_name, wcsnlen(broadcast.dbcc_name, chars));
}

uint32_t PathBytes(const std::wstring& path) {
    return static_cast<uint32_t>(path.size() * sizeof(wchar_t));
}

void OnInterfaceRemoved(const GUID& interfaceClass, const std::wstring& name) {
    if (IsEqualGUID(interfaceClass, kHubInterfaceClass)) DeviceQueue().RemoveDevice(name.c_str());
    {
        // The live tree stays put while its user holds the queue's lock.
        CDeviceQueueLock hold;
        IDeviceTree* tree = LiveTree();
        if (tree == nullptr) return;
        tree->Refresh();
    }
    RaiseDeviceEvent(EVENT_DEVICE_REMOVED, name.c_str(), 0);
}

void OnInterfaceArrived(const GUID& interfaceClass, const std::wstring& name) {
    std::wstring report;
    {
        CDeviceQueueLock hold;
        IDeviceTree* tree = LiveTree();
        if (tree == nullptr) return;
        tree->Refresh();
        if (IsEqualGUID(interfaceClass, kEp5InterfaceGuid)) {
            // The fifth-port function hangs below its hub: the hub is the news.
            int32_t controller = -1, index = -1;
            std::unique_ptr<IUsbNode> node(tree->FindNode(name.c_str(), &controller, &index));
            std::unique_ptr<IUsbNode> parent(
                node ? tree->GetNode(controller, node->GetParentIndex()) : nullptr);
            if (parent && parent->GetNodeType() == NODE_TYPE_HUB) {
                report = parent->GetDevicePath();
                DeviceQueue().EP5Arrived(report.c_str(), PathBytes(report));
            }
        } else {
            report = name;
        }
    }
    RaiseDeviceEvent(EVENT_DEVICE_ARRIVED, report.c_str(), 0);
}

LRESULT CALLBACK wndproc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CLogger log(L"wndproc");
    if (message == WM_DEVICECHANGE && lParam != 0 &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            const auto& broadcast =
                *reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
            const std::wstring name = InterfaceName(broadcast);
            if (wParam == DBT_DEVICEARRIVAL) {
                OnInterfaceArrived(broadcast.dbcc_classguid, name);
            } else {
                OnInterfaceRemoved(broadcast.dbcc_classguid, name);
            }
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The two registrations of the window, undone when the monitor ends.
class CNotificationRegistrations {
public:
    ~CNotificationRegistrations() {
        for (HDEVNOTIFY handle : handles_) {
            if (handle != nullptr) Hw().UnregisterDeviceNotification(handle);
        }
    }
    bool Add(HWND window, const GUID& interfaceClass) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = interfaceClass;
        HDEVNOTIFY handle =
            Hw().RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (handle == nullptr) return false;
        handles_[count_++] = handle;
        return true;
    }

private:
    HDEVNOTIFY handles_[2] = {};
    int count_ = 0;
};

int32_t RegisterDevice(HWND window, CNotificationRegistrations& registrations) {
    CLogger log(L"RegisterDevice");
    if (!registrations.Add(window, kHubInterfaceClass)) {
        log.Write(2, L"Device Registeration for USB Hub failed");
        return -1;
    }
    if (!registrations.Add(window, kEp5InterfaceGuid)) {
        log.Write(2, L"Device Registeration for Torvik 5th port failed");
        return -1;
    }
    return 0;
}

// Tells the starter that the monitor listens (or never will).
class CStartSignal {
public:
    explicit CStartSignal(HANDLE event) : event_(event) {}
    ~CStartSignal() { Give(); }
    void Give() {
        if (event_ == nullptr) return;
        SetEvent(event_);
        CloseHandle(event_);
        event_ = nullptr;
    }

private:
    HANDLE event_;
};

class CWindowClass {
public:
    explicit CWindowClass(HINSTANCE instance) : instance_(instance) {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = wndproc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        registered_ = RegisterClassExW(&windowClass) != 0;
    }
    ~CWindowClass() {
        if (registered_) UnregisterClassW(kWindowClass, instance_);
    }
    bool Registered() const { return registered_; }

private:
    HINSTANCE instance_;
    bool registered_ = false;
};

class CHiddenWindow {
public:
    explicit CHiddenWindow(HINSTANCE instance)
        : window_(CreateWindowExW(0, kWindowClass, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr)) {}
    ~CHiddenWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    HWND Get() const { return window_; }

private:
    HWND window_;
};

DWORD WINAPI DeviceChangeMonitor(LPVOID parameter) {
    CLogger log(L"DeviceChangeMonitor");
    CStartSignal started(static_cast<HANDLE>(parameter));
    const HINSTANCE instance = ModuleInstance();
    // Declared in this order, so the registrations go first, then the window,
    // then the class: a monitor that ended leaves nothing behind, and the
    // next one can register all of it again.
    CWindowClass windowClass(instance);
    if (!windowClass.Registered()) {
        log.Write(1, L"RegisterClass failed with error code %d", static_cast<int>(GetLastError()));
        return 0;
    }
    CHiddenWindow window(instance);
    if (window.Get() == nullptr) {
        log.Write(1, L"No Window");
        return 0;
    }
    CNotificationRegistrations registrations;
    if (RegisterDevice(window.Get(), registrations) != 0) {
        log.Write(1, L"Window registration failed");
        return 0;
    }
    ShowWindow(window.Get(), SW_HIDE);
    UpdateWindow(window.Get());
    started.Give();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == kStopMessage) break;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int32_t StartDeviceChangeMonitor() {
    CLogger log(L"StartEnumeration");
    CSystemHandle started;
    {
        CCriticalSectionGuard hold(g_monitorLock);
        if (g_monitorThread != nullptr && g_monitorThread != INVALID_HANDLE_VALUE) return 0;
        g_monitorThreadId = 0;
        // One handle for the thread to signal and close, one to wait on here.
        started.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        HANDLE forThread = nullptr;
        if (started.Valid()) {
            DuplicateHandle(GetCurrentProcess(), started.Get(), GetCurrentProcess(), &forThread, 0,
                            FALSE, DUPLICATE_SAME_ACCESS);
        }
        DWORD id = 0;
        HANDLE thread = StartLibraryThread(DeviceChangeMonitor, forThread, &id);
        if (thread == nullptr) {
            const DWORD error = GetLastError();
            if (forThread != nullptr) CloseHandle(forThread);
            log.Write(1, L"CreateThread failed with error code %d", static_cast<int>(error));
            return -1;
        }
        g_monitorThread = thread;
        g_monitorThreadId = id;
    }
    // A hub plugged in once this returns is heard of. Nothing is held here that
    // the starting monitor needs.
    if (started.Valid()) WaitForSingleObject(started.Get(), kStartWaitMs);
    return 0;
}

void StopDeviceChangeMonitor() {
    CLogger log(L"StopEnumeration");
    HANDLE thread = nullptr;
    DWORD id = 0;
    {
        CCriticalSectionGuard hold(g_monitorLock);
        thread = g_monitorThread;
        id = g_monitorThreadId;
    }
    if (thread == nullptr || thread == INVALID_HANDLE_VALUE) return;
    if (id != 0) PostThreadMessageW(id, kStopMessage, 0, 0);
    // Called by the monitor itself (from a callback): it ends once the message
    // in hand is done.
    if (id == GetCurrentThreadId()) return;
    WaitForSingleObject(thread, kStopWaitMs);
    // The handle stays: a stopped monitor is not started again by this
    // instance of the library.
    CCriticalSectionGuard hold(g_monitorLock);
    g_monitorThreadId = 0;
}

void ReleaseDeviceChangeMonitor() {
    if (g_monitorThread != nullptr && g_monitorThread != INVALID_HANDLE_VALUE) {
        CloseHandle(g_monitorThread);
    }
    g_monitorThread = nullptr;
    g_monitorThreadId = 0;
}
