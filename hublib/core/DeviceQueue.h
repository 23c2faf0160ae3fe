// CDeviceQueue: the library's registry of hubs, keyed by device path. Every
// per-hub export ends here; the device tree registers hubs while it walks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Device.h"

class CDeviceQueue {
public:
    CDeviceQueue();
    ~CDeviceQueue();
    CDeviceQueue(const CDeviceQueue&) = delete;
    CDeviceQueue& operator=(const CDeviceQueue&) = delete;

    // The queue's recursive lock; the tree's Refresh holds it for a whole walk.
    void Lock() { EnterCriticalSection(&lock_); }
    void Unlock() { LeaveCriticalSection(&lock_); }

    int32_t SetConfigurationBlock(const wchar_t* path, const uint8_t* bytes, uint32_t size);
    int32_t SetFwImage(const wchar_t* path, const uint8_t* bytes, uint32_t size);
    int32_t SetVendorBlock(const wchar_t* path, const uint8_t* bytes, uint32_t size);
    bool SetProgrammingRequired(const wchar_t* path, bool required);
    bool GetProgrammingRequired(const wchar_t* path);
    bool SetValidationMethod(const wchar_t* path, int32_t method);
    int32_t GetValidationMethod(const wchar_t* path);
    int32_t GetStorageMode(const wchar_t* path);
    int32_t SetStorageMode(const wchar_t* path, int32_t mode);
    bool SetHubStatus(const wchar_t* path, int32_t status);
    int32_t GetHubStatus(const wchar_t* path);
    void SetNewDeviceStatus(const wchar_t* path);
    bool IsNewDevice(const wchar_t* path);
    bool IsSPIPseudoOTPEnabled(const wchar_t* path);
    bool IsVendorBlockPresent(const wchar_t* path);
    bool CanDeviceBeRemoved(const wchar_t* path);
    int32_t GetOTPSize(const wchar_t* path, uint32_t* size);
    int32_t ReadOTP(const wchar_t* path, uint8_t* buffer, uint32_t size);
    int32_t WriteToRam(const wchar_t* path, const uint8_t* buffer, uint32_t size);
    int32_t GetUUID(const wchar_t* path, uint8_t* buffer, uint32_t size);
    // Family code of the queued hub, 3 when none.
    int32_t GetHubFamily(const wchar_t* path);

    // Registry.
    int32_t AddDevice(const wchar_t* path, uint32_t bytes, int32_t controller, int32_t node);
    int32_t RemoveDevice(const wchar_t* path);
    int32_t SetNumberOfConfiguredHubs(int32_t count);
    // Programming support for the programmer manager.
    // Starts a programming thread for every ready hub; the number asked for.
    int32_t IterateDevices();
    // Count a programming run at the hub and every queued hub above it.
    int32_t BeginProgramming(const wchar_t* path, uint32_t length);
    int32_t EndProgramming(const wchar_t* path, uint32_t length);
    // A heap copy of the queued device, or null; the caller owns it.
    CDevice* CloneDevice(const wchar_t* path);
    size_t DeviceCount();

    // Test and driver hook: puts an already created device at the end.
    void Append(std::unique_ptr<CDevice> device);

private:
    int32_t FindDevice(const wchar_t* path, size_t* index);
    CDevice* Find(const wchar_t* path);
    // 0 when the hub hangs off a root port or below a queued hub, else -8.
    int32_t IsParentChainQueued(CDevice& device);
    bool IsReadyForProgramming(CDevice& device);

    std::vector<std::unique_ptr<CDevice>> devices_;
    CRITICAL_SECTION lock_;
    int32_t configuredHubCount_ = 0;
};

// The library's one queue.
CDeviceQueue& DeviceQueue();

// Holds the queue's lock for a scope.
class CDeviceQueueLock {
public:
    CDeviceQueueLock() { DeviceQueue().Lock(); }
    ~CDeviceQueueLock() { DeviceQueue().Unlock(); }
    CDeviceQueueLock(const CDeviceQueueLock&) = delete;
    CDeviceQueueLock& operator=(const CDeviceQueueLock&) = delete;
};

// Compares device paths ignoring the case of the ASCII letters A to Z only.
bool SamePath(const wchar_t* a, const wchar_t* b);
