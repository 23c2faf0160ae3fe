// CTorvikDevice: boot state, the switch from SPI firmware to ROM, and the SPI
// flash behind the hub (read, write, verify).
#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

#include "Logger.h"
#include "TorvikDevice.h"

namespace {

constexpr uint8_t kBootFromRom = 0x04;
constexpr uint8_t kCacheBit = 0x02;
constexpr uint16_t kLastFirmwareWithoutCache = 0x0115;

}  // namespace

int32_t CTorvikDevice::RebootDeviceIfRequired() {
    CLogger log(L"CTorvikDevice::RebootDeviceIfRequired");
    if (IsWinUSBDeviceEnumerated(instanceId) == 0 && storageMode != STORAGE_UNKNOWN) {
        rebootPending = true;
        int32_t result = EnableFifthEndpoint(instanceId);
        if (result != RESULT_SUCCESS) log.Write(2, L"Enabling 5th EP failed for %s", instanceId);
        return result;
    }
    if (storageMode == STORAGE_SPI && !CheckAndRebootIfTorvikRunningfromSPI()) {
        log.Write(2, L"Not able to jump to ROM for device %s", instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    return RESULT_SUCCESS;
}

bool CTorvikDevice::CheckAndRebootIfTorvikRunningfromSPI() {
    CLogger log(L"CTorvikDevice::CheckAndRebootIfTorvikRunningfromSPI");
    CTorvikSession session(*this);
    if (!session.IsOpen()) {
        log.Write(2, L"KX7100 Device Not Found: Device id %s ", instanceId);
        return false;
    }
    uint8_t boot = 0;
    if (ReadRegister(kRegBootStatus, boot) != KX_STATUS_SUCCESS) {
        log.Write(2, L"Unsupported SPI interface/ No Flash present: Device id %s   ", instanceId);
        return false;
    }
    if ((boot & kBootFromRom) != 0) return true;
    uint16_t version = 0;
    uint32_t length = 0;
    if (!ReadHubVersionWord(version, length)) {
        log.Write(2,
                  L"Unable to Disable Cache as it is enabled in SPI firmwares >1.16: Device id %s",
                  instanceId);
        return false;
    }
    if (version > kLastFirmwareWithoutCache) {
        uint8_t cache = 0;
        if (ReadRegister(kRegCacheControl, cache) != KX_STATUS_SUCCESS ||
            ((cache & kCacheBit) != 0 &&
             WriteRegister(kRegCacheControl, static_cast<uint8_t>(cache & ~kCacheBit)) !=
                 KX_STATUS_SUCCESS)) {
            log.Write(2,
                      L"Unable to Disable Cache as it is enabled in SPI firmwares >1.16: Device id "
                      L"%s",
                      instanceId);
            return false;
        }
    }
    log.Write(2, L"Erasing SPI flash in device %s", instanceId);
    rebootPending = true;
    if (KX7100_SPI_SignatureErase(&deviceInfo) != KX_STATUS_SUCCESS) {
        log.Write(2, L"Erase SPI Signature Failed: Device id %s", instanceId);
        return false;
    }
    return true;
}

int32_t CTorvikDevice::CheckTorvikBootDevice() {
    CLogger log(L"CTorvikDevice::CheckTorvikBootDevice");
    CTorvikSession session(*this);
    if (!session.IsOpen()) {
        log.Write(2, L"KX7100 Device Not Found: Device id %s ", instanceId);
        return 3;
    }
    uint8_t boot = 0;
    if (ReadRegister(kRegBootStatus, boot) != KX_STATUS_SUCCESS) {
        log.Write(2, L"Unsupported SPI interface/ No Flash present: Device id %s   ", instanceId);
        return 3;
    }
    return (boot & kBootFromRom) != 0 ? 1 : 2;
}

int32_t CTorvikDevice::GetTorvikRomVersion() {
    CLogger log(L"CTorvikDevice::GetTorvikRomVersion");
    CTorvikSession session(*this);
    if (!session.IsOpen()) {
        log.Write(2, L"KX7100 Device Not Found: Device id %s ", instanceId);
        return torvik::kRomUnknown;
    }
    uint16_t version = 0;
    uint32_t length = 0;
    if (!ReadHubVersionWord(version, length)) {
        log.Write(2, L"Unable to get KX7100 Device ROM Version: Device id %s ", instanceId);
        return torvik::kRomUnknown;
    }
    if (length < 2) return torvik::kRomUnknown;
    return torvik::RomVersionFromWord(version);
}

int32_t CTorvikDevice::ReadSPIContent(uint8_t* buffer, uint32_t firstAddress, uint32_t* length) {
    CLogger log(L"CTorvikDevice::ReadSPIContent");
    if (!IsKX7100LibraryLoaded()) return RESULT_RESOURCE_FAILURE;
    if (buffer == nullptr) {
        log.Write(2, L"Buffer not allocated for reading SPI content : Device id %s  ", instanceId);
        return RESULT_VALIDATION_FAILED;
    }
    if (!IsOpen()) {
        log.Write(2, L"KX7100 Device Not Found: Device id %s   ", instanceId);
        return RESULT_DEVICE_NOT_FOUND;
    }
    if (length == nullptr || *length == 0) return RESULT_INVALID_PARAMETER;
    uint8_t boot = 0;
    if (ReadRegister(kRegBootStatus, boot) != KX_STATUS_SUCCESS) return RESULT_DEVICE_IO_FAILED;
    const uint32_t last = firstAddress + *length - 1;
    std::vector<uint8_t> work(kSpiBufferSize, 0);
    // The work buffer holds at most 128 KiB.
    if (*length > kSpiBufferSize) return RESULT_INVALID_PARAMETER;
    int32_t status = KX_STATUS_SUCCESS;
    if (boot == 0) {
        uint8_t cache = 0;
        ReadRegister(kRegCacheControl, cache);
        WriteRegister(kRegCacheControl, static_cast<uint8_t>(cache | kCacheBit));
        status = KX7100_SPI_ReadSPIContent(&deviceInfo, work.data(), 0, firstAddress, last);
    } else {
        if (!KX7100_SPI_SPIPassthruEnterExit(&deviceInfo, 1)) {
            KX7100_SPI_SPIPassthruEnterExit(&deviceInfo, 0);
            return RESULT_DEVICE_IO_FAILED;
        }
        char manufacturer[64] = {};
        int32_t id = KX7100_SPI_GetManufactureID(manufacturer, &deviceInfo, spiAccessFlag);
        if (!KX7100_SPI_SPIPassthruEnterExit(&deviceInfo, 0)) return RESULT_DEVICE_IO_FAILED;
        if (id == KX_STATUS_UNSUPPORTED_SPI) {
            log.Write(2, L"Unsupported SPI interface/ No Flash present: Device id %s  ",
                      instanceId);
        } else if (id == KX_STATUS_NO_SPI_FLASH) {
            log.Write(2, L"No SPI Flash present: Device id %s  ", instanceId);
        }
        if (id != KX_STATUS_SUCCESS) return RESULT_DEVICE_IO_FAILED;
        status =
            KX7100_SPI_UploadBinary(&deviceInfo, work.data(), 0, firstAddress, last, spiAccessFlag);
    }
    if (status != KX_STATUS_SUCCESS) {
        log.Write(2, L"Reading SPI Flash  FW failed: Device id %s  ", instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    *length = last - firstAddress + 1;
    memcpy(buffer, work.data(), *length);
    return RESULT_SUCCESS;
}

int32_t CTorvikDevice::WriteSPIFlashDevice() {
    CLogger log(L"CTorvikDevice::WriteSPIFlashDevice");
    if (!IsKX7100LibraryLoaded()) return RESULT_RESOURCE_FAILURE;
    CTorvikSession session(*this);
    if (!session.IsOpen()) {
        log.Write(2, L"Unable to get device handle after SPI signature erase: Device id %s",
                  instanceId);
        return RESULT_OPEN_FAILED;
    }
    if (!KX7100_SPI_SPIPassthruEnterExit(&deviceInfo, 1)) {
        DWORD error = GetLastError();
        KX7100_SPI_SPIPassthruEnterExit(&deviceInfo, 0);
        log.Write(2, L"SpiPassThruEnterFailed Failed: Device id %s  Windows API error Code %d ",
                  instanceId, static_cast<int>(error));
        return RESULT_DEVICE_IO_FAILED;
    }
    char manufacturer[64] = {};
    int32_t id = KX7100_SPI_GetManufactureID(manufacturer, &deviceInfo, spiAccessFlag);
    if (!KX7100_SPI_SPIPassthruEnterExit(&deviceInfo, 0)) {
        log.Write(2, L"KX7100_SPI_SPIPassthruEnterExit() Failed: Device id %s   ", instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    if (id != KX_STATUS_SUCCESS) {
        if (id == KX_STATUS_UNSUPPORTED_SPI) {
            log.Write(2, L"Unsupported SPI interface/ No Flash present: Device id %s   ",
                      instanceId);
        } else if (id == KX_STATUS_NO_SPI_FLASH) {
            log.Write(2, L"No SPI Flash present: Device id %s  ", instanceId);
        }
        return RESULT_NO_SPI_FLASH;
    }
    std::vector<uint8_t> image(kSpiBufferSize, 0);
    memcpy(image.data(), firmwareImage.data(), firmwareImage.size());
    if (KX7100_SPI_LoadBinary(&deviceInfo, image.data(), 0, verifyAfterWrite ? 0 : 1, 0,
                              static_cast<uint32_t>(firmwareImage.size()),
                              spiAccessFlag) != KX_STATUS_SUCCESS) {
        log.Write(2, L"KX7100_SPI_LoadBinary() Failed: Device id %s  ", instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    return RESULT_SUCCESS;
}

int32_t CTorvikDevice::ProgramSPIFlash() {
    CLogger log(L"CTorvikDevice::ProgramSPIFlash");
    int32_t result = WriteSPIFlashDevice();
    if (result != RESULT_SUCCESS) {
        log.Write(2, L"Programming block to external ROM failed for %s\n", instanceId);
    }
    return result;
}

int32_t CTorvikDevice::VerifySPIFlash() {
    CLogger log(L"CTorvikDevice::VerifySPIFlash");
    std::vector<uint8_t> flash;
    try {
        flash.assign(kSpiBufferSize, 0);
    } catch (const std::bad_alloc&) {
        log.Write(2, L"Not able to allocate  bytes. Device ID  of %s \n", instanceId);
        return RESULT_VALIDATION_FAILED;
    }
    uint32_t length = static_cast<uint32_t>(firmwareImage.size());
    int32_t result = ReadSPIContent(flash.data(), 0, &length);
    if (length == 0 || length < firmwareImage.size()) {
        log.Write(2, L"Reading from external SPI Flash Failed Device ID  of %s \n", instanceId);
        return RESULT_READ_FAILED;
    }
    if (result != RESULT_SUCCESS) {
        log.Write(2, L"Reading from external ROM of %s failed, error code: %d\n", instanceId,
                  result);
        return RESULT_READ_FAILED;
    }
    if (memcmp(flash.data(), firmwareImage.data(), firmwareImage.size()) != 0) {
        log.Write(2, L"Data written and read are not same for device %s", instanceId);
        return RESULT_COMPARE_FAILED;
    }
    return RESULT_SUCCESS;
}
