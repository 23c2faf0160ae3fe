// Reading fixture and board files from disk into specs, with file names inside
// them resolved against the file's folder, and the ZRV_TIME_SCALE override.
#pragma once

#include <string>

#include "FixtureParser.h"

namespace usbsim {

std::wstring FullPath(const std::wstring& path);
std::wstring FolderOf(const std::wstring& fullPath);
bool ReadWholeFile(const std::wstring& path, std::string& data, std::string& reason);

// `source` names the text in error messages (normally the path as given).
bool ParseFixtureText(const std::string& json, const std::wstring& baseDir,
                      const std::string& source, FixtureSpec& fixture, std::string& error);
bool ParseBoardText(const std::string& json, const std::wstring& baseDir, const std::string& source,
                    DeviceSpec& board, std::string& error);

// Applies ZRV_TIME_SCALE when set; false with an error when it is not a positive number.
bool ApplyTimeScaleOverride(FixtureSpec& fixture, std::string& error);

}  // namespace usbsim
