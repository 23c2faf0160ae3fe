// Work under way and the wait for its end.
#include "BusyCount.h"

namespace usbsim {

CBusyCount::CBusyCount() : idle_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

CBusyCount::~CBusyCount() {
    if (idle_ != nullptr) CloseHandle(idle_);
}

void CBusyCount::Begin() {
    std::lock_guard<std::mutex> guard(lock_);
    if (count_++ == 0) ResetEvent(idle_);
}

void CBusyCount::End() {
    std::lock_guard<std::mutex> guard(lock_);
    if (--count_ == 0) SetEvent(idle_);
}

bool CBusyCount::WaitIdle(uint32_t timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        // A notification may be on its way to a window of this very thread:
        // handle sent messages while waiting, or the delivery could never end.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (WaitForSingleObject(idle_, 0) == WAIT_OBJECT_0) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        MsgWaitForMultipleObjectsEx(1, &idle_, static_cast<DWORD>(end - now), QS_SENDMESSAGE,
                                    MWMO_INPUTAVAILABLE);
    }
}

}  // namespace usbsim
