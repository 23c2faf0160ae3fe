#include "GenericHubDevice.h"

#include <new>

int32_t CGenericHubDevice::SetConfigurationBlock(const uint8_t*, uint32_t) {
    return RESULT_DEVICE_NOT_FOUND;
}
bool CGenericHubDevice::SetStorageMode(uint32_t) {
    return false;
}
bool CGenericHubDevice::SetValidationMethod(uint32_t) {
    return false;
}
int32_t CGenericHubDevice::SetVendorBlock(const uint8_t*, uint32_t) {
    return RESULT_DEVICE_NOT_FOUND;
}
int32_t CGenericHubDevice::SetFwImage(const uint8_t*, uint32_t) {
    return RESULT_DEVICE_NOT_FOUND;
}
uint32_t CGenericHubDevice::GetConfigBlockSize() {
    return 0;
}
int32_t CGenericHubDevice::GetConfigBlock(uint32_t, uint8_t*) {
    return RESULT_DEVICE_NOT_FOUND;
}
uint32_t CGenericHubDevice::GetFirmwareImageSize() {
    return 0;
}
int32_t CGenericHubDevice::GetFirmwareImage(uint32_t, uint8_t*) {
    return RESULT_DEVICE_NOT_FOUND;
}
uint32_t CGenericHubDevice::GetStorageMode() {
    return STORAGE_UNKNOWN;
}
uint32_t CGenericHubDevice::GetValidationMethod() {
    return VALIDATION_NONE;
}
int32_t CGenericHubDevice::RebootDeviceIfRequired() {
    return RESULT_SUCCESS;
}
int32_t CGenericHubDevice::ProgramDevice() {
    return RESULT_DEVICE_IO_FAILED;
}
int32_t CGenericHubDevice::GetOTPSize() {
    return 0;
}
int32_t CGenericHubDevice::ReadOTP(uint8_t*, uint32_t) {
    return RESULT_DEVICE_IO_FAILED;
}
int32_t CGenericHubDevice::WriteToRam(const uint8_t*, uint32_t) {
    return RESULT_DEVICE_IO_FAILED;
}
int32_t CGenericHubDevice::GetUUID(uint8_t*, uint32_t) {
    return RESULT_DEVICE_IO_FAILED;
}
CDevice* CGenericHubDevice::Clone() {
    return new (std::nothrow) CGenericHubDevice(*this);
}
