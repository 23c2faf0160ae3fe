// Reading and atomically rewriting the state file.
#include "StateFileIo.h"

#include <windows.h>

#include "FixtureFile.h"
#include "StateFile.h"
#include "Text.h"

namespace usbsim {

namespace {

std::string SystemText(DWORD code) {
    return "system error " + std::to_string(code);
}

// Serialises writers of one state file across processes.
class CStateFileMutex {
public:
    explicit CStateFileMutex(const std::wstring& path) {
        std::wstring name = L"Local\\zrv-usbsim-state-" + HexWord(Fnv1a(path), 8);
        mutex_ = CreateMutexW(nullptr, FALSE, name.c_str());
        if (mutex_ != nullptr) WaitForSingleObject(mutex_, 10000);
    }
    ~CStateFileMutex() {
        if (mutex_ == nullptr) return;
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    CStateFileMutex(const CStateFileMutex&) = delete;
    CStateFileMutex& operator=(const CStateFileMutex&) = delete;

private:
    HANDLE mutex_ = nullptr;
};

bool ReadIfPresent(const std::wstring& path, ChipMemories& memories, std::string& error) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    std::string text, reason;
    if (!ReadWholeFile(path, text, reason)) {
        error = Narrow(path) + ": cannot read the state file: " + reason;
        return false;
    }
    if (!StateFromJson(text, memories, reason)) {
        error = Narrow(path) + ": malformed state file: " + reason;
        return false;
    }
    return true;
}

}  // namespace

std::wstring StateFilePathFromEnvironment() {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableW(L"ZRV_USBSIM_STATE", path, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) return L"";
    return FullPath(path);
}

bool ReadStateFile(const std::wstring& path, ChipMemories& memories, std::string& error) {
    CStateFileMutex mutex(path);
    return ReadIfPresent(path, memories, error);
}

bool WriteStateFile(const std::wstring& path, const ChipMemories& changed, std::string& error) {
    CStateFileMutex mutex(path);
    ChipMemories all;
    if (!ReadIfPresent(path, all, error)) return false;
    for (const auto& [id, memory] : changed) all[id] = memory;
    const std::string text = StateToJson(all);

    const std::wstring temporary = path + L".tmp" + std::to_wstring(GetCurrentProcessId());
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Narrow(temporary) + ": cannot write the state file: " + SystemText(GetLastError());
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(file);
    DWORD code = GetLastError();
    CloseHandle(file);
    if (ok && MoveFileExW(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    if (ok) code = GetLastError();
    DeleteFileW(temporary.c_str());
    error = Narrow(path) + ": cannot write the state file: " + SystemText(code);
    return false;
}

}  // namespace usbsim
