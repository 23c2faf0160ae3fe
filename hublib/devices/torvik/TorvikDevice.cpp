// CTorvikDevice: settings, copies and ProgramDevice.
#include "TorvikDevice.h"

#include <cstring>
#include <new>

#include "Logger.h"

CTorvikDevice::CTorvikDevice(const wchar_t* path, uint32_t length) : CDevice(path, length) {
    CLogger log(L"CTorvikDevice::CTorvikDevice");
    memset(&deviceInfo, 0, sizeof(deviceInfo));
}

// A copy opens the hub itself: its WinUSB record starts zeroed.
CTorvikDevice::CTorvikDevice(const CTorvikDevice& other)
    : CDevice(other),
      storageMode(other.storageMode),
      validationMethod(other.validationMethod),
      configBlock(other.configBlock),
      firmwareImage(other.firmwareImage),
      romVersion(other.romVersion),
      otpIndexStart(other.otpIndexStart),
      otpDataEnd(other.otpDataEnd),
      spiAccessFlag(other.spiAccessFlag),
      verifyAfterWrite(other.verifyAfterWrite) {
    CLogger log(L"CTorvikDevice::CTorvikDevice");
    memset(&deviceInfo, 0, sizeof(deviceInfo));
    memcpy(otpImage, other.otpImage, sizeof(otpImage));
}

CTorvikDevice::~CTorvikDevice() {
    CLogger log(L"CTorvikDevice::~CTorvikDevice");
    CloseWinUSBDeviceHandle();
}

bool CTorvikDevice::SetProgrammingRequired(bool required) {
    CLogger log(L"CTorvikDevice::SetProgrammingRequired");
    bool result = true;
    if (storageMode == STORAGE_SPI && required && RebootDeviceIfRequired() != RESULT_SUCCESS) {
        storageMode = STORAGE_UNKNOWN;
        result = false;
    }
    programmingRequired = required;
    return result;
}

int32_t CTorvikDevice::SetConfigurationBlock(const uint8_t* bytes, uint32_t size) {
    CLogger log(L"CTorvikDevice::SetConfigurationBlock");
    if (size == 0) return RESULT_INVALID_DATA;
    if (bytes == nullptr) return RESULT_COMPARE_FAILED;
    configBlock.assign(bytes, bytes + size);
    return RESULT_SUCCESS;
}

bool CTorvikDevice::SetStorageMode(uint32_t mode) {
    CLogger log(L"CTorvikDevice::SetStorageMode");
    storageMode = mode;
    return true;
}

bool CTorvikDevice::SetValidationMethod(uint32_t method) {
    CLogger log(L"CTorvikDevice::SetValidationMethod");
    if (method > VALIDATION_NONE) return false;
    validationMethod = method;
    return true;
}

int32_t CTorvikDevice::SetVendorBlock(const uint8_t*, uint32_t) {
    CLogger log(L"CTorvikDevice::SetVendorBlock");
    return RESULT_DEVICE_IO_FAILED;
}

