#include "RecordChoice.h"

#include <windows.h>

#include <vector>

const wchar_t kRecordChoiceFileName[] = L"ProductionRecord.ini";

namespace {
const wchar_t kSection[] = L"Record";
const wchar_t kKey[] = L"File";
}  // namespace

std::wstring RecordChoicePath(const std::wstring& topologyFile) {
    if (topologyFile.empty()) return L"";
    const size_t slash = topologyFile.find_last_of(L"\\/:");
    // Profile functions look for a bare name in the Windows folder: keep a folder on it.
    std::wstring folder = slash == std::wstring::npos ? L".\\" : topologyFile.substr(0, slash + 1);
    if (folder.back() == L':') folder += L".\\";
    return folder + kRecordChoiceFileName;
}

std::wstring RememberedRecordFile(const std::wstring& topologyFile) {
    const std::wstring choice = RecordChoicePath(topologyFile);
    if (choice.empty()) return L"";
    std::vector<wchar_t> value(32768, L'\0');
    GetPrivateProfileStringW(kSection, kKey, L"", value.data(), static_cast<DWORD>(value.size()),
                             choice.c_str());
    return value.data();
}

bool RememberRecordFile(const std::wstring& topologyFile, const std::wstring& recordFile) {
    const std::wstring choice = RecordChoicePath(topologyFile);
    if (choice.empty()) return false;
    return WritePrivateProfileStringW(kSection, kKey, recordFile.c_str(), choice.c_str()) != 0;
}
