// Test program started by ShortcutRunner: writes its command line and working folder to the
// file named by SHORTCUT_CHILD_REPORT and exits with the code in SHORTCUT_CHILD_EXIT.
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

}  // namespace

int wmain() {
    wchar_t folder[MAX_PATH];
    const DWORD folderLength = GetCurrentDirectoryW(MAX_PATH, folder);
    // One line each, UTF-16: the command line, then the working folder.
    std::wstring report = GetCommandLineW();
    report += L'\n';
    report.append(folder, folderLength < MAX_PATH ? folderLength : 0);
    report += L'\n';

    const std::wstring reportPath = Environment(L"SHORTCUT_CHILD_REPORT");
    if (!reportPath.empty()) {
        // Written to a side name and renamed, so a reader never sees half a report.
        const std::wstring partial = reportPath + L".part";
        HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1000;
        DWORD written = 0;
        WriteFile(file, report.data(), static_cast<DWORD>(report.size() * sizeof(wchar_t)),
                  &written, nullptr);
        CloseHandle(file);
        MoveFileExW(partial.c_str(), reportPath.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    return static_cast<int>(wcstol(Environment(L"SHORTCUT_CHILD_EXIT").c_str(), nullptr, 10));
}
