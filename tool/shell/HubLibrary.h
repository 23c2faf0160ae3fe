// The hub library as the tool binds it: loaded by name at run time, every export looked up by
// name at the moment of each call, never linked.
#pragma once

#include <windows.h>

#include "HalvexZRVLib.h"

extern const wchar_t kHubLibraryName[];  // "HalvexZRVLib.dll"

// The export `name` of module as a function pointer of type F; null when either is missing.
template <typename F>
F HubExport(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Export signatures, as the tool calls them.
using PfnCreateDeviceTreeUI = IDeviceTree*(__cdecl*)();
using PfnFinishedUsingDeviceTreeUI = int32_t(__cdecl*)();
using PfnRegisterNotificationCallback = bool(__cdecl*)(NotificationCallback);
using PfnNodeInt = int32_t(__cdecl*)(int32_t, int32_t);
using PfnNodeBool = bool(__cdecl*)(int32_t, int32_t);
using PfnNodeSetInt = int32_t(__cdecl*)(int32_t, int32_t, int32_t);
using PfnNodeSetIntBool = bool(__cdecl*)(int32_t, int32_t, int32_t);
using PfnNodeSetBool = bool(__cdecl*)(int32_t, int32_t, bool);
using PfnNodeSetBytes = int32_t(__cdecl*)(int32_t, int32_t, const uint8_t*, uint32_t);
using PfnNodeGetBytes = int32_t(__cdecl*)(int32_t, int32_t, uint8_t*, uint32_t);
using PfnIsProgrammerManagerRunning = bool(__cdecl*)();
using PfnGetSimulatedLine = int32_t(__cdecl*)(wchar_t*, int32_t);
using PfnStartProgrammerManager = int32_t(__cdecl*)(bool);
using PfnStopProgrammerManager = int32_t(__cdecl*)();
using PfnGetDeviceIndicesUI = bool(__cdecl*)(const wchar_t*, int32_t*, int32_t*);
