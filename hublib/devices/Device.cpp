#include "Device.h"

#include <cwchar>

#include "Logger.h"

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
