// The production record file chosen on the execution page, remembered in the folder of the
// topology file it was chosen for (file "ProductionRecord.ini", section "Record", key "File"),
// so each line's folder keeps its own record.
#pragma once

#include <string>

extern const wchar_t kRecordChoiceFileName[];

// The file that remembers the choice for a topology file: beside it. Empty without topology.
std::wstring RecordChoicePath(const std::wstring& topologyFile);
// The remembered record file; empty when nothing is remembered.
std::wstring RememberedRecordFile(const std::wstring& topologyFile);
// False when there is no topology file or the choice cannot be written.
bool RememberRecordFile(const std::wstring& topologyFile, const std::wstring& recordFile);
