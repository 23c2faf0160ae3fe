// File helpers shared by the topology tests.
#include "TestFiles.h"

#include <windows.h>

#include <fstream>
#include <sstream>

extern const wchar_t kTraceLogFileName[] = L"TopologyTestsLog.txt";

std::wstring TestPath(const std::wstring& name) {
    wchar_t buffer[MAX_PATH] = {};
    GetFullPathNameW(name.c_str(), MAX_PATH, buffer, nullptr);
    return buffer;
}

std::string ReadRaw(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteRaw(const std::wstring& path, const std::string& text) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << text;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeReadOnly(const std::wstring& path) {
    return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
}

CFileLock::CFileLock(const std::wstring& path)
    : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}

CFileLock::~CFileLock() {
    if (Locked()) CloseHandle(handle_);
}

bool CFileLock::Locked() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

void RemoveFile(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

int CountFiles(const std::wstring& pattern) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        ++count;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

SectionKeys ReadSectionKeys(const std::wstring& path) {
    SectionKeys sections;
    std::istringstream in(ReadRaw(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            sections.emplace_back(line.substr(1, line.size() - 2), std::vector<std::string>());
        } else if (!sections.empty()) {
            sections.back().second.push_back(line.substr(0, line.find('=')));
        }
    }
    return sections;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}
