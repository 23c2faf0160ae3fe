// File helpers shared by the topology tests: raw file text in and out, and the sections and keys
// of an INI file as written.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Absolute path of name in the test's working directory.
std::wstring TestPath(const std::wstring& name);

std::string ReadRaw(const std::wstring& path);
void WriteRaw(const std::wstring& path, const std::string& text);
bool FileExists(const std::wstring& path);
bool MakeReadOnly(const std::wstring& path);
// Holds the file open without sharing for as long as it lives.
class CFileLock {
public:
    explicit CFileLock(const std::wstring& path);
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;
    bool Locked() const;

private:
    void* handle_;
};
// Deletes the file, clearing a read-only attribute first.
void RemoveFile(const std::wstring& path);
// Files in the working directory whose names match pattern (e.g. L"tcf*.tmp").
int CountFiles(const std::wstring& pattern);

// The file's sections in order, each with its keys in order; values are dropped.
using SectionKeys = std::vector<std::pair<std::string, std::vector<std::string>>>;
SectionKeys ReadSectionKeys(const std::wstring& path);

std::string Narrow(const std::wstring& text);  // ASCII test texts only
