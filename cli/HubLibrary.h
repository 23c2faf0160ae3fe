// The hub library loaded by name, as the tool loads it, with every export
// zrvcli uses bound by name.
#pragma once

#include <windows.h>

#include "HalvexZRVLib.h"

struct HubExports {
    IDeviceTree*(__cdecl* CreateDeviceTreeUI)() = nullptr;
    int32_t(__cdecl* FinishedUsingDeviceTreeUI)() = nullptr;
    bool(__cdecl* GetDeviceIndicesUI)(const wchar_t*, int32_t*, int32_t*) = nullptr;
    int32_t(__cdecl* SetConfigurationBlock)(int32_t, int32_t, const uint8_t*, uint32_t) = nullptr;
    int32_t(__cdecl* SetFirmwarImage)(int32_t, int32_t, const uint8_t*, uint32_t) = nullptr;
    bool(__cdecl* SetProgrammingRequired)(int32_t, int32_t, bool) = nullptr;
    int32_t(__cdecl* SetStorageMode)(int32_t, int32_t, int32_t) = nullptr;
    int32_t(__cdecl* GetStorageMode)(int32_t, int32_t) = nullptr;
    bool(__cdecl* SetValidationMethod)(int32_t, int32_t, int32_t) = nullptr;
    int32_t(__cdecl* GetValidationMethod)(int32_t, int32_t) = nullptr;
    int32_t(__cdecl* GetHubStatus)(int32_t, int32_t) = nullptr;
    bool(__cdecl* IsNewDevice)(int32_t, int32_t) = nullptr;
    bool(__cdecl* IsVendorBlockPresent)(int32_t, int32_t) = nullptr;
    int32_t(__cdecl* GetUUID)(int32_t, int32_t, uint8_t*, uint32_t) = nullptr;
    bool(__cdecl* CanDeviceBeRemoved)(int32_t, int32_t) = nullptr;
    int32_t(__cdecl* GetHubFamily)(int32_t, int32_t) = nullptr;
    bool(__cdecl* RegisterNotificationCallback)(NotificationCallback) = nullptr;
    int32_t(__cdecl* StartProgrammerManager)(bool) = nullptr;
    int32_t(__cdecl* StopProgrammerManager)() = nullptr;
    bool(__cdecl* IsProgrammerManagerRunning)() = nullptr;
    int32_t(__cdecl* DumpOTP)(const wchar_t*, int32_t, const wchar_t*) = nullptr;
    int32_t(__cdecl* WriteToRAM)(const wchar_t*, int32_t, const uint8_t*, uint32_t) = nullptr;
};

class CLibrary {
public:
    CLibrary() : module_(LoadLibraryW(L"HalvexZRVLib.dll")) {}
    ~CLibrary() {
        if (module_) FreeLibrary(module_);
    }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;
    bool Loaded() const { return module_ != nullptr; }
    template <typename F>
    F Bind(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    // Binds every export of HubExports; false (missing names the first one
    // absent) when one is missing.
    bool BindAll(HubExports& exports, const char** missing) const;

private:
    HMODULE module_;
};

// Says which simulated line the library runs on (stderr); false when the
// line cannot be used.
bool ReportLine(const CLibrary& lib);
