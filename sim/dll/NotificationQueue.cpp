// The queue of notification batches and its delivery thread.
#include "NotificationQueue.h"

#include <string>

namespace usbsim {

CNotificationQueue::CNotificationQueue(Deliverer deliver, CBusyCount& busy)
    : deliver_(std::move(deliver)), busy_(busy) {}

void CNotificationQueue::Post(std::vector<InterfaceEvent> events, bool arrival) {
    if (events.empty()) return;
    busy_.Begin();
    std::lock_guard<std::mutex> guard(lock_);
    batches_.push_back(Batch{std::move(events), arrival, GetTickCount64() + delayMs_});
    StartThreadLocked();
}

void CNotificationQueue::SetDelay(DWORD delayMs) {
    std::lock_guard<std::mutex> guard(lock_);
    delayMs_ = delayMs;
}

void CNotificationQueue::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    for (size_t i = 0; i < batches_.size(); ++i) busy_.End();
    batches_.clear();
}

void CNotificationQueue::StartThreadLocked() {
    if (running_) return;
    auto* start = new ThreadStart{this, nullptr};
    // The thread keeps this module loaded until it ends, so a FreeLibrary of
    // the simulator never pulls the code from under a delivery.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&CNotificationQueue::ThreadMain), &start->module);
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread);
        running_ = true;
        return;
    }
    // The batches stay queued; the next post tries again.
    std::wstring text = L"UsbSim: cannot start the notification thread (error " +
                        std::to_wstring(GetLastError()) + L")\n";
    OutputDebugStringW(text.c_str());
    if (start->module != nullptr) FreeLibrary(start->module);
    delete start;
}

DWORD WINAPI CNotificationQueue::ThreadMain(LPVOID parameter) {
    auto* start = static_cast<ThreadStart*>(parameter);
    CNotificationQueue* queue = start->queue;
    HMODULE module = start->module;
    delete start;
    queue->Run();
    if (module != nullptr) FreeLibraryAndExitThread(module, 0);
    return 0;
}

void CNotificationQueue::Run() {
    for (;;) {
        Batch batch;
        DWORD wait = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (batches_.empty()) {
                // A later post starts a new thread; this one only returns now.
                running_ = false;
                return;
            }
            // A batch that is not due stays queued meanwhile, so Clear still drops it.
            const ULONGLONG now = GetTickCount64();
            if (batches_.front().due > now) {
                wait = static_cast<DWORD>(batches_.front().due - now);
            } else {
                batch = std::move(batches_.front());
                batches_.pop_front();
            }
        }
        if (wait != 0) {
            ::Sleep(wait);
            continue;
        }
        deliver_(batch.events, batch.arrival);
        busy_.End();
    }
}

}  // namespace usbsim
