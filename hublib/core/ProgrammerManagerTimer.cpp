#include "ProgrammerManagerTimer.h"

namespace {

constexpr UINT kPeriodMs = 1;

TimerPeriodFunction g_begin = nullptr;
TimerPeriodFunction g_end = nullptr;

UINT WINAPI SystemBegin(UINT periodMs) {
    return timeBeginPeriod(periodMs);
}
UINT WINAPI SystemEnd(UINT periodMs) {
    return timeEndPeriod(periodMs);
}

}  // namespace

CFineTimerResolution::CFineTimerResolution() {
    if ((g_begin ? g_begin : SystemBegin)(kPeriodMs) == TIMERR_NOERROR) {
        end_ = g_end ? g_end : SystemEnd;
    }
}

CFineTimerResolution::~CFineTimerResolution() {
    if (end_ != nullptr) end_(kPeriodMs);
}

void SetTimerPeriodFunctions(TimerPeriodFunction begin, TimerPeriodFunction end) {
    g_begin = begin;
    g_end = end;
}
