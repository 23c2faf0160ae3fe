// The first family's firmware image rule: exact size and exact-case tag.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "FirmwareImage.h"

TEST(FirmwareImage, SizeAndTag) {
    using cfgblock::FirmwareImageCheck;
    struct Case {
        const char* name;
        size_t size;
        size_t tagOffset;
        const char* tag;
        FirmwareImageCheck result;
    };
    const Case cases[] = {
        {"65535 bytes, tag in place", 0xFFFF, 0xFFFA, "2DFU", FirmwareImageCheck::kOk},
        {"65536 bytes, tag in place", 0x10000, 0xFFFA, "2DFU", FirmwareImageCheck::kWrongSize},
        {"65534 bytes", 0xFFFE, 0xFFFA, "2DFU", FirmwareImageCheck::kWrongSize},
        {"lower-case tag", 0xFFFF, 0xFFFA, "2dfu", FirmwareImageCheck::kMissingTag},
        {"tag one byte late", 0xFFFF, 0xFFFB, "2DFU", FirmwareImageCheck::kMissingTag},
        {"tag one byte early", 0xFFFF, 0xFFF9, "2DFU", FirmwareImageCheck::kMissingTag},
        {"last letter wrong", 0xFFFF, 0xFFFA, "2DFX", FirmwareImageCheck::kMissingTag},
        {"empty", 0, 0, "", FirmwareImageCheck::kWrongSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> image(c.size, 0xFF);
        if (!image.empty()) std::memcpy(image.data() + c.tagOffset, c.tag, std::strlen(c.tag));
        EXPECT_EQ(cfgblock::CheckFirmwareImage(image.data(), image.size()), c.result);
    }
    EXPECT_EQ(cfgblock::CheckFirmwareImage(nullptr, 0xFFFF), FirmwareImageCheck::kWrongSize);
}
