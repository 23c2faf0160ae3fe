// One programming thread per hub of a batch: it programs its own copy of the
// hub's device and reports to the manager thread with thread messages.
#pragma once

#include <windows.h>

#include <memory>

#include "Device.h"

// Messages the manager thread receives.
constexpr UINT kMsgDeviceFinished = WM_USER + 256;  // wParam thread id, lParam result
constexpr UINT kMsgHubStatus = WM_USER + 257;       // wParam thread id, lParam status
constexpr UINT kMsgHubReleased = WM_USER + 258;     // wParam path buffer, lParam capacity

struct ProgrammingJob {
    std::unique_ptr<CDevice> device;  // the thread's own copy
    DWORD managerThreadId = 0;        // where the reports go
};

// Thread procedure; takes ownership of a heap-allocated ProgrammingJob.
DWORD WINAPI ProgramDeviceThread(LPVOID job);
