#include "DeviceQueue.h"

#include <cwchar>
#include <new>

#include "EP5Timeout.h"
#include "GenericHubDevice.h"
#include "Logger.h"
#include "MiravelAccess.h"
#include "MiravelDevice.h"
#include "Notifications.h"
#include "TorvikDevice.h"

namespace {

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c;
}

// Constructed during static initialisation; the writer is touched first so
// it outlives the queue.
CDeviceQueue& QueueInstance() {
    static CDeviceQueue queue;
    return queue;
}
CDeviceQueue& g_queueAtStart = QueueInstance();

}  // namespace

CDeviceQueue& DeviceQueue() {
    return QueueInstance();
}

bool SamePath(const wchar_t* a, const wchar_t* b) {
    if (a == nullptr || b == nullptr) return false;
    for (;; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) return false;
        if (*a == L'\0') return true;
    }
}

using CQueueHold = CCriticalSectionGuard;

CDeviceQueue::CDeviceQueue() {
    TraceWriter();
}

// No lock: by now no other thread of the library runs (each timer thread
// keeps the module loaded), or the process is ending and a lock may belong
// to a thread that is gone. The timers are cancelled all the same.
CDeviceQueue::~CDeviceQueue() {
    devices_.clear();
    for (EP5WaitEntry& entry : ep5WaitList_) entry.timer->Cancel();
    ep5WaitList_.clear();
}

int32_t CDeviceQueue::FindDevice(const wchar_t* path, size_t* index) {
    CQueueHold hold(lock_);
    if (index == nullptr) return RESULT_INVALID_PARAMETER;
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (SamePath(devices_[i].device->GetDeviceInstanceID(), path)) {
            *index = i;
            return RESULT_SUCCESS;
        }
    }
    return RESULT_DEVICE_NOT_FOUND;
}

CDevice* CDeviceQueue::Find(const wchar_t* path) {
    Entry* entry = FindEntry(path);
    return entry ? entry->device.get() : nullptr;
}

CDeviceQueue::Entry* CDeviceQueue::FindEntry(const wchar_t* path) {
    size_t index = 0;
    return FindDevice(path, &index) == RESULT_SUCCESS ? &devices_[index] : nullptr;
}

CDeviceQueue::Entry* CDeviceQueue::FindEntry(uint64_t id) {
    for (Entry& entry : devices_) {
        if (entry.id == id) return &entry;
    }
    return nullptr;
}

int32_t CDeviceQueue::SetConfigurationBlock(const wchar_t* path, const uint8_t* bytes,
                                            uint32_t size) {
    CLogger log(L"CDeviceQueue::SetConfigurationBlock");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->SetConfigurationBlock(bytes, size) : RESULT_DEVICE_NOT_FOUND;
}

int32_t CDeviceQueue::SetFwImage(const wchar_t* path, const uint8_t* bytes, uint32_t size) {
    CLogger log(L"CDeviceQueue::SetFwImage");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->SetFwImage(bytes, size) : RESULT_DEVICE_NOT_FOUND;
}

int32_t CDeviceQueue::SetVendorBlock(const wchar_t* path, const uint8_t* bytes, uint32_t size) {
    CLogger log(L"CDeviceQueue::SetVendorBlock");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->SetVendorBlock(bytes, size) : RESULT_DEVICE_NOT_FOUND;
}

bool CDeviceQueue::SetProgrammingRequired(const wchar_t* path, bool required) {
    CLogger log(L"CDeviceQueue::SetProgrammingRequired");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->SetProgrammingRequired(required) : false;
}

bool CDeviceQueue::GetProgrammingRequired(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::GetProgrammingRequired");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->IsProgrammingRequired() : false;
}

bool CDeviceQueue::SetValidationMethod(const wchar_t* path, int32_t method) {
    CLogger log(L"CDeviceQueue::SetValidationMethod");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->SetValidationMethod(static_cast<uint32_t>(method)) : false;
}

int32_t CDeviceQueue::GetValidationMethod(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::GetValidationMethod");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? static_cast<int32_t>(device->GetValidationMethod()) : VALIDATION_NONE;
}

int32_t CDeviceQueue::GetStorageMode(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::GetStorageMode");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? static_cast<int32_t>(device->GetStorageMode()) : STORAGE_UNKNOWN;
}

