// Reading and storing the "DefaultTcf" registry value.
#include "DefaultTcfRegistry.h"

#include "Logger.h"

const wchar_t kToolRegistryKey[] = L"Software\\VARN\\Halvex ZRV";
const wchar_t kDefaultTcfValue[] = L"DefaultTcf";

namespace {

class CRegistryKey {
public:
    CRegistryKey(HKEY root, const wchar_t* subKey, REGSAM access)
        : status_(RegOpenKeyExW(root, subKey, 0, access, &key_)) {}
    ~CRegistryKey() {
        if (status_ == ERROR_SUCCESS) RegCloseKey(key_);
    }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    LONG Status() const { return status_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
    LONG status_;
};

}  // namespace

bool ReadDefaultTcf(std::wstring& path, HKEY root, const wchar_t* subKey) {
    CLogger log(L"ReadDefaultTcf");
    path.clear();
    CRegistryKey key(root, subKey, KEY_QUERY_VALUE);
    if (key.Status() != ERROR_SUCCESS) {
        log.Write(1, L"Cannot open %s (error %ld)", subKey, key.Status());
        return false;
    }
    // One spare character so that data without its terminator still ends in one.
    wchar_t buffer[kMaxDefaultTcfLength + 2] = {};
    DWORD bytes = (kMaxDefaultTcfLength + 1) * sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = RegQueryValueExW(key.Get(), kDefaultTcfValue, nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &bytes);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        log.Write(1, L"Cannot read %s (error %ld, type %lu)", kDefaultTcfValue, status, type);
        return false;
    }
    buffer[bytes / sizeof(wchar_t)] = L'\0';
    if (wcslen(buffer) > kMaxDefaultTcfLength) return false;
    path = buffer;
    return true;
}

bool StoreDefaultTcf(const std::wstring& path, HKEY root, const wchar_t* subKey) {
    CLogger log(L"StoreDefaultTcf");
    CRegistryKey key(root, subKey, KEY_SET_VALUE);
    if (key.Status() != ERROR_SUCCESS) {
        log.Write(2, L"Last topology not remembered: cannot open %s (error %ld)", subKey,
                  key.Status());
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t));
    const LONG status = RegSetValueExW(key.Get(), kDefaultTcfValue, 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(path.c_str()), bytes);
    if (status != ERROR_SUCCESS) {
        log.Write(1, L"Cannot store %s (error %ld)", kDefaultTcfValue, status);
        return false;
    }
    return true;
}
