// The hub's vendor function on its fifth endpoint: is it there (a child
// devnode whose ID begins "USB\VID_3B9A&PID_710"), and the two vendor requests
// that make the hub show it. Both go through the hardware seam.
#include <windows.h>

#include <cwchar>
#include <string>

#include "HardwareApi.h"
#include "Logger.h"
#include "TorvikDevice.h"

namespace {

constexpr wchar_t kFunctionIdPrefix[] = L"USB\\VID_3B9A&PID_7100";
constexpr size_t kComparedChars = 20;
constexpr int kMaxSiblings = 5;
constexpr ULONG kDeviceIdChars = 200;

// Hub driver control code carrying a USB setup packet, and what it sends.
constexpr DWORD kSendVendorRequest = 0x238405;
constexpr BYTE kSetupPacket[8] = {0x40, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00};

// \\?\USB#VID_vvvv&PID_pppp#serial#{class} -> USB\VID_vvvv&PID_pppp\serial.
std::wstring InstanceIdFromInterfacePath(const wchar_t* path) {
    std::wstring id = path != nullptr ? path : L"";
    if (id.size() < 4 + 22 + 39) return L"";
    id = id.substr(4, id.size() - 4 - 39);
    id[3] = L'\\';
    id[21] = L'\\';
    return id;
}

bool IsVendorFunction(const wchar_t* id) {
    return wcsncmp(id, kFunctionIdPrefix, kComparedChars) == 0;
}

}  // namespace

int32_t IsWinUSBDeviceEnumerated(const wchar_t* hubPath) {
    CLogger log(L"IsWinUSBDeviceEnumerated");
    std::wstring hubId = InstanceIdFromInterfacePath(hubPath);
    DEVINST hub = 0;
    CONFIGRET cr = Hw().CM_Locate_DevNodeW(&hub, &hubId[0], CM_LOCATE_DEVNODE_NORMAL);
    if (hubId.empty() || cr != CR_SUCCESS) {
        log.Write(2, L"CM_Locate_DevNode returned error 0x%x",
                  hubId.empty() ? CR_INVALID_DEVICE_ID : cr);
        return 0;
    }
    DEVINST child = 0;
    cr = Hw().CM_Get_Child(&child, hub, 0);
    if (cr != CR_SUCCESS) {
        log.Write(2, L"CM_Get_Child returned error 0x%x", cr);
        return 0;
    }
    wchar_t id[kDeviceIdChars + 1] = {};
    cr = Hw().CM_Get_Device_IDW(child, id, kDeviceIdChars, 0);
    if (cr != CR_SUCCESS) {
        log.Write(2, L"CM_Get_Device_ID returned error 0x%x", cr);
        return 0;
    }
    if (IsVendorFunction(id)) return 1;
    for (int i = 0; i < kMaxSiblings; ++i) {
        DEVINST next = 0;
        cr = Hw().CM_Get_Sibling(&next, child, 0);
        if (cr != CR_SUCCESS) {
            log.Write(2, L"CM_Get_Sibling returned error 0x%x", cr);
            return 0;
        }
        child = next;
        wmemset(id, 0, kDeviceIdChars + 1);
        cr = Hw().CM_Get_Device_IDW(child, id, kDeviceIdChars, 0);
        if (cr != CR_SUCCESS) {
            log.Write(2, L"CM_Get_Device_ID returned error 0x%x", cr);
            return 0;
        }
        if (IsVendorFunction(id)) return 1;
    }
    return 0;
}

int32_t EnableFifthEndpoint(const wchar_t* hubPath) {
    CLogger log(L"EnableFifthEndpoint");
    HANDLE hub = Hw().CreateFileW(hubPath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  0, nullptr);
    if (hub == INVALID_HANDLE_VALUE) return RESULT_DEVICE_IO_FAILED;
    const BYTE data[2][2] = {{0x01, 0x00}, {0x01, 0x02}};
    for (const auto& bytes : data) {
        BYTE setup[8];
        BYTE buffer[2] = {bytes[0], bytes[1]};
        memcpy(setup, kSetupPacket, sizeof(setup));
        DWORD returned = 0;
        Hw().DeviceIoControl(hub, kSendVendorRequest, setup, sizeof(setup), buffer, sizeof(buffer),
                             &returned, nullptr);
    }
    Hw().CloseHandle(hub);
    return RESULT_SUCCESS;
}
