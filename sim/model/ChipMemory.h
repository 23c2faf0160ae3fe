// What a simulated chip keeps across a re-plug and, with a state file, across
// processes: its memories by name, its registers and small named states.
// Keyed by the hub's instance ID, as a real board keeps its chip when it is
// unplugged and plugged in again.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace usbsim {

struct ChipMemory {
    bool initialised = false;  // the family code sets it after filling from the fixture
    std::map<std::string, std::vector<uint8_t>> areas;  // "otp", "flash", "ram", ...
    std::map<uint32_t, uint8_t> registers;
    std::map<std::string, std::string> values;  // small named states ("boot" = "dfu", ...)

    bool operator==(const ChipMemory& other) const {
        return initialised == other.initialised && areas == other.areas &&
               registers == other.registers && values == other.values;
    }
    bool operator!=(const ChipMemory& other) const { return !(*this == other); }
};

// Chip memories by upper-case instance ID.
using ChipMemories = std::map<std::wstring, ChipMemory>;

}  // namespace usbsim
