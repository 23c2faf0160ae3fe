// Reading the "Path" registry value.
#include "TemplateFolder.h"

#include <cwchar>

const wchar_t kTemplateFolderValue[] = L"Path";

namespace {

class CRegistryKey {
public:
    CRegistryKey(HKEY root, const wchar_t* subKey)
        : status_(RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, &key_)) {}
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

std::wstring ErrorText(LONG code, const std::wstring& text) {
    return std::to_wstring(code) + text + L":Error";
}

}  // namespace

bool ReadTemplateFolder(std::wstring& folder, std::wstring& errorText, HKEY root,
                        const wchar_t* subKey) {
    folder.clear();
    errorText.clear();
    CRegistryKey key(root, subKey);
    if (key.Status() != ERROR_SUCCESS) {
        errorText = ErrorText(key.Status(), std::wstring());
        return false;
    }
    // Room for the longest path, its terminator and one character more, so a
    // value without terminator is told from one with.
    wchar_t buffer[kMaxTemplateFolderLength + 2] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    const LONG status = RegQueryValueExW(key.Get(), kTemplateFolderValue, nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &bytes);
    const bool isText = type == REG_SZ || type == REG_EXPAND_SZ;
    const size_t characters = bytes / sizeof(wchar_t);  // within the buffer when read
    const std::wstring read = status == ERROR_SUCCESS && isText
                                  ? std::wstring(buffer, wcsnlen(buffer, characters))
                                  : std::wstring();
    const bool terminated = characters > 0 && buffer[characters - 1] == L'\0';
    if (status != ERROR_SUCCESS || !isText || (bytes > 0 && !terminated)) {
        errorText = ErrorText(status, read);
        return false;
    }
    folder = read;
    return true;
}
