// The system timer's resolution while a programming run is active. The
// manager pauses 1 ms between passes; at Windows' default timer tick
// (15.6 ms) such a pause lasts a whole tick, so a run asks for 1 ms ticks
// and gives them back when it ends.
#pragma once

#include <windows.h>

#include <mmsystem.h>

// Tests watch the requests: replaces timeBeginPeriod and timeEndPeriod
// (null: the system's again). They answer TIMERR_NOERROR or a failure.
using TimerPeriodFunction = UINT(WINAPI*)(UINT periodMs);
void SetTimerPeriodFunctions(TimerPeriodFunction begin, TimerPeriodFunction end);

class CFineTimerResolution {
public:
    CFineTimerResolution();
    ~CFineTimerResolution();
    CFineTimerResolution(const CFineTimerResolution&) = delete;
    CFineTimerResolution& operator=(const CFineTimerResolution&) = delete;

private:
    TimerPeriodFunction end_ = nullptr;  // set once the resolution was raised
};
