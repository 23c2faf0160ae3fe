#include "ProgrammingThread.h"

#include <string>

#include "DeviceQueue.h"
#include "HubStatusText.h"
#include "Logger.h"
#include "ProgrammerManager.h"
#include "TreeState.h"

namespace {
// The start status tells the tool what the thread is about to do.
uint32_t StartStatus(CDevice& device, CLogger& log) {
    if (!device.IsProgrammingRequired()) return HUB_STATUS_VERIFYING;
    const uint32_t method = device.GetValidationMethod();
    const wchar_t* path = device.GetDeviceInstanceID();
    if (method == VALIDATION_VERIFY || method == VALIDATION_VERIFY_ALT) {
        log.Write(2, L"Programming & Verifying Required for hub %s", path);
        return HUB_STATUS_PROGRAMMING_VERIFYING;
    }
    log.Write(2, L"Programming Required : Setting hub status of %s to PROGRAMMING", path);
    return HUB_STATUS_PROGRAMMING;
}

// Counts the run at the hub and the queued hubs above it.
CProgrammingUse BeginRun(const wchar_t* path) {
    CDeviceQueue& queue = DeviceQueue();
    CDeviceQueueLock hold(queue);
    CProgrammingUse use = queue.BeginProgramming(path, LiveTree());
    queue.SetNewDeviceStatus(path);
    return use;
}

// Undoes BeginRun, then resets the queued hub's settings so it is never
// picked twice for one configuration; a hub queued again meanwhile is a new
// object and keeps the settings it got. The hubs now free are reported once
// the queue's lock is let go.
void EndRun(const wchar_t* path, const CProgrammingUse& use) {
    CDeviceQueue& queue = DeviceQueue();
    CProgrammingRelease release;
    {
        CDeviceQueueLock hold(queue);
        release = queue.EndProgramming(use, LiveTreeIfAny());
        if (release.hubStillQueued) {
            queue.SetProgrammingRequired(path, false);
            queue.SetValidationMethod(path, VALIDATION_NONE);
            queue.SetStorageMode(path, STORAGE_UNKNOWN);
        }
    }
    for (const std::wstring& hub : release.released) NotifyHubReleased(hub.c_str());
}
}  // namespace

DWORD WINAPI ProgramDeviceThread(LPVOID parameter) {
    std::unique_ptr<ProgrammingJob> job(static_cast<ProgrammingJob*>(parameter));
    CLogger log(L"ProgramDevice");
    CDevice& device = *job->device;
    const DWORD self = GetCurrentThreadId();
    const DWORD manager = job->managerThreadId;
    wchar_t path[kDevicePathLength];
    wmemcpy(path, device.GetDeviceInstanceID(), kDevicePathLength);

    const CProgrammingUse use = BeginRun(path);

    device.SetHubStatus(StartStatus(device, log));
    PostThreadMessageW(manager, kMsgHubStatus, self, static_cast<LPARAM>(device.GetHubStatus()));

    const int32_t result = device.ProgramDevice();

    EndRun(path, use);

    const uint32_t status = device.GetHubStatus();
    log.Write(1, L"Status of device %ws is %ws", path, HubStatusText(static_cast<int32_t>(status)));
    PostThreadMessageW(manager, kMsgHubStatus, self, static_cast<LPARAM>(status));
    log.Write(1, L"Result after progrmming device %ws is %d", path, result);
    PostThreadMessageW(manager, kMsgDeviceFinished, self, static_cast<LPARAM>(result));
    return static_cast<DWORD>(result);
}
