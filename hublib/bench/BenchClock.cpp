#include "BenchClock.h"

namespace {

// FILETIME counts 100 ns units.
double Ms(const FILETIME& t) {
    ULARGE_INTEGER value;
    value.LowPart = t.dwLowDateTime;
    value.HighPart = t.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 10000.0;
}

}  // namespace

void CBenchClock::Restart() {
    QueryPerformanceFrequency(&frequency_);
    threadStart_ = ThreadCpuMs();
    processStart_ = ProcessCpuMs();
    QueryPerformanceCounter(&wallStart_);
}

BenchTimes CBenchClock::Elapsed() const {
    BenchTimes times;
    times.wallMs = WallMs();
    times.threadCpuMs = ThreadCpuMs() - threadStart_;
    times.processCpuMs = ProcessCpuMs() - processStart_;
    return times;
}

double CBenchClock::ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    return Ms(kernel) + Ms(user);
}

double CBenchClock::ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return Ms(kernel) + Ms(user);
}

double CBenchClock::WallMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - wallStart_.QuadPart) * 1000.0 /
           static_cast<double>(frequency_.QuadPart);
}
