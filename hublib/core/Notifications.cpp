#include "Notifications.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

namespace {
// Read by the library's threads without a lock, so read and written atomically.
std::atomic<NotificationCallback> g_callback{nullptr};
}  // namespace

bool SetNotificationCallback(NotificationCallback callback) {
    if (callback == nullptr) return false;
    g_callback = callback;
    return true;
}

bool HasNotificationCallback() {
    return g_callback != nullptr;
}

void RaiseDeviceEvent(int32_t event, const wchar_t* path, int32_t value) {
    NotificationCallback callback = g_callback;
    if (callback == nullptr) return;
    auto* record = static_cast<NotificationRecord*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(NotificationRecord)));
    if (record == nullptr) return;
    if (path != nullptr) wcsncpy(record->DevicePath, path, kDevicePathLength - 1);
    record->Length = kDevicePathLength;
    record->Value = value;
    callback(reinterpret_cast<uintptr_t>(record), event);
}

void RaiseValueEvent(int32_t event, int32_t value) {
    NotificationCallback callback = g_callback;
    if (callback == nullptr) return;
    callback(static_cast<uintptr_t>(static_cast<intptr_t>(value)), event);
}
