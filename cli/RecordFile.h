// The production record file: opened (repaired, header written) before any
// hub is touched, then one whole line per write, flushed to the disk.
#pragma once

#include <windows.h>

#include <string>

#include "ProductionRecord.h"

class CRecordFile {
public:
    CRecordFile() = default;
    ~CRecordFile();
    CRecordFile(const CRecordFile&) = delete;
    CRecordFile& operator=(const CRecordFile&) = delete;

    // False with a one-line reason when the file cannot be used.
    bool Open(const std::wstring& path, std::wstring& error);
    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    // False with a reason when the line could not be written whole.
    bool Append(const RecordEntry& entry, std::wstring& error);

private:
    bool WriteAll(const std::string& bytes);

    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::wstring path_;
};

// "error 5: Access is denied": a system error code with the system's text.
std::wstring ErrorCodeText(DWORD code);

// The current UTC time as the record writes it.
std::wstring CurrentUtcTime();
