// The last saved topology file, remembered in the registry value "DefaultTcf" of the tool's key.
// The key itself belongs to the installer: it is opened, never created.
#pragma once

#include <windows.h>

#include <string>

extern const wchar_t kToolRegistryKey[];  // under HKEY_LOCAL_MACHINE
extern const wchar_t kDefaultTcfValue[];
constexpr DWORD kMaxDefaultTcfLength = 260;

// False when the key or a string value of at most 260 characters cannot be read.
bool ReadDefaultTcf(std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE,
                    const wchar_t* subKey = kToolRegistryKey);

// Stores path when the key exists and may be written; false otherwise.
bool StoreDefaultTcf(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE,
                     const wchar_t* subKey = kToolRegistryKey);
