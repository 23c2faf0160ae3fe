// Reading the "Path" registry value.
#include "TemplateFolder.h"

#include <cwchar>

const wchar_t kTemplateFolderValue[] = L"Path";

namespace {

std::wstring ErrorText(LONG code) {
    return std::to_wstring(code) + L":Error";
}

}  // namespace

bool ReadTemplateFolder(std::wstring& folder, std::wstring& errorText, HKEY root,
                        const wchar_t* subKey) {
    folder.clear();
    errorText.clear();
    // Text only; the system terminates what it returns, and a value longer
    // than the buffer is refused with ERROR_MORE_DATA.
    wchar_t buffer[kMaxTemplateFolderLength + 1] = {};
    DWORD bytes = sizeof(buffer);
    const LONG status =
        RegGetValueW(root, subKey, kTemplateFolderValue,
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer, &bytes);
    if (status != ERROR_SUCCESS) {
        errorText = ErrorText(status);
        return false;
    }
    folder.assign(buffer, wcsnlen(buffer, kMaxTemplateFolderLength));
    return true;
}
