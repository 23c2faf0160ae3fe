// The state file on disk: read at load, and updated chip by chip after every
// change, atomically (a temporary file replaces the old one) and under a named
// mutex, so several processes can share one file.
#pragma once

#include <string>

#include "ChipMemory.h"

namespace usbsim {

// ZRV_USBSIM_STATE as a full path, or empty when unset.
std::wstring StateFilePathFromEnvironment();

// A missing file is an empty state; a malformed one is an error.
bool ReadStateFile(const std::wstring& path, ChipMemories& memories, std::string& error);

// Replaces the file's entries for these chips, keeping every other chip it holds.
bool WriteStateFile(const std::wstring& path, const ChipMemories& changed, std::string& error);

}  // namespace usbsim
