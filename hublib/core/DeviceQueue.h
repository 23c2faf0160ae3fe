// CDeviceQueue: the library's registry of hubs, keyed by device path. Every
// per-hub export ends here; the device tree registers hubs while it walks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Device.h"
#include "EP5Timer.h"
#include "Win32Handles.h"

// The queued hubs one programming run counts: the hub, then each queued hub
// above it, nearest first, by the identity of the queued object, so the run
// releases exactly these even when the tree or the queue changes meanwhile.
struct CProgrammingUse {
    std::vector<uint64_t> devices;
};

// What EndProgramming did.
struct CProgrammingRelease {
    // Hubs whose use count fell to 0, topmost first.
    std::vector<std::wstring> released;
    // The run's own hub is still the object in the queue (not gone, not
    // queued again as a new one).
    bool hubStillQueued = false;
};

// Starts a programming thread for a ready hub; false when none started.
using DeviceThreadStarter = std::function<bool(CDevice&)>;

class CDeviceQueue {
public:
    CDeviceQueue();
    ~CDeviceQueue();
    CDeviceQueue(const CDeviceQueue&) = delete;
    CDeviceQueue& operator=(const CDeviceQueue&) = delete;

    // The queue's recursive lock; the tree's Refresh holds it for a whole walk,
    // and whoever uses the live tree holds it first.
    CCriticalSection& Lock() { return lock_; }

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
    // Registers a hub the tree found (or only refreshes its indices).
    int32_t AddDevice(const wchar_t* path, uint32_t bytes, int32_t controller, int32_t node);
    int32_t RemoveDevice(const wchar_t* path);
    // The family decision: 0 or 1 at once, else 3 while the hub waits for its
    // fifth endpoint (the wait is started here).
    int32_t GetHubType(const wchar_t* path, uint32_t bytes, int32_t controller, int32_t node);
    // The hub's fifth-endpoint function arrived: the hub becomes a
    // second-family device, its wait ends. The device's EP5Arrived result.
    int32_t EP5Arrived(const wchar_t* path, uint32_t bytes);
    // The hub's wait ran out: it is queued as a first-family object (family
    // code 2) and announced with event 2, under the lock.
    void TimerFired(const wchar_t* path);
    int32_t SetNumberOfConfiguredHubs(int32_t count);
    // Programming support for the programmer manager; tree is the live tree,
    // used under the queue's lock, and may be null.
    // Starts a thread for every ready hub; the number of hubs asked for.
    int32_t IterateDevices(IDeviceTree* tree, const DeviceThreadStarter& start);
    // Counts a programming run at the hub and every queued hub above it.
    CProgrammingUse BeginProgramming(const wchar_t* path, IDeviceTree* tree);
    // Releases what BeginProgramming counted; a count never drops below 0.
    CProgrammingRelease EndProgramming(const CProgrammingUse& use, IDeviceTree* tree);
    // A heap copy of the queued device, or null; the caller owns it.
    CDevice* CloneDevice(const wchar_t* path);
    size_t DeviceCount();
    // The queued hubs' paths in queue order (the order of first registration).
    std::vector<std::wstring> DevicePaths();

    // Test and driver hook: puts an already created device at the end.
    void Append(std::unique_ptr<CDevice> device);

private:
    struct EP5WaitEntry {
        std::wstring path;
        std::shared_ptr<CEP5Timer> timer;
        // The hub's node when the wait began.
        int32_t controller = -1;
        int32_t node = -1;
    };

    std::unique_ptr<CDevice> CreateDevice(const wchar_t* path, uint32_t bytes, int32_t controller,
                                          int32_t node);
    int32_t AddToEP5WaitList(const wchar_t* path, uint32_t bytes, int32_t controller, int32_t node);
    // Ends the hub's wait, its timer cancelled; false when it had none.
    bool TakeEP5WaitEntry(const wchar_t* path, int32_t* controller, int32_t* node);
    bool IsInEP5WaitList(const wchar_t* path);
    // A timer's wait ran out: TimerFired, unless it was cancelled meanwhile.
    void TimerExpired(CEP5Timer& timer);

    struct Entry {
        uint64_t id;  // never reused: tells a hub queued again from the old object
        std::unique_ptr<CDevice> device;
    };

    int32_t FindDevice(const wchar_t* path, size_t* index);
    CDevice* Find(const wchar_t* path);
    Entry* FindEntry(const wchar_t* path);
    Entry* FindEntry(uint64_t id);
    // The hub's node in tree: by the stored indices when they still name this
    // hub, else found anew by path (the indices are updated); or null.
    static std::unique_ptr<IUsbNode> NodeOf(CDevice& device, IDeviceTree& tree);
    // The queued hub the device hangs off, or null.
    Entry* ParentOf(CDevice& device, IDeviceTree& tree);
    // 0 when the hub hangs off a root port or below a queued hub, else -8.
    int32_t IsParentChainQueued(CDevice& device, IDeviceTree& tree);
    // True when the hub or any queued hub above it is rebooting.
    bool IsRebootPendingUpstream(CDevice& device, IDeviceTree& tree);
    bool IsReadyForProgramming(CDevice& device, IDeviceTree& tree);
    void ShowUseCount(CDevice& device, IDeviceTree* tree);

    std::vector<Entry> devices_;
    std::vector<EP5WaitEntry> ep5WaitList_;
    uint64_t nextId_ = 1;
    CCriticalSection lock_;
    int32_t configuredHubCount_ = 0;
};

// The library's one queue.
CDeviceQueue& DeviceQueue();

// Holds a queue's lock (the library's one by default) for a scope.
class CDeviceQueueLock : public CCriticalSectionGuard {
public:
    explicit CDeviceQueueLock(CDeviceQueue& queue = DeviceQueue())
        : CCriticalSectionGuard(queue.Lock()) {}
};

// Compares device paths ignoring the case of the ASCII letters A to Z only.
bool SamePath(const wchar_t* a, const wchar_t* b);
