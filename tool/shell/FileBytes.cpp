#include "FileBytes.h"

bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>& bytes, DWORD& error) {
    bytes.clear();
    error = ERROR_SUCCESS;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    LARGE_INTEGER size = {};
    DWORD read = 0;
    if (!GetFileSizeEx(file, &size)) {
        error = GetLastError();
    } else if (size.QuadPart >= 0x40000000) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        if (!bytes.empty() &&
            !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
            error = GetLastError();
        } else if (read != bytes.size()) {
            error = ERROR_HANDLE_EOF;
        }
    }
    CloseHandle(file);
    if (error != ERROR_SUCCESS) bytes.clear();
    return error == ERROR_SUCCESS;
}

std::wstring SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = length && text ? std::wstring(text, length) : L"";
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' ||
                               result.back() == L' ' || result.back() == L'.')) {
        result.pop_back();
    }
    if (result.empty()) result = L"system error " + std::to_wstring(error);
    return result + L" (" + std::to_wstring(error) + L")";
}
