// The fourteen functions of KX7100API.dll over the simulated fixture's
// second-family exports. Results of the simulator map to statuses: a failed
// transfer is status 4 with its Windows error kept for this thread.
#define KX7100_API extern "C"
#include "KX7100API.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "SimulatorLink.h"

namespace {

thread_local uint32_t t_systemError = 0;

bool IsOpen(const tagWinusbDevice* device) {
    return device != nullptr && device->deviceHandle != nullptr &&
           device->deviceHandle != INVALID_HANDLE_VALUE;
}

int32_t StatusOf(int simResult) {
    if (simResult == USBSIM_OK) return KX_STATUS_SUCCESS;
    if (simResult > 0) {
        t_systemError = static_cast<uint32_t>(simResult);
        return KX_STATUS_WINUSB_ERROR;
    }
    switch (simResult) {
        case USBSIM_SECOND_REFUSED:
            return KX_STATUS_DEVICE_ERROR;
        case USBSIM_SECOND_NO_FLASH:
            return KX_STATUS_NO_SPI_FLASH;
        case USBSIM_SECOND_UNSUPPORTED_FLASH:
            return KX_STATUS_UNSUPPORTED_SPI;
        case USBSIM_ERROR_ARGUMENT:
            return KX_STATUS_INVALID_PARAMETER;
        default:
            return KX_STATUS_DEVICE_NOT_FOUND;
    }
}

// The simulator and the open hub of a call, or the status that stops it.
int32_t Begin(const tagDeviceInfo* info, const SimulatorLink*& sim) {
    if (info == nullptr) return KX_STATUS_INVALID_PARAMETER;
    if (!IsOpen(&info->winusb)) return KX_STATUS_DEVICE_NOT_OPEN;
    sim = Simulator();
    return sim == nullptr ? KX_STATUS_DEVICE_NOT_FOUND : KX_STATUS_SUCCESS;
}

void SetCount(uint16_t* done, unsigned count) {
    if (done != nullptr) *done = static_cast<uint16_t>(count);
}

}  // namespace

