// HKEY_LOCAL_MACHINE of this process redirected to a scratch key under
// HKEY_CURRENT_USER for a scope, so a test sets machine settings without
// touching the machine (or the other tests sharing the Wine prefix).
#pragma once

#include <windows.h>

#include <string>

class CMachineKeyOverride {
public:
    CMachineKeyOverride() {
        scratch_ = L"Software\\ZrvTests\\Machine" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
        if (RegCreateKeyExW(HKEY_CURRENT_USER, scratch_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &root_, nullptr) == ERROR_SUCCESS) {
            overridden_ = RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_) == ERROR_SUCCESS;
        }
    }
    ~CMachineKeyOverride() {
        if (overridden_) RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (root_ != nullptr) RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
    }
    CMachineKeyOverride(const CMachineKeyOverride&) = delete;
    CMachineKeyOverride& operator=(const CMachineKeyOverride&) = delete;

    bool Active() const { return overridden_; }

    // Writes a DWORD value below the redirected machine key.
    bool SetDword(const wchar_t* subKey, const wchar_t* name, DWORD value) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(root_, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        const bool ok = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                                       sizeof(value)) == ERROR_SUCCESS;
        RegCloseKey(key);
        return ok;
    }
    bool SetString(const wchar_t* subKey, const wchar_t* name, const wchar_t* value) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(root_, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        const bool ok = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))) ==
                        ERROR_SUCCESS;
        RegCloseKey(key);
        return ok;
    }

private:
    std::wstring scratch_;
    HKEY root_ = nullptr;
    bool overridden_ = false;
};
