// Fixture and board files from disk.
#include "FixtureFile.h"

#include <windows.h>

#include <cstdlib>
#include <memory>

#include "Text.h"

namespace usbsim {

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text != nullptr ? text : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return "error " + std::to_string(error) + (message.empty() ? "" : " (" + Narrow(message) + ")");
}

FileReader ReaderIn(const std::wstring& baseDir) {
    return [baseDir](const std::string& name, std::vector<uint8_t>& data, std::string& reason) {
        std::wstring path = Widen(name);
        bool absolute = path.size() > 1 && (path[1] == L':' || path[0] == L'\\' || path[0] == L'/');
        if (!absolute && !baseDir.empty()) path = baseDir + L"\\" + path;
        std::string bytes;
        if (!ReadWholeFile(path, bytes, reason)) return false;
        data.assign(bytes.begin(), bytes.end());
        return true;
    };
}

}  // namespace

std::wstring FullPath(const std::wstring& path) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    full.resize(size);
    return full;
}

std::wstring FolderOf(const std::wstring& fullPath) {
    size_t slash = fullPath.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : fullPath.substr(0, slash);
}

bool ReadWholeFile(const std::wstring& path, std::string& data, std::string& reason) {
    std::unique_ptr<void, HandleCloser> file(CreateFileW(path.c_str(), GENERIC_READ,
                                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        reason = SystemMessage(GetLastError());
        file.release();
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 256 * 1024 * 1024) {
        reason = "unreadable or larger than 256 MiB";
        return false;
    }
    data.resize(static_cast<size_t>(size.QuadPart));
    DWORD done = 0;
    if (!data.empty() &&
        (!ReadFile(file.get(), &data[0], static_cast<DWORD>(data.size()), &done, nullptr) ||
         done != data.size())) {
        reason = SystemMessage(GetLastError());
        return false;
    }
    return true;
}

bool ParseFixtureText(const std::string& json, const std::wstring& baseDir,
                      const std::string& source, FixtureSpec& fixture, std::string& error) {
    CFixtureParser parser(source, ReaderIn(baseDir));
    if (!parser.ParseFixture(json, fixture)) {
        error = parser.Error();
        return false;
    }
    return true;
}

bool ParseBoardText(const std::string& json, const std::wstring& baseDir, const std::string& source,
                    DeviceSpec& board, std::string& error) {
    CFixtureParser parser(source, ReaderIn(baseDir));
    if (!parser.ParseBoard(json, board)) {
        error = parser.Error();
        return false;
    }
    return true;
}

bool ApplyTimeScaleOverride(FixtureSpec& fixture, std::string& error) {
    wchar_t text[64];
    DWORD length = GetEnvironmentVariableW(L"ZRV_TIME_SCALE", text, 64);
    if (length == 0) return true;
    wchar_t* end = nullptr;
    double scale = length < 64 ? wcstod(text, &end) : 0;
    if (length >= 64 || end == text || *end != L'\0' || !(scale > 0)) {
        error = "ZRV_TIME_SCALE: \"" + Narrow(length < 64 ? text : L"...") +
                "\" is not a positive number";
        return false;
    }
    fixture.timeScale = scale;
    return true;
}

}  // namespace usbsim
