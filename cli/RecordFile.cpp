#include "RecordFile.h"

#include <cstring>
#include <vector>

namespace {

constexpr DWORD kTailBytes = 64 * 1024;

bool ReadAt(HANDLE file, uint64_t offset, DWORD size, std::string& out) {
    out.assign(size, '\0');
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
        (size > 0 && !ReadFile(file, &out[0], size, &read, nullptr))) {
        return false;
    }
    out.resize(read);
    return read == size;
}

}  // namespace

std::wstring ErrorCodeText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : L"";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return L"error " + std::to_wstring(code) + (message.empty() ? L"" : L": " + message);
}

CRecordFile::~CRecordFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool CRecordFile::Open(const std::wstring& path, std::wstring& error) {
    path_ = path;
    // Others may read the record while a run appends; no second writer.
    file_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        error =
            L"cannot open the record file " + path + L" (" + ErrorCodeText(GetLastError()) + L")";
        return false;
    }
    LARGE_INTEGER size;
    std::string head;
    std::string tail;
    const DWORD headSize = static_cast<DWORD>(strlen(kRecordHeader));
    bool read = GetFileSizeEx(file_, &size) != 0;
    const uint64_t length = read ? static_cast<uint64_t>(size.QuadPart) : 0;
    const DWORD headRead = static_cast<DWORD>(length < headSize ? length : headSize);
    const DWORD tailRead = static_cast<DWORD>(length < kTailBytes ? length : kTailBytes);
    read = read && ReadAt(file_, 0, headRead, head) &&
           ReadAt(file_, length - tailRead, tailRead, tail);
    if (!read) {
        error =
            L"cannot read the record file " + path + L" (" + ErrorCodeText(GetLastError()) + L")";
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        return false;
    }
    const RecordPlan plan = PlanRecordAppend(head, tail, length);
    if (!plan.ok) {
        error = L"cannot append to the record file " + path + L": " +
                std::wstring(plan.error.begin(), plan.error.end());
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        return false;
    }
    bool ok = true;
    if (plan.keepBytes != length) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(plan.keepBytes);
        ok = SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) && SetEndOfFile(file_);
    }
    if (ok && plan.writeHeader) ok = WriteAll(kRecordHeader);
    if (!ok) {
        error =
            L"cannot write the record file " + path + L" (" + ErrorCodeText(GetLastError()) + L")";
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

bool CRecordFile::WriteAll(const std::string& bytes) {
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(file_, zero, nullptr, FILE_END)) return false;
    // One write per line: a crash leaves either the whole line or a tail
    // without its line feed, which the next Open cuts off.
    DWORD written = 0;
    if (!WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        return false;
    }
    return FlushFileBuffers(file_) != 0;
}

bool CRecordFile::Append(const RecordEntry& entry, std::wstring& error) {
    if (file_ == INVALID_HANDLE_VALUE) return false;
    if (WriteAll(FormatRecordLine(entry))) return true;
    error = L"cannot write the record file " + path_ + L" (" + ErrorCodeText(GetLastError()) + L")";
    return false;
}

std::wstring CurrentUtcTime() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    return FormatUtcTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                         now.wMilliseconds);
}
