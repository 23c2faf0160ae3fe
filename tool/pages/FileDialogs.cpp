#include "FileDialogs.h"

#include <commdlg.h>

#include <vector>

namespace {

bool AskFile(HWND owner, bool save, DWORD saveFlags, const std::wstring& filter,
             const std::wstring& defaultExtension, const std::wstring& initialName,
             std::wstring& path) {
    std::wstring separated = filter;
    for (wchar_t& c : separated) {
        if (c == L'|') c = L'\0';
    }
    separated.push_back(L'\0');
    std::vector<wchar_t> name(MAX_PATH * 4, L'\0');
    initialName.copy(name.data(), name.size() - 1);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = separated.c_str();
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER |
                   (save ? saveFlags : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return false;
    path = name.data();
    return true;
}

}  // namespace

bool AskOpenFile(HWND owner, const std::wstring& filter, const std::wstring& defaultExtension,
                 const std::wstring& initialName, std::wstring& path) {
    return AskFile(owner, false, 0, filter, defaultExtension, initialName, path);
}

bool AskSaveFile(HWND owner, const std::wstring& filter, const std::wstring& defaultExtension,
                 const std::wstring& initialName, std::wstring& path) {
    return AskFile(owner, true, OFN_OVERWRITEPROMPT, filter, defaultExtension, initialName, path);
}

bool AskSaveFileAllowExisting(HWND owner, const std::wstring& filter,
                              const std::wstring& defaultExtension, const std::wstring& initialName,
                              std::wstring& path) {
    return AskFile(owner, true, 0, filter, defaultExtension, initialName, path);
}
