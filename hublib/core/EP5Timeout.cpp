#include "EP5Timeout.h"

#include <windows.h>

namespace {
uint32_t g_ep5TimeoutMs = kDefaultEP5TimeoutMs;
}

uint32_t EP5TimeoutFromSeconds(bool present, uint32_t seconds) {
    return (present && seconds < 25) ? seconds * 1000 : kDefaultEP5TimeoutMs;
}

void LoadEP5Timeout() {
    HKEY key = nullptr;
    bool present = false;
    DWORD seconds = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VARN\\KVR", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        DWORD type = 0;
        DWORD size = sizeof(seconds);
        present = RegQueryValueExW(key, L"EP5TIMEOUTPERIOD", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&seconds), &size) == ERROR_SUCCESS &&
                  type == REG_DWORD && size == sizeof(seconds);
        RegCloseKey(key);
    }
    g_ep5TimeoutMs = EP5TimeoutFromSeconds(present, seconds);
}

uint32_t EP5TimeoutMs() {
    return g_ep5TimeoutMs;
}
