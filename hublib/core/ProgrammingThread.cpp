#include "ProgrammingThread.h"

#include "DeviceQueue.h"
#include "HubStatusText.h"
#include "Logger.h"

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
}  // namespace

DWORD WINAPI ProgramDeviceThread(LPVOID parameter) {
    std::unique_ptr<ProgrammingJob> job(static_cast<ProgrammingJob*>(parameter));
    CLogger log(L"ProgramDevice");
    CDevice& device = *job->device;
    const DWORD self = GetCurrentThreadId();
    const DWORD manager = job->managerThreadId;
    wchar_t path[kDevicePathLength];
    wmemcpy(path, device.GetDeviceInstanceID(), kDevicePathLength);

    CDeviceQueue& queue = DeviceQueue();
    queue.BeginProgramming(path, kDevicePathLength);
    queue.SetNewDeviceStatus(path);

    device.SetHubStatus(StartStatus(device, log));
    PostThreadMessageW(manager, kMsgHubStatus, self, static_cast<LPARAM>(device.GetHubStatus()));

    const int32_t result = device.ProgramDevice();

    queue.EndProgramming(path, kDevicePathLength);
    // The queued hub is never picked twice for one configuration.
    queue.SetProgrammingRequired(path, false);
    queue.SetValidationMethod(path, VALIDATION_NONE);
    queue.SetStorageMode(path, STORAGE_UNKNOWN);

    const uint32_t status = device.GetHubStatus();
    log.Write(1, L"Status of device %ws is %ws", path, HubStatusText(static_cast<int32_t>(status)));
    PostThreadMessageW(manager, kMsgHubStatus, self, static_cast<LPARAM>(status));
    log.Write(1, L"Result after progrmming device %ws is %d", path, result);
    PostThreadMessageW(manager, kMsgDeviceFinished, self, static_cast<LPARAM>(result));
    return static_cast<DWORD>(result);
}
