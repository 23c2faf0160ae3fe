// What a chip keeps across a re-plug and, with ZRV_USBSIM_STATE, across processes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace usbsim {

struct ChipMemory {
    bool initialised = false;  // the family code sets it after filling from the fixture
    std::map<std::string, std::vector<uint8_t>> areas;  // "otp", "flash", "ram", ... by name
    std::map<uint32_t, uint8_t> registers;
    std::map<std::string, std::string> values;  // small named states ("boot" = "dfu", ...)
};

}  // namespace usbsim
