// The platform's open and save file dialogs, with the filter written as one string whose parts
// are separated by '|' ("Text (*.txt)|*.txt||").
#pragma once

#include <windows.h>

#include <string>

// Open: the file must exist, the read-only box is hidden. Save: the read-only box is hidden and
// replacing a file is confirmed first. False when the operator cancels.
bool AskOpenFile(HWND owner, const std::wstring& filter, const std::wstring& defaultExtension,
                 const std::wstring& initialName, std::wstring& path);
bool AskSaveFile(HWND owner, const std::wstring& filter, const std::wstring& defaultExtension,
                 const std::wstring& initialName, std::wstring& path);
// Save, for a file that is appended to: an existing file is taken without asking.
bool AskSaveFileAllowExisting(HWND owner, const std::wstring& filter,
                              const std::wstring& defaultExtension, const std::wstring& initialName,
                              std::wstring& path);
