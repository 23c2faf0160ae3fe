#include "ToolTestLine.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "DefaultTcfRegistry.h"
#include "HalvexZRVLib.h"

namespace guitest {

std::wstring FixturePath(const std::wstring& name) {
    const std::string dir = ZRV_FIXTURE_DIR;
    return L"Z:" + std::wstring(dir.begin(), dir.end()) + L"/tests/" + name;
}

bool UseLine(const std::wstring& fixtureName) {
    const std::wstring path = FixturePath(fixtureName);
    SetEnvironmentVariableW(L"ZRV_USBSIM", path.c_str());
    HMODULE sim = GetModuleHandleW(L"UsbSim.dll");
    HMODULE library = GetModuleHandleW(L"HalvexZRVLib.dll");
    if (!sim || !library) return true;  // the library reads ZRV_USBSIM when it starts
    auto load = reinterpret_cast<int(__cdecl*)(const wchar_t*)>(
        reinterpret_cast<void*>(GetProcAddress(sim, "UsbSimLoad")));
    auto dropLive = reinterpret_cast<void(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(library, "DeleteDeviceTree")));
    auto dropSnapshot = reinterpret_cast<int32_t(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(library, "FinishedUsingDeviceTreeUI")));
    if (!load || !dropLive || !dropSnapshot || load(path.c_str()) != 0) return false;
    dropSnapshot();
    dropLive();
    return true;
}

void SetDefaultTcfKey(const std::wstring* path) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kToolRegistryKey);
    if (!path) return;
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kToolRegistryKey, kDefaultTcfValue, REG_SZ, path->c_str(),
                    static_cast<DWORD>((path->size() + 1) * sizeof(wchar_t)));
}

void SetEmptyToolKey() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kToolRegistryKey);
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kToolRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

std::wstring StoredDefaultTcf() {
    std::wstring path;
    return ReadDefaultTcf(path) ? path : L"";
}

std::wstring FreshFile(const std::wstring& name) {
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(name.c_str(), MAX_PATH, full, nullptr);
    SetFileAttributesW(full, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(full);
    return full;
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string Narrow(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], size, nullptr, nullptr);
    return result;
}

}  // namespace guitest
