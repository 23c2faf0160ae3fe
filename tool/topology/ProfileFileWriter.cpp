// Temporary-file-and-replace writing of profile files.
#include "ProfileFileWriter.h"

#include <windows.h>

#include <vector>

std::wstring FullProfilePath(const std::wstring& path) {
    if (path.empty()) return std::wstring();
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed + 1);
    DWORD got =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (got == 0 || got >= buffer.size()) return std::wstring();
    return std::wstring(buffer.data(), got);
}

bool NeedsUnicodeProfile(const std::wstring& text) {
    if (text.empty()) return false;
    // The same conversion as the profile functions' own, there and back.
    const int length = static_cast<int>(text.size());
    const int narrowLength =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (narrowLength <= 0) return true;
    std::vector<char> narrow(static_cast<size_t>(narrowLength));
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), narrowLength, nullptr,
                        nullptr);
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, narrow.data(), narrowLength, nullptr, 0);
    if (wideLength <= 0) return true;
    std::wstring back(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.data(), narrowLength, back.data(), wideLength);
    return back != text;
}

CProfileFileWriter::CProfileFileWriter(std::wstring target) : target_(std::move(target)) {}

CProfileFileWriter::~CProfileFileWriter() {
    if (!temp_.empty() && !committed_) {
        SetFileAttributesW(temp_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temp_.c_str());
    }
}

bool CProfileFileWriter::Fail(const std::wstring& what) {
    if (error_.empty()) {
        errorCode_ = GetLastError();
        error_ = what + L" (error " + std::to_wstring(errorCode_) + L")";
    }
    return false;
}

bool CProfileFileWriter::Begin(ProfileStart start) {
    const size_t slash = target_.find_last_of(L"\\/");
    if (target_.empty() || slash == std::wstring::npos || slash + 1 == target_.size()) {
        SetLastError(ERROR_INVALID_NAME);
        return Fail(L"not a file path: " + target_);
    }
    // A read-only file is not to be replaced (Windows refuses the move, other file systems
    // behind the API may not), and its copy would not take the writes.
    const DWORD attributes = GetFileAttributesW(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return Fail(L"read-only: " + target_);
    }
    const std::wstring folder = target_.substr(0, slash + 1);
    wchar_t temp[MAX_PATH] = {};
    if (GetTempFileNameW(folder.c_str(), L"tcf", 0, temp) == 0) {
        return Fail(L"cannot create a temporary file in " + folder);
    }
    temp_ = temp;
    if (start == ProfileStart::kCopyOfTarget && !CopyFileW(target_.c_str(), temp_.c_str(), FALSE)) {
        return Fail(L"cannot copy " + target_);
    }
    if (start == ProfileStart::kEmptyUnicode && !WriteUnicodeMark()) {
        return Fail(L"cannot write into " + temp_);
    }
    return true;
}

bool CProfileFileWriter::WriteUnicodeMark() {
    const HANDLE file = CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const unsigned char mark[] = {0xFF, 0xFE};
    DWORD written = 0;
    const bool ok =
        WriteFile(file, mark, sizeof(mark), &written, nullptr) && written == sizeof(mark);
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return ok;
}

bool CProfileFileWriter::Write(const std::wstring& section, const wchar_t* key,
                               const std::wstring& value) {
    if (!error_.empty() || temp_.empty()) return false;
    if (!WritePrivateProfileStringW(section.c_str(), key, value.c_str(), temp_.c_str())) {
        return Fail(L"cannot write " + std::wstring(key) + L" of [" + section + L"] into " + temp_);
    }
    return true;
}

bool CProfileFileWriter::Commit() {
    if (!error_.empty() || temp_.empty()) return false;
    // Three nulls flush whatever the profile functions still hold for this file.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, temp_.c_str());
    if (!MoveFileExW(temp_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Fail(L"cannot replace " + target_);
    }
    committed_ = true;
    return true;
}