int32_t __cdecl KX7100_USB_WUBuildDeviceInfoFromDeviceName(tagWinusbDevice* device,
                                                           const wchar_t* devicePath) {
    if (device == nullptr || devicePath == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    const SimulatorLink* sim = Simulator();
    if (sim == nullptr) return -1;
    void* handle = nullptr;
    int result = sim->open(devicePath, &handle);
    if (result != USBSIM_OK) {
        t_systemError = result > 0 ? static_cast<uint32_t>(result) : ERROR_FILE_NOT_FOUND;
        SetLastError(t_systemError);
        return -1;
    }
    memset(device, 0, sizeof(*device));
    device->deviceHandle = handle;
    device->interfaceHandle = handle;
    wcsncpy(device->devicePath, devicePath, 259);
    return 0;
}

int32_t __cdecl KX7100_USB_WUDestroyDeviceInfo(tagWinusbDevice* device) {
    if (device == nullptr) return KX_STATUS_INVALID_PARAMETER;
    if (!IsOpen(device)) return KX_STATUS_DEVICE_NOT_OPEN;
    const SimulatorLink* sim = Simulator();
    int result = sim != nullptr ? sim->close(device->deviceHandle) : USBSIM_ERROR_NO_MODEL;
    device->deviceHandle = nullptr;
    device->interfaceHandle = nullptr;
    return StatusOf(result);
}

int32_t __cdecl KX7100_Device_Read_XDATA_Data(tagDeviceInfo* info, uint16_t address,
                                              uint8_t* buffer, uint16_t count, uint16_t* done) {
    SetCount(done, 0);
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    if (buffer == nullptr) return KX_STATUS_INVALID_PARAMETER;
    for (uint16_t i = 0; i < count; ++i) {
        int32_t status = StatusOf(sim->readRegister(
            info->winusb.deviceHandle, static_cast<unsigned>(address + i), buffer + i));
        if (status != KX_STATUS_SUCCESS) return status;
        SetCount(done, i + 1u);
    }
    return KX_STATUS_SUCCESS;
}

int32_t __cdecl KX7100_Device_Write_XDATA_Data(tagDeviceInfo* info, uint16_t address, uint8_t* data,
                                               uint16_t count, uint16_t* done) {
    SetCount(done, 0);
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    if (data == nullptr) return KX_STATUS_INVALID_PARAMETER;
    for (uint16_t i = 0; i < count; ++i) {
        int32_t status = StatusOf(sim->writeRegister(info->winusb.deviceHandle,
                                                     static_cast<unsigned>(address + i), data[i]));
        if (status != KX_STATUS_SUCCESS) return status;
        SetCount(done, i + 1u);
    }
    return KX_STATUS_SUCCESS;
}

int32_t __cdecl KX7100_OTP_Read_Data(tagDeviceInfo* info, uint16_t offset, uint8_t* buffer,
                                     uint16_t count, uint16_t* done) {
    SetCount(done, 0);
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    if (buffer == nullptr) return KX_STATUS_INVALID_PARAMETER;
    unsigned read = 0;
    int32_t status =
        StatusOf(sim->readOtp(info->winusb.deviceHandle, offset, buffer, count, &read));
    if (status == KX_STATUS_SUCCESS) SetCount(done, read);
    return status;
}

int32_t __cdecl KX7100_OTP_Write_Data(tagDeviceInfo* info, uint16_t offset, uint8_t* data,
                                      uint16_t count, uint16_t* done) {
    SetCount(done, 0);
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    if (data == nullptr) return KX_STATUS_INVALID_PARAMETER;
    unsigned written = 0;
    int32_t status =
        StatusOf(sim->writeOtp(info->winusb.deviceHandle, offset, data, count, &written));
    if (status == KX_STATUS_SUCCESS) SetCount(done, written);
    return status;
}

int32_t __cdecl KX7100_Get_Hub_Info(tagDeviceInfo* info, uint8_t* buffer, uint32_t* length) {
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    if (buffer == nullptr || length == nullptr) return KX_STATUS_INVALID_PARAMETER;
    unsigned got = 0;
    int32_t status = StatusOf(sim->hubInfo(info->winusb.deviceHandle, buffer, *length, &got));
    *length = status == KX_STATUS_SUCCESS ? got : 0;
    if (status == KX_STATUS_SUCCESS) {
        memcpy(info->hubInfo, buffer, got < sizeof(info->hubInfo) ? got : sizeof(info->hubInfo));
    }
    return status;
}

int32_t __cdecl KX7100_Get_System_ErrorCode(uint32_t* code) {
    if (code == nullptr) return KX_STATUS_INVALID_PARAMETER;
    *code = t_systemError;
    return KX_STATUS_SUCCESS;
}

int32_t __cdecl KX7100_SPI_SPIPassthruEnterExit(tagDeviceInfo* info, uint8_t enter) {
    const SimulatorLink* sim = nullptr;
    int32_t status = Begin(info, sim);
    if (status == KX_STATUS_SUCCESS) {
        status = StatusOf(sim->passthrough(info->winusb.deviceHandle, enter != 0 ? 1 : 0));
    }
    if (status != KX_STATUS_SUCCESS) {
        SetLastError(status == KX_STATUS_WINUSB_ERROR ? t_systemError : ERROR_GEN_FAILURE);
        return 0;
    }
    info->passthrough = enter != 0 ? 1 : 0;
    return 1;
}

int32_t __cdecl KX7100_SPI_GetManufactureID(char* text, tagDeviceInfo* info, uint8_t) {
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    if (text == nullptr) return KX_STATUS_INVALID_PARAMETER;
    text[0] = '\0';
    int32_t status = StatusOf(sim->flashId(info->winusb.deviceHandle));
    if (status == KX_STATUS_SUCCESS) strcpy(text, "EF4015");
    return status;
}

int32_t __cdecl KX7100_SPI_ReadSPIContent(tagDeviceInfo* info, uint8_t* buffer, uint32_t,
                                          uint32_t first, uint32_t last) {
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    if (buffer == nullptr || last < first) return KX_STATUS_INVALID_PARAMETER;
    return StatusOf(sim->readFlash(info->winusb.deviceHandle, first, last, buffer));
}

int32_t __cdecl KX7100_SPI_UploadBinary(tagDeviceInfo* info, uint8_t* buffer, uint32_t reserved,
                                        uint32_t first, uint32_t last, uint8_t) {
    return KX7100_SPI_ReadSPIContent(info, buffer, reserved, first, last);
}

int32_t __cdecl KX7100_SPI_LoadBinary(tagDeviceInfo* info, const uint8_t* image, uint32_t,
                                      int32_t noVerify, uint32_t, uint32_t size, uint8_t) {
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    if (image == nullptr || size == 0) return KX_STATUS_INVALID_PARAMETER;
    int32_t status = StatusOf(sim->loadFlash(info->winusb.deviceHandle, image, size));
    if (status != KX_STATUS_SUCCESS || noVerify) return status;
    std::vector<uint8_t> back(size);
    status = StatusOf(sim->readFlash(info->winusb.deviceHandle, 0, size - 1, back.data()));
    if (status != KX_STATUS_SUCCESS) return status;
    return memcmp(back.data(), image, size) == 0 ? KX_STATUS_SUCCESS : KX_STATUS_VERIFY_FAILED;
}

int32_t __cdecl KX7100_SPI_SignatureErase(tagDeviceInfo* info) {
    const SimulatorLink* sim = nullptr;
    if (int32_t status = Begin(info, sim)) return status;
    return StatusOf(sim->eraseSignature(info->winusb.deviceHandle));
}