int32_t CDeviceQueue::SetStorageMode(const wchar_t* path, int32_t mode) {
    CLogger log(L"CDeviceQueue::SetStorageMode");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    if (device == nullptr) return RESULT_DEVICE_NOT_FOUND;
    if (!device->SetStorageMode(static_cast<uint32_t>(mode))) return RESULT_DEVICE_IO_FAILED;
    return device->rebootPending ? 1 : 0;
}

bool CDeviceQueue::SetHubStatus(const wchar_t* path, int32_t status) {
    CLogger log(L"CDeviceQueue::SetHubStatus");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->SetHubStatus(static_cast<uint32_t>(status)) : false;
}

int32_t CDeviceQueue::GetHubStatus(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::GetHubStatus");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? static_cast<int32_t>(device->GetHubStatus()) : HUB_STATUS_NEW_UNPROGRAMMED;
}

void CDeviceQueue::SetNewDeviceStatus(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::SetNewDeviceStatus");
    CQueueHold hold(lock_);
    if (CDevice* device = Find(path)) device->SetNewDeviceStatus();
}

bool CDeviceQueue::IsNewDevice(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::IsNewDevice");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->IsNewDevice() : true;
}

bool CDeviceQueue::IsSPIPseudoOTPEnabled(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::IsSPIPseudoOTPEnabled");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->IsPseudoOTPEnabled() : false;
}

bool CDeviceQueue::IsVendorBlockPresent(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::IsVendorBlockPresent");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->IsVendorBlockPresent() : false;
}

bool CDeviceQueue::CanDeviceBeRemoved(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::CanDeviceBeRemoved");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->programmingUseCount == 0 : true;
}

int32_t CDeviceQueue::GetOTPSize(const wchar_t* path, uint32_t* size) {
    CLogger log(L"CDeviceQueue::GetOTPSize");
    if (size == nullptr) return RESULT_INVALID_PARAMETER;
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    if (device == nullptr) return RESULT_DEVICE_NOT_FOUND;
    *size = static_cast<uint32_t>(device->GetOTPSize());
    return RESULT_SUCCESS;
}

int32_t CDeviceQueue::ReadOTP(const wchar_t* path, uint8_t* buffer, uint32_t size) {
    CLogger log(L"CDeviceQueue::ReadOTP");
    if (buffer == nullptr) return RESULT_INVALID_PARAMETER;
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->ReadOTP(buffer, size) : RESULT_DEVICE_NOT_FOUND;
}

int32_t CDeviceQueue::WriteToRam(const wchar_t* path, const uint8_t* buffer, uint32_t size) {
    CLogger log(L"CDeviceQueue::WriteToRam");
    if (buffer == nullptr || size < 1) return RESULT_INVALID_PARAMETER;
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->WriteToRam(buffer, size) : RESULT_DEVICE_NOT_FOUND;
}

int32_t CDeviceQueue::GetUUID(const wchar_t* path, uint8_t* buffer, uint32_t size) {
    CLogger log(L"CDeviceQueue::GetUUID");
    if (size == 0) return RESULT_INVALID_PARAMETER;
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->GetUUID(buffer, size) : RESULT_DEVICE_NOT_FOUND;
}

int32_t CDeviceQueue::GetHubFamily(const wchar_t* path) {
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? static_cast<int32_t>(device->hubFamily) : HUB_FAMILY_UNKNOWN;
}

int32_t CDeviceQueue::AddDevice(const wchar_t* path, uint32_t bytes, int32_t controller,
                                int32_t node) {
    CLogger log(L"CDeviceQueue::AddDevice");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    if (device == nullptr) {
        std::unique_ptr<CDevice> created = CreateDevice(path, bytes, controller, node);
        if (!created) return RESULT_SUCCESS;
        device = created.get();
        devices_.push_back(Entry{nextId_++, std::move(created)});
        log.Write(2, L"Added device %s to queue", path);
    }
    if (controller >= 0) device->controllerIndex = controller;
    if (node >= 0) device->nodeIndex = node;
    return RESULT_SUCCESS;
}

std::unique_ptr<CDevice> CDeviceQueue::CreateDevice(const wchar_t* path, uint32_t bytes,
                                                    int32_t controller, int32_t node) {
    const int32_t family = GetHubType(path, bytes, controller, node);
    std::unique_ptr<CDevice> device;
    switch (family) {
        case HUB_FAMILY_MIRAVEL:
            // The family test has just found the vendor block.
            device.reset(new (std::nothrow) CMiravelDevice(path, kDevicePathLength, true));
            break;
        case HUB_FAMILY_TORVIK:
            device.reset(new (std::nothrow) CTorvikDevice(path, kDevicePathLength));
            break;
        case HUB_FAMILY_GENERIC:
            device.reset(new (std::nothrow) CGenericHubDevice(path, kDevicePathLength));
            break;
        default:
            return nullptr;
    }
    if (device) device->hubFamily = static_cast<uint32_t>(family);
    return device;
}

