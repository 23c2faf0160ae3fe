// The hardware seam: every call through which the hub library reaches USB
// hardware or waits. The default table is the Win32 API; when ZRV_USBSIM names
// a fixture file, the simulated fixture's table (UsbSim.dll) is used instead.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>
#include <dbt.h>

#include <string>

struct HardwareApi {
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::DeviceIoControl) DeviceIoControl;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::CM_Locate_DevNodeW) CM_Locate_DevNodeW;
    decltype(&::CM_Get_Child) CM_Get_Child;
    decltype(&::CM_Get_Sibling) CM_Get_Sibling;
    decltype(&::CM_Get_Parent) CM_Get_Parent;
    decltype(&::CM_Get_Device_IDW) CM_Get_Device_IDW;
    decltype(&::CM_Get_DevNode_Registry_PropertyW) CM_Get_DevNode_Registry_PropertyW;
    decltype(&::RegisterDeviceNotificationW) RegisterDeviceNotificationW;
    decltype(&::UnregisterDeviceNotification) UnregisterDeviceNotification;
    decltype(&::Sleep) Sleep;
    // A timed wait that may end early (a cancelled fifth-endpoint timer); the
    // timeout is a pause like Sleep's.
    decltype(&::WaitForSingleObject) WaitForSingleObject;
};

// The table in use; chosen once, on first use (never from DllMain).
const HardwareApi& Hw();

// What the chosen table answers for. A simulated line whose fixture cannot be
// used never becomes the real one: it answers as a PC without controllers.
enum class HwLineKind { kReal, kSimulated, kBroken };
struct HwLineInfo {
    HwLineKind kind = HwLineKind::kReal;
    std::wstring fixture;  // what ZRV_USBSIM names
    std::wstring problem;  // kBroken: why
};
// Chooses the table when nothing has yet.
const HwLineInfo& HwLine();
// True on a simulated line, usable or not.
inline bool IsSimulatedLine() {
    return HwLine().kind != HwLineKind::kReal;
}

// Exported by UsbSim.dll under this name: returns the simulator's table.
typedef const HardwareApi*(__cdecl* PfnUsbSimGetHardwareApi)();
constexpr const char kUsbSimGetHardwareApi[] = "UsbSimGetHardwareApi";
