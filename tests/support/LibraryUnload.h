// Unloading the hub library for good between tests. The library's threads
// (device change monitor, fifth-endpoint timers) each keep it loaded while
// they run, so a FreeLibrary alone may leave it in place with its state; the
// monitor is stopped first, and the wait covers timers that are about to end.
#pragma once

#include <windows.h>

inline bool UnloadHubLibrary(HMODULE module, DWORD timeoutMs = 10000) {
    if (module == nullptr) return true;
    auto stop = reinterpret_cast<void(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "StopEnumeration")));
    if (stop != nullptr) stop();
    wchar_t name[MAX_PATH] = {};
    GetModuleFileNameW(module, name, MAX_PATH);
    FreeLibrary(module);
    for (DWORD waited = 0;; waited += 10) {
        HMODULE still = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, name, &still))
            return true;
        if (waited >= timeoutMs) return false;
        Sleep(10);
    }
}
