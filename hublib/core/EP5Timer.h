// One hub's wait for its fifth endpoint: a thread of the library that waits
// out the wait time and then hands the hub to the device queue, unless the
// wait was cancelled first.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Win32Handles.h"

class CEP5Timer {
public:
    // Called on the timer's thread when the wait ran out without a cancel.
    using Expired = std::function<void(CEP5Timer& timer)>;

    // Starts the waiting thread; null when it cannot be started.
    static std::shared_ptr<CEP5Timer> Start(const std::wstring& path, uint32_t waitMs,
                                            Expired expired);
    ~CEP5Timer();
    CEP5Timer(const CEP5Timer&) = delete;
    CEP5Timer& operator=(const CEP5Timer&) = delete;

    // Ends the wait early. Whoever calls it and whoever reads IsCancelled in
    // the expiry hold one lock, so a cancelled timer never goes on past that
    // check.
    void Cancel();
    bool IsCancelled() const { return cancelled_; }

    const std::wstring& Path() const { return path_; }
    DWORD ThreadId() const { return threadId_; }

private:
    CEP5Timer(const std::wstring& path, uint32_t waitMs, Expired expired);
    static DWORD WINAPI Run(LPVOID parameter);

    const std::wstring path_;
    const uint32_t waitMs_;
    const Expired expired_;
    CSystemHandle cancelEvent_;
    CSystemHandle thread_;
    DWORD threadId_ = 0;
    std::atomic<bool> cancelled_{false};
};
