// Whole files as raw bytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Reads all of path into bytes. False when the file cannot be opened or fewer bytes than its
// length arrive; the system error code is then in error.
bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>& bytes, DWORD& error);

// The system's text for an error code, without the trailing line break.
std::wstring SystemErrorText(DWORD error);
