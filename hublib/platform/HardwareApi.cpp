// Chooses the hardware table once: the Win32 API, or the simulated fixture's
// table from UsbSim.dll when ZRV_USBSIM is set. A simulator that cannot be used
// is reported on stderr and to the debugger, and the real table is used instead.
#include "HardwareApi.h"

#include <cstdio>

namespace {

const HardwareApi kRealApi = {
    ::CreateFileW,
    ::DeviceIoControl,
    ::CloseHandle,
    ::CM_Locate_DevNodeW,
    ::CM_Get_Child,
    ::CM_Get_Sibling,
    ::CM_Get_Parent,
    ::CM_Get_Device_IDW,
    ::CM_Get_DevNode_Registry_PropertyW,
    ::RegisterDeviceNotificationW,
    ::UnregisterDeviceNotification,
    ::Sleep,
};

// error 0: no system error behind it (the simulator has said why itself).
void ReportFallback(const wchar_t* what, DWORD error) {
    wchar_t text[256];
    if (error != 0) {
        _snwprintf(text, sizeof(text) / sizeof(text[0]) - 1,
                   L"ZRV_USBSIM is set but %ls (error %lu); using the real USB API\n", what,
                   static_cast<unsigned long>(error));
    } else {
        _snwprintf(text, sizeof(text) / sizeof(text[0]) - 1,
                   L"ZRV_USBSIM is set but %ls; using the real USB API\n", what);
    }
    text[sizeof(text) / sizeof(text[0]) - 1] = L'\0';
    OutputDebugStringW(text);
    fwprintf(stderr, L"%ls", text);
    fflush(stderr);
}

const HardwareApi* ChooseApi() {
    if (GetEnvironmentVariableW(L"ZRV_USBSIM", nullptr, 0) == 0) return &kRealApi;
    // The module stays loaded for the life of the process: the table points into it.
    HMODULE sim = LoadLibraryW(L"UsbSim.dll");
    if (sim == nullptr) {
        ReportFallback(L"UsbSim.dll cannot be loaded", GetLastError());
        return &kRealApi;
    }
    auto get = reinterpret_cast<PfnUsbSimGetHardwareApi>(
        reinterpret_cast<void*>(GetProcAddress(sim, kUsbSimGetHardwareApi)));
    if (get == nullptr) {
        ReportFallback(L"UsbSim.dll has no UsbSimGetHardwareApi", GetLastError());
        return &kRealApi;
    }
    const HardwareApi* api = get();
    if (api == nullptr) {
        ReportFallback(L"the simulator could not load its fixture", 0);
        return &kRealApi;
    }
    return api;
}

}  // namespace

const HardwareApi& Hw() {
    // A function-local static is initialised once, thread-safely, on first use.
    static const HardwareApi* const api = ChooseApi();
    return *api;
}