int32_t CDeviceQueue::GetHubType(const wchar_t* path, uint32_t bytes, int32_t controller,
                                 int32_t node) {
    CLogger log(L"CDeviceQueue::GetHubType");
    CQueueHold hold(lock_);
    if (IsDeviceMiravel2(path, this)) {
        // A first-family hub that failed an earlier look waits no longer: its
        // timer would queue it a second time.
        int32_t controller = -1, index = -1;
        TakeEP5WaitEntry(path, &controller, &index);
        return HUB_FAMILY_MIRAVEL;
    }
    if (IsInEP5WaitList(path)) return HUB_FAMILY_UNKNOWN;
    if (IsWinUSBDeviceEnumerated(path) != 0) return HUB_FAMILY_TORVIK;
    if (AddToEP5WaitList(path, bytes, controller, node) == RESULT_SUCCESS &&
        EnableFifthEndpoint(path) != RESULT_SUCCESS) {
        log.Write(2, L"Cannot enable 5th EP for device %s", path);
    }
    return HUB_FAMILY_UNKNOWN;
}

int32_t CDeviceQueue::AddToEP5WaitList(const wchar_t* path, uint32_t /*bytes*/, int32_t controller,
                                       int32_t node) {
    CQueueHold hold(lock_);
    EP5WaitEntry entry;
    entry.path.assign(path, wcsnlen(path, kDevicePathLength - 1));
    entry.controller = controller;
    entry.node = node;
    entry.timer = CEP5Timer::Start(entry.path, EP5TimeoutMs(),
                                   [this](CEP5Timer& timer) { TimerExpired(timer); });
    if (!entry.timer) {
        // Without a timer the hub would wait for ever: it stays unregistered,
        // and the next walk that finds it tries again.
        CLogger log(L"CDeviceQueue::AddToEP5WaitList");
        log.Write(1, L"Cannot start the 5th EP timer for device %s", path);
        return RESULT_RESOURCE_FAILURE;
    }
    ep5WaitList_.push_back(std::move(entry));
    return RESULT_SUCCESS;
}

bool CDeviceQueue::IsInEP5WaitList(const wchar_t* path) {
    CQueueHold hold(lock_);
    for (const EP5WaitEntry& entry : ep5WaitList_) {
        if (SamePath(entry.path.c_str(), path)) return true;
    }
    return false;
}

bool CDeviceQueue::TakeEP5WaitEntry(const wchar_t* path, int32_t* controller, int32_t* node) {
    CQueueHold hold(lock_);
    *controller = -1;
    *node = -1;
    for (auto it = ep5WaitList_.begin(); it != ep5WaitList_.end(); ++it) {
        if (!SamePath(it->path.c_str(), path)) continue;
        // Under the lock, which the timer takes before it fires: it never will.
        it->timer->Cancel();
        *controller = it->controller;
        *node = it->node;
        ep5WaitList_.erase(it);
        return true;
    }
    return false;
}

void CDeviceQueue::TimerExpired(CEP5Timer& timer) {
    CQueueHold hold(lock_);
    if (timer.IsCancelled()) return;
    TimerFired(timer.Path().c_str());
}

void CDeviceQueue::TimerFired(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::TimerFired");
    CQueueHold hold(lock_);
    auto wait = ep5WaitList_.begin();
    while (wait != ep5WaitList_.end() && !SamePath(wait->path.c_str(), path)) ++wait;
    if (wait == ep5WaitList_.end()) return;
    std::unique_ptr<CDevice> device;
    // The function may have arrived before anyone listened for it (the
    // enable requests of the first walk go out before the monitor's window is
    // registered): look once more before the hub is taken for a first-family one.
    if (IsWinUSBDeviceEnumerated(path) != 0) {
        log.Write(2, L"5th EP of device %s found when its wait ran out", path);
        device.reset(new (std::nothrow) CTorvikDevice(path, kDevicePathLength));
        if (device) {
            device->EP5Arrived();
            device->hubFamily = HUB_FAMILY_TORVIK;
            if (wait->controller >= 0 && wait->node >= 0) {
                device->controllerIndex = wait->controller;
                device->nodeIndex = wait->node;
            }
        }
    } else {
        device.reset(new (std::nothrow) CMiravelDevice(path, kDevicePathLength, false));
    }
    if (device) {
        devices_.push_back(Entry{nextId_++, std::move(device)});
        // Under the lock, as the tool expects the hub queued when it hears of it.
        RaiseDeviceEvent(EVENT_DEVICE_ARRIVED, wait->path.c_str(), 0);
    }
    // The callback may have called back into the queue: find the entry again.
    int32_t controller = -1, node = -1;
    TakeEP5WaitEntry(path, &controller, &node);
}

