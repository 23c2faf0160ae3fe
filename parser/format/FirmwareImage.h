// The first family's firmware image rule: exactly 65535 bytes with the tag
// "2DFU" at offsets 0xFFFA..0xFFFD.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cfgblock {

constexpr size_t kFirmwareImageSize = 0xFFFF;
constexpr size_t kFirmwareTagOffset = 0xFFFA;

enum class FirmwareImageCheck { kOk, kWrongSize, kMissingTag };

// A null image counts as the wrong size; the tag is compared in exact case.
FirmwareImageCheck CheckFirmwareImage(const uint8_t* image, size_t size);

}  // namespace cfgblock
