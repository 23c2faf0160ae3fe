// Time taken by a stretch of code: the calling thread's CPU time, the whole
// process's CPU time (user plus kernel) and wall time.
#pragma once

#include <windows.h>

struct BenchTimes {
    double threadCpuMs = 0;
    double processCpuMs = 0;
    double wallMs = 0;
};

class CBenchClock {
public:
    CBenchClock() { Restart(); }
    void Restart();
    BenchTimes Elapsed() const;

private:
    static double ThreadCpuMs();
    static double ProcessCpuMs();
    double WallMs() const;

    double threadStart_ = 0;
    double processStart_ = 0;
    LARGE_INTEGER wallStart_ = {};
    LARGE_INTEGER frequency_ = {};
};
