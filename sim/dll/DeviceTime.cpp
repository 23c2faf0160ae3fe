#include "DeviceTime.h"

#include <windows.h>

#include <mutex>

#include "Simulator.h"

namespace usbsim {

namespace {

std::mutex g_lock;
DeviceTimeTotals g_totals;

double NowMs() {
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

// When this thread's device work is done; in the past when it is idle.
thread_local double t_dueMs = 0;

}  // namespace

void SpendChipTime(double unscaledMs) {
    if (unscaledMs <= 0) return;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_totals.chipMs += unscaledMs;
        ++g_totals.chipOperations;
    }
    const double now = NowMs();
    if (t_dueMs < now) t_dueMs = now;
    t_dueMs += unscaledMs / CSimulator::Instance().TimeScale();
    const double ahead = t_dueMs - now;
    if (ahead >= 1.0) ::Sleep(ahead >= 60000.0 ? 60000 : static_cast<DWORD>(ahead));
}

void CountPause(double unscaledMs) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_totals.pauseMs += unscaledMs;
    ++g_totals.pauses;
}

DeviceTimeTotals DeviceTime() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_totals;
}

void ResetDeviceTime() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_totals = DeviceTimeTotals();
}

}  // namespace usbsim
