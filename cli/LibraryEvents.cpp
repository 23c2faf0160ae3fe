#include "LibraryEvents.h"

namespace {

CEventQueue* g_queue = nullptr;

bool CarriesRecord(int32_t event) {
    return event == EVENT_HUB_STATUS || event == EVENT_DEVICE_ARRIVED ||
           event == EVENT_DEVICE_REMOVED || event == EVENT_DEVICE_FINISHED ||
           event == EVENT_HUB_RELEASED;
}

}  // namespace

CEventQueue::CEventQueue() : signal_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    InitializeCriticalSection(&lock_);
}

CEventQueue::~CEventQueue() {
    DeleteCriticalSection(&lock_);
    if (signal_) CloseHandle(signal_);
}

void CEventQueue::Push(const LibraryEvent& event) {
    EnterCriticalSection(&lock_);
    events_.push_back(event);
    LeaveCriticalSection(&lock_);
    SetEvent(signal_);
}

void CEventQueue::Wake() {
    SetEvent(signal_);
}

bool CEventQueue::Pop(LibraryEvent& event, DWORD timeoutMs) {
    for (int pass = 0; pass < 2; ++pass) {
        EnterCriticalSection(&lock_);
        const bool have = !events_.empty();
        if (have) {
            event = events_.front();
            events_.pop_front();
        }
        LeaveCriticalSection(&lock_);
        if (have) return true;
        if (pass == 0 && WaitForSingleObject(signal_, timeoutMs) != WAIT_OBJECT_0) return false;
    }
    return false;
}

void SetEventQueue(CEventQueue* queue) {
    g_queue = queue;
}

bool __cdecl OnLibraryEvent(uintptr_t data, int32_t event) {
    LibraryEvent copy;
    copy.event = event;
    if (CarriesRecord(event)) {
        auto* record = reinterpret_cast<NotificationRecord*>(data);
        if (record == nullptr) return true;
        copy.path.assign(record->DevicePath,
                         wcsnlen(record->DevicePath, static_cast<size_t>(kDevicePathLength)));
        copy.value = record->Value;
        HeapFree(GetProcessHeap(), 0, record);
    } else {
        copy.value = static_cast<int32_t>(static_cast<intptr_t>(data));
    }
    if (g_queue) g_queue->Push(copy);
    return true;
}
