// Compares two configuration blocks register by register while ignoring the
// registers that the serial items write, so a block read back from a hub
// matches the configuration it was built from whatever its serial number.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ConfigBlock.h"

namespace cfgblock {

struct RegisterValue {
    uint32_t address = 0;
    uint8_t value = 0;
};

// One register value per value byte, items in order, addresses counting up
// from each item's address. Nothing for an item of type 0x80E or outside
// 0x800..0x810, an item too short for its address and values, or a
// descriptor or item running past block.size.
std::optional<std::vector<RegisterValue>> ExpandRegisterValues(ByteView block);

// 0x3015, 0x5014, 0x5050, 0x50B4 and the string areas the longest serial
// fills: 0x3092..0x30D1 and 0x50B6..0x50F5.
bool IsSerialRegister(uint32_t address);

// True when every non-serial value of given has the same value at the first
// equal address of found and both hold as many non-serial values. False when
// either block cannot be expanded.
bool SameIgnoringSerialItems(ByteView found, ByteView given);

}  // namespace cfgblock
