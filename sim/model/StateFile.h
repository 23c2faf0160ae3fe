// The state file's text: every chip's memories by instance ID, as JSON with
// hex strings, so a later process sees what an earlier one programmed.
#pragma once

#include <string>

#include "ChipMemory.h"

namespace usbsim {

std::string StateToJson(const ChipMemories& memories);

// Reads the state text into `memories` (entries it holds replace those there);
// false with a reason naming the JSON path when the text is malformed.
bool StateFromJson(const std::string& text, ChipMemories& memories, std::string& error);

}  // namespace usbsim
