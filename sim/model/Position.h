// The tool's position strings: "1-<controller index + 1>-<port>-<port>...".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace usbsim {

struct Position {
    uint32_t controller = 0;      // 0-based
    std::vector<uint32_t> ports;  // root port first; never empty
};

// Null when the text is not a position of a port ("1-2" names a controller).
std::optional<Position> ParsePosition(const std::wstring& text);

}  // namespace usbsim
