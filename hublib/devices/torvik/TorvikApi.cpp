// Glue to KX7100API.dll: the module, opening and closing the hub's WinUSB
// record, one-byte register access and the library's failure messages.
#include <windows.h>

#include <cstring>

#include "HardwareApi.h"
#include "Logger.h"
#include "TorvikDevice.h"

namespace {

HMODULE g_library = nullptr;
INIT_ONCE g_libraryOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK LoadLibraryOnce(PINIT_ONCE, PVOID, PVOID*) {
    g_library = LoadLibraryW(L"KX7100API.dll");
    return TRUE;
}

constexpr int kOpenAttempts = 5;
constexpr DWORD kOpenRetryMs = 1000;

}  // namespace

bool LoadKX7100Library() {
    InitOnceExecuteOnce(&g_libraryOnce, LoadLibraryOnce, nullptr, nullptr);
    return g_library != nullptr;
}

bool IsKX7100LibraryLoaded() {
    return g_library != nullptr;
}

void LogLibraryFailure(CLogger& log, int32_t status, const wchar_t* function, const wchar_t* path) {
    if (status == KX_STATUS_WINUSB_ERROR) {
        uint32_t code = 0;
        KX7100_Get_System_ErrorCode(&code);
        log.Write(2, L"WinUSB API fails:  Device id %s Error Code %d  ", path,
                  static_cast<int>(code));
    } else {
        log.Write(2, L"Error in executing function %s(): Device id %s Error Code %d  ", function,
                  path, status);
    }
}

bool CTorvikDevice::IsOpen() const {
    void* handle = deviceInfo.winusb.deviceHandle;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

bool CTorvikDevice::OpenWinUSBDeviceHandle() {
    CLogger log(L"CTorvikDevice::OpenWinUSBDeviceHandle");
    if (!LoadKX7100Library()) {
        log.Write(1, L"Unable to load library KX7100API.lib device %s", instanceId);
        return false;
    }
    if (IsOpen()) return true;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (attempt > 0) Hw().Sleep(kOpenRetryMs);
        tagWinusbDevice record;
        memset(&record, 0, sizeof(record));
        if (KX7100_USB_WUBuildDeviceInfoFromDeviceName(&record, instanceId) != -1) {
            log.Write(1, L"WinUSB Handle is Opened in device %s", instanceId);
            deviceInfo.winusb = record;
            return true;
        }
    }
    log.Write(1, L"Not able to Open WinUSB Handle in device %s", instanceId);
    return false;
}

void CTorvikDevice::CloseWinUSBDeviceHandle() {
    if (!IsOpen()) return;
    KX7100_USB_WUDestroyDeviceInfo(&deviceInfo.winusb);
    memset(&deviceInfo, 0, sizeof(deviceInfo));
}

int32_t CTorvikDevice::ReadRegister(uint32_t address, uint8_t& value) {
    return KX7100_Device_Read_XDATA_Data(&deviceInfo, static_cast<uint16_t>(address), &value, 1,
                                         nullptr);
}

int32_t CTorvikDevice::WriteRegister(uint32_t address, uint8_t value) {
    uint16_t done = 0;
    return KX7100_Device_Write_XDATA_Data(&deviceInfo, static_cast<uint16_t>(address), &value, 1,
                                          &done);
}

bool CTorvikDevice::ReadHubVersionWord(uint16_t& word, uint32_t& length) {
    uint8_t info[64] = {};
    length = sizeof(info);
    if (KX7100_Get_Hub_Info(&deviceInfo, info, &length) != KX_STATUS_SUCCESS) return false;
    word = static_cast<uint16_t>(info[0] | (info[1] << 8));
    return true;
}
