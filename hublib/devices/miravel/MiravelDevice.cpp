// CMiravelDevice: settings, the programming run and the hub conversations
// (reboot into DFU mode, OTP read, RAM write, UUID).
#include "MiravelDevice.h"

#include <cstring>
#include <new>

#include "IParser.h"
#include "Logger.h"
#include "MiravelAccess.h"
#include "MiravelOtpLayout.h"
#include "MiravelSpiFlash.h"
#include "MiravelSpiPlan.h"

using namespace miravel;

namespace {

constexpr int32_t kNoAccessObject = static_cast<int32_t>(0x8007000E);

// Owns a parser of Pellvane.dll for one validation.
struct ParserHolder {
    IParser* parser = CreateParser(nullptr, 0, nullptr, 0, 0);
    ~ParserHolder() { delete parser; }
};

bool CopyInto(std::vector<uint8_t>& target, const uint8_t* bytes, uint32_t size) {
    try {
        target.assign(bytes, bytes + size);
        return true;
    } catch (const std::bad_alloc&) {
        target.clear();
        return false;
    }
}

// Copies stored bytes into a caller's buffer of size bytes.
int32_t CopyOut(const std::vector<uint8_t>& stored, uint32_t size, uint8_t* buffer, CLogger& log) {
    if (size < stored.size() || (buffer == nullptr && !stored.empty())) {
        log.Write(1, L"Buffer size is small : %lu", static_cast<unsigned long>(size));
        return RESULT_FAILURE;
    }
    if (!stored.empty()) memcpy(buffer, stored.data(), stored.size());
    return RESULT_SUCCESS;
}

}  // namespace

CMiravelDevice::CMiravelDevice(const wchar_t* path, uint32_t length, bool vendorBlockPresent)
    : CDevice(path, length), vendorBlockPresent(vendorBlockPresent) {
    CLogger log(L"CMiravelDevice::CMiravelDevice");
}

CMiravelDevice::CMiravelDevice(const CMiravelDevice& other)
    : CDevice(other),
      storageMode(other.storageMode),
      validationMethod(other.validationMethod),
      configBlock(other.configBlock),
      firmwareImage(other.firmwareImage),
      vendorBlockPresent(other.vendorBlockPresent) {
    CLogger log(L"CMiravelDevice::CMiravelDevice");
    memcpy(vendorBlock, other.vendorBlock, sizeof(vendorBlock));
}