int32_t CTorvikDevice::SetFwImage(const uint8_t* bytes, uint32_t size) {
    CLogger log(L"CTorvikDevice::SetFwImage");
    if (size < kMinImageSize || size > kMaxImageSize) return RESULT_INVALID_DATA;
    if (bytes == nullptr) return RESULT_COMPARE_FAILED;
    firmwareImage.clear();
    firmwareImage.shrink_to_fit();
    if (memcmp(bytes + 0xFFFA, "2DFU", 4) != 0) return RESULT_NO_VENDOR_BLOCK;
    try {
        firmwareImage.assign(bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        return RESULT_VALIDATION_FAILED;
    }
    return RESULT_SUCCESS;
}

uint32_t CTorvikDevice::GetConfigBlockSize() {
    CLogger log(L"CTorvikDevice::GetConfigBlockSize");
    return static_cast<uint32_t>(configBlock.size());
}

int32_t CTorvikDevice::GetConfigBlock(uint32_t size, uint8_t* buffer) {
    CLogger log(L"CTorvikDevice::GetConfigBlock");
    if (buffer == nullptr || size < configBlock.size()) {
        log.Write(1, L"Buffer size is small : %lu", static_cast<unsigned long>(size));
        return RESULT_FAILURE;
    }
    if (!configBlock.empty()) memcpy(buffer, configBlock.data(), configBlock.size());
    return RESULT_SUCCESS;
}

uint32_t CTorvikDevice::GetFirmwareImageSize() {
    CLogger log(L"CTorvikDevice::GetFirmwareImageSize");
    return static_cast<uint32_t>(firmwareImage.size());
}

int32_t CTorvikDevice::GetFirmwareImage(uint32_t size, uint8_t* buffer) {
    CLogger log(L"CTorvikDevice::GetFirmwareImage");
    if (buffer == nullptr || size < firmwareImage.size()) {
        log.Write(1, L"Buffer size is small : %lu", static_cast<unsigned long>(size));
        return RESULT_FAILURE;
    }
    if (!firmwareImage.empty()) memcpy(buffer, firmwareImage.data(), firmwareImage.size());
    return RESULT_SUCCESS;
}

uint32_t CTorvikDevice::GetStorageMode() {
    CLogger log(L"CTorvikDevice::GetStorageMode");
    return storageMode;
}

uint32_t CTorvikDevice::GetValidationMethod() {
    CLogger log(L"CTorvikDevice::GetValidationMethod");
    return validationMethod;
}

int32_t CTorvikDevice::WriteToRam(const uint8_t*, uint32_t) {
    CLogger log(L"CTorvikDevice::WriteToRam");
    return RESULT_INVALID_PARAMETER;
}

int32_t CTorvikDevice::GetUUID(uint8_t*, uint32_t) {
    CLogger log(L"CTorvikDevice::GetUUID");
    return RESULT_FAILURE;
}

CDevice* CTorvikDevice::Clone() {
    CLogger log(L"CTorvikDevice::Clone");
    return new (std::nothrow) CTorvikDevice(*this);
}

int32_t CTorvikDevice::EP5Arrived() {
    CLogger log(L"CTorvikDevice::EP5Arrived");
    log.Write(2, L"EP5 arrived for device %s", instanceId);
    if (storageMode == STORAGE_SPI) {
        rebootPending = CheckTorvikBootDevice() != 1;
    } else if (storageMode == STORAGE_OTP) {
        rebootPending = false;
    }
    return RESULT_SUCCESS;
}

int32_t CTorvikDevice::DeviceCameBackAfterReboot() {
    CLogger log(L"CTorvikDevice::DeviceCameBackAfterReboot");
    if (IsWinUSBDeviceEnumerated(instanceId) != 0) return RESULT_DEVICE_IO_FAILED;
    return RebootDeviceIfRequired();
}

bool CTorvikDevice::IsVendorBlockPresent() {
    CLogger log(L"CTorvikDevice::IsVendorBlockPresent");
    return false;
}

// Pseudo-OTP is configured when the low three bits of flash byte 0x7FFA are 2.
bool CTorvikDevice::ReadPseudoOtpByte(uint8_t& value) {
    uint8_t bytes[2] = {};
    uint32_t length = sizeof(bytes);
    if (ReadSPIContent(bytes, kPseudoOtpAddress, &length) != RESULT_SUCCESS) return false;
    value = bytes[0];
    return true;
}

bool CTorvikDevice::IsPseudoOTPEnabled() {
    CLogger log(L"CTorvikDevice::IsPseudoOTPEnabled");
    if (!OpenWinUSBDeviceHandle()) {
        log.Write(1,
                  L"TorvikDevice:Cannot open device for programming. OpenWinUSBHandle returned %d "
                  L"for %s",
                  0, instanceId);
        SetHubStatus(HUB_STATUS_OPEN_FAILED);
        return false;
    }
    log.Write(1, L"Open USB Handle Opened. Device Index  %s", instanceId);
    uint8_t value = 0;
    bool read = ReadPseudoOtpByte(value);
    CloseWinUSBDeviceHandle();
    return read && (value & 7) == 2;
}

int32_t CTorvikDevice::ProgramDevice() {
    CLogger log(L"CTorvikDevice::ProgramDevice");
    log.Write(2, L"Going to Program / Verify device %s", instanceId);
    int32_t result = 0;
    if (!OpenWinUSBDeviceHandle()) {
        log.Write(1,
                  L"TorvikDevice:Cannot open device for programming. OpenWinUSBHandle returned %d "
                  L"for %s",
                  0, instanceId);
        SetHubStatus(HUB_STATUS_OPEN_FAILED);
    } else {
        log.Write(1, L"Open USB Handle Opened. Device Index  %s", instanceId);
        result = 1;
        const bool verify =
            validationMethod == VALIDATION_VERIFY || validationMethod == VALIDATION_VERIFY_ALT;
        uint32_t mode = storageMode;
        if (mode == STORAGE_SPI_PARTIAL_CONFIG) {
            uint8_t value = 0;
            if (ReadPseudoOtpByte(value) && (value & 7) == 2) {
                mode = STORAGE_OTP;
            } else {
                log.Write(2, L"PseudoOTP disabled for device %s", instanceId);
                result = RESULT_FAILURE;
                SetHubStatus(HUB_STATUS_PROGRAM_FAILED);
            }
        }
        if (mode == STORAGE_OTP) {
            if (configBlock.empty()) {
                log.Write(2,
                          L"TorvikDevice:Configuration block is not valid but OTP is chosen for "
                          L"device %s",
                          instanceId);
                SetHubStatus(HUB_STATUS_PROGRAM_FAILED);
            } else if ((romVersion = GetTorvikRomVersion()) == torvik::kRomUnknown) {
                log.Write(2, L"TorvikDevice:Unable to get ROM version  of the device %s",
                          instanceId);
                SetHubStatus(HUB_STATUS_PROGRAM_FAILED);
            } else if (programmingRequired) {
                result = ProgramAndVerifyOTP();
                if (result == RESULT_SUCCESS) {
                    SetHubStatus(verify ? HUB_STATUS_PROGRAMMED_VERIFIED : HUB_STATUS_PROGRAMMED);
                } else if (result == RESULT_OTP_WRITE_LIMIT) {
                    SetHubStatus(HUB_STATUS_OTP_WRITE_LIMIT);
                } else {
                    SetHubStatus(verify ? HUB_STATUS_PROGRAM_VERIFY_FAILED
                                        : HUB_STATUS_PROGRAM_FAILED);
                }
            } else if (verify) {
                result = VerifyOTP();
                SetHubStatus(result == RESULT_SUCCESS ? HUB_STATUS_VERIFIED
                                                      : HUB_STATUS_VERIFY_FAILED);
            }
        } else if (mode == STORAGE_SPI && !firmwareImage.empty()) {
            bool opened = true;
            if (programmingRequired) {
                log.Write(2, L"TorvikDevice:Going to program firmware image to device %s",
                          instanceId);
                verifyAfterWrite = verify;
                result = ProgramSPIFlash();
                SetHubStatus(result == RESULT_SUCCESS        ? HUB_STATUS_PROGRAMMED
                             : result == RESULT_NO_SPI_FLASH ? HUB_STATUS_SPI_FLASH_ERROR
                                                             : HUB_STATUS_PROGRAM_FAILED);
            }
            // A failed write keeps its own status: reading back cannot make it a success.
            if (verify && (!programmingRequired || result == RESULT_SUCCESS)) {
                if (!OpenWinUSBDeviceHandle()) {
                    log.Write(1,
                              L"TorvikDevice:Cannot open device for programming. "
                              L"OpenWinUSBHandle returned %d for %s",
                              0, instanceId);
                    SetHubStatus(HUB_STATUS_OPEN_FAILED);
                    result = 0;
                    opened = false;
                }
                if (opened) {
                    log.Write(2, L"TorvikDevice:Going to verify firmware image in device %s",
                              instanceId);
                    result = VerifySPIFlash();
                    if (result == RESULT_SUCCESS) {
                        SetHubStatus(programmingRequired ? HUB_STATUS_PROGRAMMED_VERIFIED
                                                         : HUB_STATUS_VERIFIED);
                    } else if (result == RESULT_NO_SPI_FLASH) {
                        SetHubStatus(HUB_STATUS_SPI_FLASH_ERROR);
                    } else {
                        SetHubStatus(programmingRequired ? HUB_STATUS_PROGRAM_VERIFY_FAILED
                                                         : HUB_STATUS_VERIFY_FAILED);
                    }
                }
            }
        }
    }
    log.Write(1, L"TorvikDevice:Result after progrmming device %s is %d", instanceId, result);
    CloseWinUSBDeviceHandle();
    return result;
}
