// Accepts or refuses a first-family firmware image by size and tag.
#include "FirmwareImage.h"

#include <cstring>

namespace cfgblock {

FirmwareImageCheck CheckFirmwareImage(const uint8_t* image, size_t size) {
    if (image == nullptr || size != kFirmwareImageSize) return FirmwareImageCheck::kWrongSize;
    static const char kTag[4] = {'2', 'D', 'F', 'U'};
    if (std::memcmp(image + kFirmwareTagOffset, kTag, sizeof(kTag)) != 0) {
        return FirmwareImageCheck::kMissingTag;
    }
    return FirmwareImageCheck::kOk;
}

}  // namespace cfgblock
