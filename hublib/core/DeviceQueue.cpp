#include "DeviceQueue.h"

#include <cwchar>

#include "Logger.h"
#include "ProgrammerManager.h"

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

class CQueueHold {
public:
    explicit CQueueHold(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~CQueueHold() { LeaveCriticalSection(&cs_); }
    CQueueHold(const CQueueHold&) = delete;
    CQueueHold& operator=(const CQueueHold&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

CDeviceQueue::CDeviceQueue() {
    TraceWriter();
    InitializeCriticalSection(&lock_);
}

CDeviceQueue::~CDeviceQueue() {
    {
        CQueueHold hold(lock_);
        devices_.clear();
    }
    DeleteCriticalSection(&lock_);
}

int32_t CDeviceQueue::FindDevice(const wchar_t* path, size_t* index) {
    CQueueHold hold(lock_);
    if (index == nullptr) return RESULT_INVALID_PARAMETER;
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (SamePath(devices_[i]->GetDeviceInstanceID(), path)) {
            *index = i;
            return RESULT_SUCCESS;
        }
    }
    return RESULT_DEVICE_NOT_FOUND;
}

CDevice* CDeviceQueue::Find(const wchar_t* path) {
    size_t index = 0;
    return FindDevice(path, &index) == RESULT_SUCCESS ? devices_[index].get() : nullptr;
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

int32_t CDeviceQueue::IsParentChainQueued(CDevice& device) {
    IDeviceTree* tree = CreateDeviceTree();
    if (tree == nullptr) return RESULT_DEVICE_NOT_FOUND;
    std::unique_ptr<IUsbNode> node = device.FindTreeNode(*tree);
    if (!node) return RESULT_DEVICE_NOT_FOUND;
    std::unique_ptr<IUsbNode> parent(tree->GetNode(device.controllerIndex, node->GetParentIndex()));
    if (!parent) return RESULT_DEVICE_NOT_FOUND;
    if (parent->GetNodeType() != NODE_TYPE_HUB) return RESULT_SUCCESS;
    return Find(parent->GetDevicePath()) != nullptr ? RESULT_SUCCESS : RESULT_DEVICE_NOT_FOUND;
}

bool CDeviceQueue::IsReadyForProgramming(CDevice& device) {
    const uint32_t method = device.GetValidationMethod();
    const bool verify = method == VALIDATION_VERIFY || method == VALIDATION_VERIFY_ALT;
    if (!device.IsProgrammingRequired() && !verify) return false;
    if (device.GetConfigBlockSize() == 0 && device.GetFirmwareImageSize() == 0) return false;
    if (IsParentChainQueued(device) != RESULT_SUCCESS) return false;
    if (device.rebootPending) return false;
    std::unique_ptr<CDevice> parent(device.GetParentDevice());
    return !(parent && parent->IsRebootPendingUpstream());
}

int32_t CDeviceQueue::IterateDevices() {
    CLogger log(L"CDeviceQueue::IterateDevices");
    CQueueHold hold(lock_);
    int32_t count = 0;
    // By index: a first look at the live tree may register hubs meanwhile.
    for (size_t i = 0; i < devices_.size(); ++i) {
        CDevice& device = *devices_[i];
        if (!IsReadyForProgramming(device)) continue;
        // A hub whose thread could not be started still counts; its settings
        // stay, so a continuous run picks it again.
        StartDeviceThread(device);
        ++count;
    }
    return count;
}

int32_t CDeviceQueue::BeginProgramming(const wchar_t* path, uint32_t /*length*/) {
    CLogger log(L"CDeviceQueue::BeginProgramming");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->AddProgrammingUse() : RESULT_DEVICE_NOT_FOUND;
}

int32_t CDeviceQueue::EndProgramming(const wchar_t* path, uint32_t /*length*/) {
    CLogger log(L"CDeviceQueue::EndProgramming");
    CQueueHold hold(lock_);
    CDevice* device = Find(path);
    return device ? device->ReleaseProgrammingUse() : RESULT_DEVICE_NOT_FOUND;
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
    devices_.push_back(std::move(device));
}
