#include "ProgrammingThread.h"

#include <string>
#include <vector>

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

// The queued hubs above path whose use counts a run of path raises, nearest
// first: the chain BeginProgramming walks. Caller holds the queue's lock.
std::vector<std::wstring> CountedParents(const wchar_t* path) {
    std::vector<std::wstring> parents;
    std::unique_ptr<CDevice> hub(DeviceQueue().CloneDevice(path));
    while (hub) {
        std::unique_ptr<CDevice> parent(hub->GetParentDevice());
        if (parent) parents.emplace_back(parent->GetDeviceInstanceID());
        hub = std::move(parent);
    }
    return parents;
}

// Use count of the queued hub at path, -1 when it is not queued.
int32_t UseCount(const std::wstring& path) {
    std::unique_ptr<CDevice> hub(DeviceQueue().CloneDevice(path.c_str()));
    return hub ? hub->programmingUseCount : -1;
}

// Counts the run at the hub and the queued hubs above it; returns those hubs.
std::vector<std::wstring> BeginRun(const wchar_t* path) {
    CDeviceQueue& queue = DeviceQueue();
    CDeviceQueueLock hold;
    queue.BeginProgramming(path, kDevicePathLength);
    queue.SetNewDeviceStatus(path);
    return CountedParents(path);
}

// Undoes BeginRun. Releasing the hub releases the chain above it through the
// live tree; when the hub has left the queue or the tree meanwhile (unplugged,
// or queued again as a new object) that walk cannot reach the hubs above, so
// the nearest counted one still queued is released instead. Then the queued
// hub's settings are reset, so it is never picked twice for one
// configuration; a hub queued again meanwhile keeps the settings it got.
void EndRun(const wchar_t* path, const std::vector<std::wstring>& parents) {
    CDeviceQueue& queue = DeviceQueue();
    CDeviceQueueLock hold;
    const std::wstring* parent = nullptr;
    int32_t parentCount = 0;
    for (const std::wstring& candidate : parents) {
        parentCount = UseCount(candidate);
        if (parentCount > 0) {
            parent = &candidate;
            break;
        }
    }
    // A queued hub that is new again is not the object this run counted.
    const bool ours = !queue.IsNewDevice(path);
    if (ours) queue.EndProgramming(path, kDevicePathLength);
    if (parent != nullptr && UseCount(*parent) == parentCount) {
        queue.EndProgramming(parent->c_str(), kDevicePathLength);
    }
    if (ours) {
        queue.SetProgrammingRequired(path, false);
        queue.SetValidationMethod(path, VALIDATION_NONE);
        queue.SetStorageMode(path, STORAGE_UNKNOWN);
    }
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

    const std::vector<std::wstring> parents = BeginRun(path);

    device.SetHubStatus(StartStatus(device, log));
    PostThreadMessageW(manager, kMsgHubStatus, self, static_cast<LPARAM>(device.GetHubStatus()));

    const int32_t result = device.ProgramDevice();

    EndRun(path, parents);

    const uint32_t status = device.GetHubStatus();
    log.Write(1, L"Status of device %ws is %ws", path, HubStatusText(static_cast<int32_t>(status)));
    PostThreadMessageW(manager, kMsgHubStatus, self, static_cast<LPARAM>(status));
    log.Write(1, L"Result after progrmming device %ws is %d", path, result);
    PostThreadMessageW(manager, kMsgDeviceFinished, self, static_cast<LPARAM>(result));
    return static_cast<DWORD>(result);
}
