#include "DeviceQueue.h"

#include <cwchar>

#include "Logger.h"

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

// No lock: by now no other thread of the library runs, or the process is
// ending and a lock may belong to a thread that is gone.
CDeviceQueue::~CDeviceQueue() = default;

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

int32_t CDeviceQueue::AddDevice(const wchar_t* path, uint32_t /*bytes*/, int32_t controller,
                                int32_t node) {
    CLogger log(L"CDeviceQueue::AddDevice");
    CQueueHold hold(lock_);
    if (CDevice* device = Find(path)) {
        if (controller >= 0) device->controllerIndex = controller;
        if (node >= 0) device->nodeIndex = node;
    }
    // New hubs get their family device once the family drivers decide it.
    return RESULT_SUCCESS;
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

void CDeviceQueue::Append(std::unique_ptr<CDevice> device) {
    CQueueHold hold(lock_);
    devices_.push_back(Entry{nextId_++, std::move(device)});
}
