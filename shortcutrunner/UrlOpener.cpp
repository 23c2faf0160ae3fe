// Web-address opener: temporary shortcut file plus two shell attempts.
#include "UrlOpener.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "UrlShortcutContent.h"

namespace {

class CFileHandle {
public:
    explicit CFileHandle(HANDLE handle) : handle_(handle) {}
    ~CFileHandle() {
        if (IsValid()) CloseHandle(handle_);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// A fresh "URLxxxx.url" path in the temporary folder, or false. The system creates the
// unique .tmp file; it is removed and its name reused with the .url extension.
bool MakeShortcutPath(wchar_t (&path)[MAX_PATH]) {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return false;
    if (GetTempFileNameW(folder, L"URL", 0, path) == 0) return false;
    DeleteFileW(path);
    const size_t nameLength = wcslen(path);
    if (nameLength < 4) return false;
    wcscpy(path + nameLength - 4, L".url");
    return true;
}

bool WriteShortcutFile(const wchar_t* path, std::wstring_view url) {
    CFileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    const std::wstring text = BuildUrlShortcutText(url);
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(file.Get(), text.data(), size, &written, nullptr) && written == size;
}

int ShellOpen(const wchar_t* verb, const wchar_t* path) {
    const HINSTANCE result = ShellExecuteW(nullptr, verb, path, nullptr, nullptr, SW_SHOWNORMAL);
    return static_cast<int>(reinterpret_cast<INT_PTR>(result));
}

}  // namespace

int OpenWebAddress(std::wstring_view url) {
    wchar_t path[MAX_PATH];
    if (!MakeShortcutPath(path)) return -1;
    if (!WriteShortcutFile(path, url)) return -1;
    if (ShellOpen(L"open", path) > 32) return 0;
    const int result = ShellOpen(nullptr, path);
    return result > 32 ? 0 : result;
}