int32_t CDeviceQueue::EP5Arrived(const wchar_t* path, uint32_t /*bytes*/) {
    CLogger log(L"CDeviceQueue::EP5Arrived");
    CQueueHold hold(lock_);
    int32_t controller = -1, node = -1;
    TakeEP5WaitEntry(path, &controller, &node);
    CDevice* device = Find(path);
    if (device == nullptr || device->hubFamily != HUB_FAMILY_TORVIK) {
        std::unique_ptr<CDevice> replacement(new (std::nothrow)
                                                 CTorvikDevice(path, kDevicePathLength));
        if (!replacement) return RESULT_RESOURCE_FAILURE;
        device = replacement.get();
        size_t index = 0;
        if (FindDevice(path, &index) == RESULT_SUCCESS) {
            // Same position: the order is the order of first registration.
            devices_[index] = Entry{nextId_++, std::move(replacement)};
        } else {
            devices_.push_back(Entry{nextId_++, std::move(replacement)});
        }
    }
    const int32_t result = device->EP5Arrived();
    device->hubFamily = HUB_FAMILY_TORVIK;
    if (controller >= 0 && node >= 0) {
        device->controllerIndex = controller;
        device->nodeIndex = node;
    }
    return result;
}

int32_t CDeviceQueue::RemoveDevice(const wchar_t* path) {
    CLogger log(L"CDeviceQueue::RemoveDevice");
    CQueueHold hold(lock_);
    size_t index = 0;
    if (FindDevice(path, &index) != RESULT_SUCCESS) return RESULT_DEVICE_NOT_FOUND;
    devices_.erase(devices_.begin() + static_cast<std::ptrdiff_t>(index));
    log.Write(2, L"Removing device %s from queue", path);
    return RESULT_SUCCESS;
}

int32_t CDeviceQueue::SetNumberOfConfiguredHubs(int32_t count) {
    CLogger log(L"CDeviceQueue::SetNumberOfConfiguredHubs");
    CQueueHold hold(lock_);
    configuredHubCount_ = count;
    log.Write(2, L"Number of Hubs configured is %d", count);
    return RESULT_SUCCESS;
}

std::unique_ptr<IUsbNode> CDeviceQueue::NodeOf(CDevice& device, IDeviceTree& tree) {
    std::unique_ptr<IUsbNode> node(tree.GetNode(device.controllerIndex, device.nodeIndex));
    if (node && SamePath(node->GetDevicePath(), device.GetDeviceInstanceID())) return node;
    int32_t controller = -1;
    int32_t index = -1;
    if (!tree.FindNodeIndices(device.GetDeviceInstanceID(), &controller, &index)) return nullptr;
    if (controller >= 0) device.controllerIndex = controller;
    if (index >= 0) device.nodeIndex = index;
    return std::unique_ptr<IUsbNode>(tree.GetNode(device.controllerIndex, device.nodeIndex));
}

CDeviceQueue::Entry* CDeviceQueue::ParentOf(CDevice& device, IDeviceTree& tree) {
    std::unique_ptr<IUsbNode> node = NodeOf(device, tree);
    // Parent index 0 is the host controller: no hub above.
    if (!node || node->GetParentIndex() == 0) return nullptr;
    std::unique_ptr<IUsbNode> parent(tree.GetNode(device.controllerIndex, node->GetParentIndex()));
    return parent ? FindEntry(parent->GetDevicePath()) : nullptr;
}

int32_t CDeviceQueue::IsParentChainQueued(CDevice& device, IDeviceTree& tree) {
    std::unique_ptr<IUsbNode> node = NodeOf(device, tree);
    if (!node) return RESULT_DEVICE_NOT_FOUND;
    std::unique_ptr<IUsbNode> parent(tree.GetNode(device.controllerIndex, node->GetParentIndex()));
    if (!parent) return RESULT_DEVICE_NOT_FOUND;
    if (parent->GetNodeType() != NODE_TYPE_HUB) return RESULT_SUCCESS;
    return Find(parent->GetDevicePath()) != nullptr ? RESULT_SUCCESS : RESULT_DEVICE_NOT_FOUND;
}

