#include "Device.h"

#include <cwchar>

#include "DeviceQueue.h"
#include "Logger.h"
#include "ProgrammerManager.h"

CDevice::CDevice(const wchar_t* path, uint32_t length) {
    CLogger log(L"CDevice::CDevice");
    uint32_t kept = length < kDevicePathLength ? length : kDevicePathLength;
    if (kept == kDevicePathLength) kept = kDevicePathLength - 1;
    instanceId[0] = L'\0';
    if (path != nullptr) {
        uint32_t i = 0;
        for (; i < kept && path[i] != L'\0'; ++i) instanceId[i] = path[i];
        instanceId[i] = L'\0';
    }
}

CDevice::CDevice(const CDevice& other)
    : hubFamily(other.hubFamily),
      hubStatus(other.hubStatus),
      programmingRequired(other.programmingRequired),
      newDevice(other.newDevice),
      rebootPending(other.rebootPending),
      controllerIndex(other.controllerIndex),
      nodeIndex(other.nodeIndex),
      programmingUseCount(other.programmingUseCount) {
    CLogger log(L"CDevice::CDevice");
    wmemcpy(instanceId, other.instanceId, kDevicePathLength);
}

CDevice::~CDevice() {
    instanceId[0] = L'\0';
}

void CDevice::SetNewDeviceStatus() {
    CLogger log(L"CDevice::SetNewDeviceStatus");
    newDevice = false;
}

bool CDevice::IsNewDevice() const {
    CLogger log(L"CDevice::IsNewDevice");
    return newDevice;
}

uint32_t CDevice::GetHubStatus() const {
    CLogger log(L"CDevice::GetHubStatus");
    return hubStatus;
}

bool CDevice::SetHubStatus(uint32_t status) {
    CLogger log(L"CDevice::SetHubStatus");
    if (status > HUB_STATUS_OTP_WRITE_LIMIT) return false;
    hubStatus = status;
    return true;
}

const wchar_t* CDevice::GetDeviceInstanceID() const {
    CLogger log(L"CDevice::GetDeviceInstanceID");
    return instanceId;
}

bool CDevice::IsProgrammingRequired() const {
    CLogger log(L"CDevice::IsProgrammingRequired");
    return programmingRequired;
}

bool CDevice::SetProgrammingRequired(bool required) {
    CLogger log(L"CDevice::SetProgrammingRequired");
    programmingRequired = required;
    log.Write(2, L"--> Programming Required = %d for %s", required ? 1 : 0, instanceId);
    log.Write(2, L"--> for %s", instanceId);
    return true;
}

int32_t CDevice::EP5Arrived() {
    return RESULT_SUCCESS;
}
int32_t CDevice::DeviceCameBackAfterReboot() {
    return RESULT_SUCCESS;
}
bool CDevice::IsPseudoOTPEnabled() {
    return false;
}
bool CDevice::IsVendorBlockPresent() {
    return false;
}

std::unique_ptr<IUsbNode> CDevice::FindTreeNode(IDeviceTree& tree) {
    std::unique_ptr<IUsbNode> node(tree.GetNode(controllerIndex, nodeIndex));
    if (node && SamePath(node->GetDevicePath(), instanceId)) return node;
    int32_t controller = -1;
    int32_t index = -1;
    if (!tree.FindNodeIndices(instanceId, &controller, &index)) return nullptr;
    if (controller >= 0) controllerIndex = controller;
    if (index >= 0) nodeIndex = index;
    return std::unique_ptr<IUsbNode>(tree.GetNode(controllerIndex, nodeIndex));
}

CDevice* CDevice::GetParentDevice() {
    IDeviceTree* tree = CreateDeviceTree();
    if (tree == nullptr) return nullptr;
    std::unique_ptr<IUsbNode> node = FindTreeNode(*tree);
    // Parent index 0 is the host controller: no hub above.
    if (!node || node->GetParentIndex() == 0) return nullptr;
    std::unique_ptr<IUsbNode> parent(tree->GetNode(controllerIndex, node->GetParentIndex()));
    if (!parent) return nullptr;
    return DeviceQueue().CloneDevice(parent->GetDevicePath());
}

bool CDevice::IsRebootPendingUpstream() {
    if (rebootPending) return true;
    std::unique_ptr<CDevice> parent(GetParentDevice());
    return parent && parent->IsRebootPendingUpstream();
}

int32_t CDevice::AddProgrammingUse() {
    return ChangeProgrammingUse(+1);
}

int32_t CDevice::ReleaseProgrammingUse() {
    const int32_t result = ChangeProgrammingUse(-1);
    // The parents have been released first, so the topmost hub is reported first.
    if (programmingUseCount == 0) NotifyHubReleased(instanceId);
    return result;
}

// Runs under the queue's lock (Begin/EndProgramming), which is taken before
// the tree's own lock.
int32_t CDevice::ChangeProgrammingUse(int32_t delta) {
    programmingUseCount += delta;
    IDeviceTree* tree = CreateDeviceTree();
    if (tree == nullptr) return RESULT_DEVICE_NOT_FOUND;
    std::unique_ptr<IUsbNode> node = FindTreeNode(*tree);
    if (!node) return RESULT_DEVICE_NOT_FOUND;
    tree->SetNodeUseCount(controllerIndex, nodeIndex, programmingUseCount);
    if (node->GetParentIndex() == 0) return RESULT_SUCCESS;
    std::unique_ptr<IUsbNode> parent(tree->GetNode(controllerIndex, node->GetParentIndex()));
    if (!parent) return RESULT_DEVICE_NOT_FOUND;
    return delta > 0 ? DeviceQueue().BeginProgramming(parent->GetDevicePath(), kDevicePathLength)
                     : DeviceQueue().EndProgramming(parent->GetDevicePath(), kDevicePathLength);
}
