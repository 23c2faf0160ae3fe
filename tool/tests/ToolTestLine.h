// The simulated line and the registry value a test of the sheet starts from.
#pragma once

#include <string>

namespace guitest {

// "Z:<repository>/fixtures/tests/<name>"
std::wstring FixturePath(const std::wstring& name);

// Makes the named fixture the USB line of this process. The first call chooses it for the hub
// library; later calls load it into the simulator and make the library walk the bus afresh.
bool UseLine(const std::wstring& fixtureName);

// The tool's registry key with "DefaultTcf" set to path; without path, no key at all.
void SetDefaultTcfKey(const std::wstring* path);
// The key exists, without a "DefaultTcf" value.
void SetEmptyToolKey();
// "DefaultTcf" as stored; empty when absent.
std::wstring StoredDefaultTcf();

// A file in the test's working directory: its absolute path. The file is removed first.
std::wstring FreshFile(const std::wstring& name);
std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);

std::string Narrow(const std::wstring& text);

}  // namespace guitest
