#include "EP5Timer.h"

#include <new>

#include "HardwareApi.h"
#include "LibraryState.h"

CEP5Timer::CEP5Timer(const std::wstring& path, uint32_t waitMs, Expired expired)
    : path_(path),
      waitMs_(waitMs),
      expired_(expired),
      cancelEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CEP5Timer::~CEP5Timer() = default;

std::shared_ptr<CEP5Timer> CEP5Timer::Start(const std::wstring& path, uint32_t waitMs,
                                            Expired expired) {
    std::shared_ptr<CEP5Timer> timer(new (std::nothrow) CEP5Timer(path, waitMs, expired));
    if (!timer || !timer->cancelEvent_.Valid()) return nullptr;
    // The thread owns a share of the timer, so the timer outlives the wait
    // even when the queue has dropped its entry meanwhile.
    auto* share = new (std::nothrow) std::shared_ptr<CEP5Timer>(timer);
    if (share == nullptr) return nullptr;
    DWORD id = 0;
    HANDLE thread = StartLibraryThread(Run, share, &id);
    if (thread == nullptr) {
        delete share;
        return nullptr;
    }
    timer->thread_.Reset(thread);
    timer->threadId_ = id;
    return timer;
}

void CEP5Timer::Cancel() {
    cancelled_ = true;
    SetEvent(cancelEvent_.Get());
}

DWORD WINAPI CEP5Timer::Run(LPVOID parameter) {
    std::shared_ptr<CEP5Timer> timer =
        std::move(*static_cast<std::shared_ptr<CEP5Timer>*>(parameter));
    delete static_cast<std::shared_ptr<CEP5Timer>*>(parameter);
    // Through the seam, so a simulated line's time scale shortens the wait.
    Hw().WaitForSingleObject(timer->cancelEvent_.Get(), timer->waitMs_);
    if (!timer->cancelled_) timer->expired_(*timer);
    return 0;
}
