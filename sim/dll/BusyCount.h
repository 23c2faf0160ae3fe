// Counts the simulator's work under way (notification batches not yet
// delivered, hubs away in a reboot) and lets a caller wait until none is left.
// The wait keeps handling messages sent to the waiting thread's windows, so a
// thread that owns a registered window can wait for its own notifications.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>

namespace usbsim {

class CBusyCount {
public:
    CBusyCount();
    ~CBusyCount();
    CBusyCount(const CBusyCount&) = delete;
    CBusyCount& operator=(const CBusyCount&) = delete;

    void Begin();
    void End();
    // True once nothing is under way; false when timeoutMs passed first.
    bool WaitIdle(uint32_t timeoutMs);

private:
    std::mutex lock_;
    int count_ = 0;
    HANDLE idle_ = nullptr;  // manual-reset, set while count_ is 0
};

}  // namespace usbsim