bool CDeviceQueue::IsRebootPendingUpstream(CDevice& device, IDeviceTree& tree) {
    // Bounded: a tree whose parent links went round in a circle must not hang us.
    CDevice* hub = &device;
    for (size_t depth = 0; hub != nullptr && depth <= devices_.size(); ++depth) {
        if (hub->rebootPending) return true;
        Entry* parent = ParentOf(*hub, tree);
        hub = parent ? parent->device.get() : nullptr;
    }
    return false;
}

bool CDeviceQueue::IsReadyForProgramming(CDevice& device, IDeviceTree& tree) {
    const uint32_t method = device.GetValidationMethod();
    const bool verify = method == VALIDATION_VERIFY || method == VALIDATION_VERIFY_ALT;
    if (!device.IsProgrammingRequired() && !verify) return false;
    if (device.GetConfigBlockSize() == 0 && device.GetFirmwareImageSize() == 0) return false;
    if (IsParentChainQueued(device, tree) != RESULT_SUCCESS) return false;
    return !IsRebootPendingUpstream(device, tree);
}

int32_t CDeviceQueue::IterateDevices(IDeviceTree* tree, const DeviceThreadStarter& start) {
    CLogger log(L"CDeviceQueue::IterateDevices");
    CQueueHold hold(lock_);
    if (tree == nullptr) return 0;
    int32_t count = 0;
    // By index: a first look at the live tree may register hubs meanwhile.
    for (size_t i = 0; i < devices_.size(); ++i) {
        CDevice& device = *devices_[i].device;
        if (!IsReadyForProgramming(device, *tree)) continue;
        // A hub whose thread could not be started still counts; its settings
        // stay, so a continuous run picks it again.
        start(device);
        ++count;
    }
    return count;
}

// The tree's node shows the count too (the tree view reads it).
void CDeviceQueue::ShowUseCount(CDevice& device, IDeviceTree* tree) {
    if (tree == nullptr || !NodeOf(device, *tree)) return;
    tree->SetNodeUseCount(device.controllerIndex, device.nodeIndex, device.programmingUseCount);
}

CProgrammingUse CDeviceQueue::BeginProgramming(const wchar_t* path, IDeviceTree* tree) {
    CLogger log(L"CDeviceQueue::BeginProgramming");
    CQueueHold hold(lock_);
    CProgrammingUse use;
    for (Entry* entry = FindEntry(path); entry != nullptr;) {
        for (uint64_t counted : use.devices) {
            if (counted == entry->id) return use;  // parent links in a circle
        }
        CDevice& device = *entry->device;
        ++device.programmingUseCount;
        use.devices.push_back(entry->id);
        ShowUseCount(device, tree);
        entry = tree ? ParentOf(device, *tree) : nullptr;
    }
    return use;
}

CProgrammingRelease CDeviceQueue::EndProgramming(const CProgrammingUse& use, IDeviceTree* tree) {
    CLogger log(L"CDeviceQueue::EndProgramming");
    CQueueHold hold(lock_);
    CProgrammingRelease release;
    // Topmost first: the order in which the hubs are reported free.
    for (auto id = use.devices.rbegin(); id != use.devices.rend(); ++id) {
        Entry* entry = FindEntry(*id);
        if (entry == nullptr) continue;  // gone from the queue meanwhile
        CDevice& device = *entry->device;
        if (device.programmingUseCount <= 0) continue;
        --device.programmingUseCount;
        ShowUseCount(device, tree);
        if (device.programmingUseCount == 0)
            release.released.emplace_back(device.GetDeviceInstanceID());
    }
    release.hubStillQueued = !use.devices.empty() && FindEntry(use.devices.front()) != nullptr;
    return release;
}

CDevice* CDeviceQueue::CloneDevice(const wchar_t* path) {
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->Clone() : nullptr;
}

size_t CDeviceQueue::DeviceCount() {
    CQueueHold hold(lock_);
    return devices_.size();
}

std::vector<std::wstring> CDeviceQueue::DevicePaths() {
    CQueueHold hold(lock_);
    std::vector<std::wstring> paths;
    for (const Entry& entry : devices_) paths.emplace_back(entry.device->GetDeviceInstanceID());
    return paths;
}

void CDeviceQueue::Append(std::unique_ptr<CDevice> device) {
    CQueueHold hold(lock_);
    devices_.push_back(Entry{nextId_++, std::move(device)});
}
