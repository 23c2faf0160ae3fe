// The folder of the part templates: the string value "Path" of the tool's
// registry key. File names are appended to it directly, so it ends in a
// path separator.
#pragma once

#include <windows.h>

#include <string>

extern const wchar_t kTemplateFolderValue[];
constexpr DWORD kMaxTemplateFolderLength = 259;

// False when the key or the value cannot be read, the value is not text or
// is longer than 259 characters; folder is then empty and errorText holds the
// message box text: the error code in decimal and ":Error" ("2:Error" for a
// missing key or value).
bool ReadTemplateFolder(std::wstring& folder, std::wstring& errorText, HKEY root,
                        const wchar_t* subKey);