CDevice* CMiravelDevice::Clone() {
    CLogger log(L"CMiravelDevice::Clone");
    try {
        return new CMiravelDevice(*this);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool CMiravelDevice::Verifying() const {
    return validationMethod == VALIDATION_VERIFY || validationMethod == VALIDATION_VERIFY_ALT;
}

int32_t CMiravelDevice::SetConfigurationBlock(const uint8_t* bytes, uint32_t size) {
    CLogger log(L"CMiravelDevice::SetConfigurationBlock");
    log.Write(2, L"--> for %s", instanceId);
    int32_t result = RESULT_INVALID_PARAMETER;
    if (bytes != nullptr && size != 0) {
        configBlock.clear();
        ParserHolder holder;
        if (holder.parser == nullptr) {
            result = RESULT_VALIDATION_FAILED;
        } else {
            result = holder.parser->ValidateConfigurationBlock(bytes, size);
            if (result == RESULT_SUCCESS && !CopyInto(configBlock, bytes, size)) {
                result = RESULT_VALIDATION_FAILED;
            }
        }
    }
    log.Write(2, L"<-- for %s", instanceId);
    return result;
}

bool CMiravelDevice::SetStorageMode(uint32_t mode) {
    CLogger log(L"CMiravelDevice::SetStorageMode");
    log.Write(2, L"--> for %s, storage mode = %d", instanceId, mode);
    if (mode <= STORAGE_UNKNOWN) storageMode = mode;
    const int32_t result = RebootDeviceIfRequired();
    if (result != RESULT_SUCCESS) {
        log.Write(2,
                  L"RebootDeviceIfRequired() returned error code %d for %s so \t\t\t\tresetting "
                  L"the storage mode to STORAGE_UNKNOWN",
                  result, instanceId);
        storageMode = STORAGE_UNKNOWN;
        return false;
    }
    return true;
}

bool CMiravelDevice::SetValidationMethod(uint32_t method) {
    CLogger log(L"CMiravelDevice::SetValidationMethod");
    log.Write(2, L"--> Validation method = %d for %s", method, instanceId);
    if (method > VALIDATION_NONE) return false;
    validationMethod = method;
    return true;
}

int32_t CMiravelDevice::SetVendorBlock(const uint8_t* bytes, uint32_t size) {
    CLogger log(L"CMiravelDevice::SetVendorBlock");
    memset(vendorBlock, 0, sizeof(vendorBlock));
    if (bytes != nullptr && size == sizeof(vendorBlock)) memcpy(vendorBlock, bytes, size);
    return RESULT_SUCCESS;
}

int32_t CMiravelDevice::SetFwImage(const uint8_t* bytes, uint32_t size) {
    CLogger log(L"CMiravelDevice::SetFwImage");
    if (size == 0) {
        log.Write(2, L"Firmware image size is 0 for %s", instanceId);
        return RESULT_INVALID_PARAMETER;
    }
    if (bytes == nullptr) {
        log.Write(2, L"Firmware image is not available for %s", instanceId);
        return RESULT_INVALID_PARAMETER;
    }
    firmwareImage.clear();
    ParserHolder holder;
    if (holder.parser == nullptr) {
        log.Write(2, L"CreateParser failed. Not able to validate firmware image");
        return RESULT_VALIDATION_FAILED;
    }
    const int32_t result = holder.parser->ValidateFirmwareImage(bytes, size);
    if (result != RESULT_SUCCESS) return result;
    return CopyInto(firmwareImage, bytes, size) ? RESULT_SUCCESS : RESULT_VALIDATION_FAILED;
}

uint32_t CMiravelDevice::GetConfigBlockSize() {
    CLogger log(L"CMiravelDevice::GetConfigBlockSize");
    return static_cast<uint32_t>(configBlock.size());
}

int32_t CMiravelDevice::GetConfigBlock(uint32_t size, uint8_t* buffer) {
    CLogger log(L"CMiravelDevice::GetConfigBlock");
    return CopyOut(configBlock, size, buffer, log);
}

uint32_t CMiravelDevice::GetFirmwareImageSize() {
    CLogger log(L"CMiravelDevice::GetFirmwareImageSize");
    return static_cast<uint32_t>(firmwareImage.size());
}

int32_t CMiravelDevice::GetFirmwareImage(uint32_t size, uint8_t* buffer) {
    CLogger log(L"CMiravelDevice::GetFirmwareImage");
    return CopyOut(firmwareImage, size, buffer, log);
}

uint32_t CMiravelDevice::GetStorageMode() {
    CLogger log(L"CMiravelDevice::GetStorageMode");
    return storageMode;
}

uint32_t CMiravelDevice::GetValidationMethod() {
    CLogger log(L"CMiravelDevice::GetValidationMethod");
    return validationMethod;
}

int32_t CMiravelDevice::GetOTPSize() {
    CLogger log(L"CMiravelDevice::GetOTPSize");
    return static_cast<int32_t>(kOtpSize);
}

bool CMiravelDevice::IsVendorBlockPresent() {
    CLogger log(L"CMiravelDevice::IsVendorBlockPresent");
    return vendorBlockPresent;
}

// A hub running its firmware from SPI flash cannot have that flash rewritten:
// it is sent into DFU mode first and comes back as a new device.
int32_t CMiravelDevice::RebootDeviceIfRequired() {
    CLogger log(L"CMiravelDevice::RebootDeviceIfRequired");
    log.Write(2, L"--> RebootDeviceIfRequired for %s", instanceId);
    const bool spiMode = storageMode == STORAGE_SPI_PARTIAL_CONFIG ||
                         storageMode == STORAGE_SPI_COPY_FROM_OTP || storageMode == STORAGE_SPI;
    if (!spiMode && !rebootPending) return RESULT_SUCCESS;

    CZelvoObject access;
    int32_t result =
        access ? OpenMiravelDevice(access.get(), instanceId, kPathLimit) : RESULT_DEVICE_IO_FAILED;
    if (result != 0) {
        log.Write(2, L"Cannot open device %s", instanceId);
    } else {
        uint8_t flags = 0x30;
        result = Retry(
            kVendorAttempts, kRetryPauseMs, [&] { return access->ReadControl(0xF9, 1, &flags); },
            Succeeded);
        if (result != 0) {
            log.Write(2, L"Not able to detect if Reboot is required for device %s", instanceId);
        } else if ((flags & 0x88) != 0) {
            log.Write(2, L"Rebooting device %s in DFU mode", instanceId);
            rebootPending = true;
            storageMode = STORAGE_UNKNOWN;
            programmingRequired = false;
            validationMethod = VALIDATION_NONE;
            result = Retry(
                kVendorAttempts, kRetryPauseMs, [&] { return access->RebootToDfu(); }, Succeeded);
            if (result != 0) {
                log.Write(2, L"Not able to Reboot in DFU mode, error code is %d for %s", result,
                          instanceId);
                // The hub stays on the bus: nothing below it may wait for its return.
                rebootPending = false;
            }
        }
    }
    log.Write(2, L"<-- RebootDeviceIfRequired for %s", instanceId);
    return result;
}

int32_t CMiravelDevice::DeviceCameBackAfterReboot() {
    CLogger log(L"CMiravelDevice::DeviceCameBackAfterReboot");
    CZelvoObject access;
    if (!access) return RESULT_DEVICE_IO_FAILED;
    int32_t result = OpenMiravelDevice(access.get(), instanceId, kPathLimit);
    if (result != 0) return result;
    result = KeepRingOscillatorRunning(access.get());
    if (result != 0) {
        log.Write(2,
                  L"Not able to prevent main loop ring oscillator from\t\t\t\t\t\t stopping for "
                  L"device %s",
                  instanceId);
    }
    return result;
}

void CMiravelDevice::WriteStartRegisters(ZelvoAccess* access, CLogger& log) {
    if (KeepRingOscillatorRunning(access) != 0) {
        log.Write(2,
                  L"Not able to prevent main loop ring oscillator from\t\t\t\tstopping for device "
                  L"%s",
                  instanceId);
    }
    struct RegisterWrite {
        uint32_t address;
        uint8_t bytes[2];
        uint32_t length;
    };
    static const RegisterWrite kWrites[] = {
        {0x0951, {0x00}, 1},       {0x5204, {0x00, 0x00}, 2}, {0x5206, {0x00, 0x00}, 2},
        {0x084C, {0x8B, 0x06}, 2}, {0x084E, {0x8B, 0x87}, 2},
    };
    for (const RegisterWrite& write : kWrites) {
        uint8_t bytes[2] = {write.bytes[0], write.bytes[1]};
        access->AccessRegister(write.address, 0, bytes, write.length);
    }
}

void CMiravelDevice::ProgramOtpMode(ZelvoAccess* access, int32_t& result, CLogger& log) {
    const bool verify = Verifying();
    if (configBlock.empty()) {
        log.Write(2, L"Configuration block is not valid but OTP is chosen for device %s",
                  instanceId);
        SetHubStatus(HUB_STATUS_PROGRAM_FAILED);
    } else if (programmingRequired) {
        result = ProgramAndVerifyOTP(access);
        if (result == RESULT_SUCCESS) {
            SetHubStatus(verify ? HUB_STATUS_PROGRAMMED_VERIFIED : HUB_STATUS_PROGRAMMED);
        } else if (result == RESULT_INSUFFICIENT_SPACE) {
            SetHubStatus(HUB_STATUS_INSUFFICIENT_SPACE);
        } else {
            SetHubStatus(verify ? HUB_STATUS_PROGRAM_VERIFY_FAILED : HUB_STATUS_PROGRAM_FAILED);
        }
    } else if (verify) {
        result = VerifyOTP(access);
        SetHubStatus(result == RESULT_SUCCESS ? HUB_STATUS_VERIFIED : HUB_STATUS_VERIFY_FAILED);
    }
}

void CMiravelDevice::ProgramSpiConfigMode(ZelvoAccess* access, int32_t& result, CLogger& log) {
    if (configBlock.empty()) return;
    const bool verify = Verifying();
    const uint32_t size = static_cast<uint32_t>(configBlock.size());
    if (programmingRequired) {
        log.Write(2, L"Programming config block is ext ROM to device %s", instanceId);
        result = ProgramSPIFlash(configBlock.data(), access, *this, kFlashConfigAddress, size);
        SetHubStatus(result == RESULT_SUCCESS ? HUB_STATUS_PROGRAMMED : HUB_STATUS_PROGRAM_FAILED);
    }
    if (verify) {
        log.Write(2, L"Verifying config block in ext ROM of device %s", instanceId);
        std::vector<uint8_t> area(kFlashConfigAreaSize, 0);
        result =
            ReadSPIFlash(area.data(), kFlashConfigAreaSize, *this, access, kFlashConfigAddress);
        if (result == RESULT_SUCCESS) {
            result =
                FindLastCFGBAndCompare(area.data(), kFlashConfigAreaSize, configBlock.data(), size);
        }
        SetHubStatus(result == RESULT_SUCCESS ? HUB_STATUS_VERIFIED : HUB_STATUS_VERIFY_FAILED);
    }
    if (programmingRequired && verify) {
        SetHubStatus(result == RESULT_SUCCESS ? HUB_STATUS_PROGRAMMED_VERIFIED
                                              : HUB_STATUS_PROGRAM_VERIFY_FAILED);
    }
}

bool CMiravelDevice::CopyVendorBlockIntoImage(ZelvoAccess* access, CLogger& log) {
    uint8_t vendor[kVendorBlockSize] = {};
    const int32_t read = Retry(
        kVendorAttempts, kRetryPauseMs,
        [&] { return access->ReadOtp(kVendorBlockOffset, vendor, kVendorBlockSize); },
        [](int32_t count) { return count == static_cast<int32_t>(kVendorBlockSize); });
    if (read != static_cast<int32_t>(kVendorBlockSize)) {
        log.Write(2, L"Reading 1st 30bytes from OTP failed for %s, error is %d", instanceId, read);
        SetHubStatus(HUB_STATUS_PROGRAM_FAILED);
        return false;
    }
    if (firmwareImage.size() >= kFlashVendorBlockAddress + kVendorBlockSize) {
        memcpy(firmwareImage.data() + kFlashVendorBlockAddress, vendor, kVendorBlockSize);
    }
    return true;
}

void CMiravelDevice::ProgramSpiImageMode(ZelvoAccess* access, int32_t& result, CLogger& log) {
    if (firmwareImage.empty()) return;
    const bool verify = Verifying();
    const uint32_t size = static_cast<uint32_t>(firmwareImage.size());
    if (programmingRequired) {
        log.Write(2, L"Going to program firmware image to device %s", instanceId);
        result = ProgramSPIFlash(firmwareImage.data(), access, *this, 0, size);
        SetHubStatus(result == RESULT_SUCCESS ? HUB_STATUS_PROGRAMMED : HUB_STATUS_PROGRAM_FAILED);
    }
    if (verify && (!programmingRequired || hubStatus == HUB_STATUS_PROGRAMMED)) {
        log.Write(2, L"Going to verify firmware image in device %s", instanceId);
        result = VerifySPIFlash(access, size, *this, firmwareImage.data());
        SetHubStatus(result == RESULT_SUCCESS ? HUB_STATUS_VERIFIED : HUB_STATUS_VERIFY_FAILED);
    }
    if (programmingRequired && verify) {
        SetHubStatus(result == RESULT_SUCCESS ? HUB_STATUS_PROGRAMMED_VERIFIED
                                              : HUB_STATUS_PROGRAM_VERIFY_FAILED);
    }
}

int32_t CMiravelDevice::ProgramDevice() {
    CLogger log(L"CMiravelDevice::ProgramDevice");
    if (configBlock.empty() == firmwareImage.empty()) {
        log.Write(1,
                  L"Both Configuration block and firmware image are present or both size are "
                  L"ZERO(0)");
        return RESULT_INVALID_PARAMETER;
    }
    if (storageMode > STORAGE_OTP) {
        log.Write(1, L"Invalid Storage mode");
        return RESULT_INVALID_PARAMETER;
    }
    CZelvoObject access;
    log.Write(2, L"Opening device %s", instanceId);
    const int32_t opened = OpenMiravelDevice(access.get(), instanceId, kPathLimit);
    if (opened != 0) {
        // Without a status of its own the run would end as if nothing had failed.
        SetHubStatus(HUB_STATUS_OPEN_FAILED);
        return opened;
    }
    WriteStartRegisters(access.get(), log);
    int32_t result = RESULT_SUCCESS;
    switch (storageMode) {
        case STORAGE_OTP:
            ProgramOtpMode(access.get(), result, log);
            break;
        case STORAGE_SPI_PARTIAL_CONFIG:
            ProgramSpiConfigMode(access.get(), result, log);
            break;
        case STORAGE_SPI_COPY_FROM_OTP:
            if (!CopyVendorBlockIntoImage(access.get(), log)) break;
            ProgramSpiImageMode(access.get(), result, log);
            break;
        case STORAGE_SPI:
            ProgramSpiImageMode(access.get(), result, log);
            break;
        default:
            break;
    }
    return result;
}

int32_t CMiravelDevice::ReadOTP(uint8_t* buffer, uint32_t length) {
    CLogger log(L"CMiravelDevice::ReadOTP");
    if (buffer == nullptr || length < kOtpSize) return RESULT_INVALID_PARAMETER;
    CZelvoObject access;
    if (!access) {
        log.Write(1, L"Creating ZELVO object failed");
        return kNoAccessObject;
    }
    if (OpenMiravelDevice(access.get(), instanceId, kPathLimit) != 0) {
        log.Write(1, L"Cannot open device %ws", instanceId);
        return RESULT_OPEN_FAILED;
    }
    const int32_t read = Retry(
        kVendorAttempts, kRetryPauseMs, [&] { return access->ReadOtp(0, buffer, length); },
        [&](int32_t count) { return count == static_cast<int32_t>(length); });
    if (read != static_cast<int32_t>(length)) {
        log.Write(1, L"Read only %d bytes instead of %d bytes", read, length);
        return RESULT_READ_FAILED;
    }
    return RESULT_SUCCESS;
}

int32_t CMiravelDevice::WriteToRam(const uint8_t* data, uint32_t length) {
    CLogger log(L"CMiravelDevice::WriteToRam");
    if (data == nullptr || length == 0) return RESULT_INVALID_PARAMETER;
    CZelvoObject access;
    if (!access) {
        log.Write(1, L"Creating ZELVO object failed");
        return kNoAccessObject;
    }
    if (OpenMiravelDevice(access.get(), instanceId, kPathLimit) != 0) {
        log.Write(1, L"Cannot open device %ws", instanceId);
        return RESULT_OPEN_FAILED;
    }
    static const uint8_t kZeros[kRamSize] = {};
    if (access->WriteRam(0, kZeros, kRamSize) != 0) {
        log.Write(2, L"Failed to clear Ram buffer");
        return RESULT_DEVICE_IO_FAILED;
    }
    if (access->WriteRam(kRamBlockOffset, data, length) != 0) {
        log.Write(2, L"Failed to write Ram at address");
        return RESULT_DEVICE_IO_FAILED;
    }
    // Applied only when the RAM holds exactly what was written.
    std::vector<uint8_t> readBack(length, 0);
    if (access->ReadRam(kRamBlockOffset, readBack.data(), length) != 0) {
        log.Write(2, L"Failed to read back Ram at address");
        return RESULT_READ_FAILED;
    }
    if (memcmp(readBack.data(), data, length) != 0) {
        log.Write(2, L"Data read back from Ram differs from the data written");
        return RESULT_VERIFY_MISMATCH;
    }
    access->ApplyRam();
    return RESULT_SUCCESS;
}

int32_t CMiravelDevice::GetUUID(uint8_t* buffer, uint32_t length) {
    CLogger log(L"CMiravelDevice::GetUUID");
    if (buffer == nullptr || length < kUuidSize) {
        log.Write(2, L"Not enough buffer to store UUID for device %ws\n", instanceId);
        return RESULT_INVALID_PARAMETER;
    }
    CZelvoObject access;
    if (!access) {
        log.Write(1, L"Creating ZELVO object failed");
        return kNoAccessObject;
    }
    log.Write(2, L"Opening device %s", instanceId);
    const int32_t opened = OpenMiravelDevice(access.get(), instanceId, kPathLimit);
    if (opened != 0) {
        log.Write(1, L"Cannot open device. czelvo->Open returned %d for %s", opened, instanceId);
        return RESULT_OPEN_FAILED;
    }
    uint8_t otp[kOtpSize] = {};
    const int32_t read = Retry(
        kVendorAttempts, kRetryPauseMs, [&] { return access->ReadOtp(0, otp, kOtpSize); },
        [](int32_t count) { return count == static_cast<int32_t>(kOtpSize); });
    if (read != static_cast<int32_t>(kOtpSize)) {
        log.Write(2, L"OTP is not read correctly. Error code / read only %d bytes for device %ws\n",
                  read, instanceId);
        return RESULT_READ_FAILED;
    }
    if (IsVendorBlcokValid(otp + kVendorBlockOffset) != RESULT_SUCCESS) {
        log.Write(2, L"Vendor block is not present. UUID is not available\n");
        return RESULT_NO_VENDOR_BLOCK;
    }
    memcpy(buffer, otp + kUuidOffset, kUuidSize);
    return static_cast<int32_t>(kUuidSize);
}
