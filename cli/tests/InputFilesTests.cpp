// The checks a configuration file or image passes before any hub is touched.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "HalvexZRVLib.h"
#include "InputFiles.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

std::vector<uint8_t> Image(size_t size, const char* tag) {
    std::vector<uint8_t> image(size, 0xFF);
    if (size >= 0xFFFE) std::copy(tag, tag + 4, image.begin() + 0xFFFA);
    return image;
}

TEST(InputFiles, ConfigurationBlocks) {
    // One item of type 0x800, 3 bytes: register 0x3000 = 0x5A.
    const std::vector<uint8_t> good =
        Bytes({'C', 'F', 'G', 'B', 1, 0x40, 0x00, 0x03, 0x30, 0x00, 0x5A});
    std::vector<uint8_t> lower = good;
    lower[0] = 'c';
    std::vector<uint8_t> shorter(good.begin(), good.end() - 1);
    std::vector<uint8_t> wrong = good;
    wrong[3] = 'X';
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool serial;
        bool ok;
    } cases[] = {
        {"well formed", good, false, true},
        {"signature in lower case", lower, false, true},
        {"one byte short", shorter, false, false},
        {"wrong signature", wrong, false, false},
        {"empty without a serial", {}, false, false},
        {"empty with a serial", {}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckConfigBlock(c.bytes, c.serial).empty(), c.ok);
    }
}

TEST(InputFiles, ImagesByFamily) {
    struct Case {
        const char* name;
        int32_t family;
        std::vector<uint8_t> image;
        bool ok;
    } cases[] = {
        {"first, 65535", HUB_FAMILY_MIRAVEL, Image(0xFFFF, "2DFU"), true},
        {"first, 65536", HUB_FAMILY_MIRAVEL, Image(0x10000, "2DFU"), false},
        {"first, no tag", HUB_FAMILY_MIRAVEL, Image(0xFFFF, "2dfu"), false},
        {"second, 65535", HUB_FAMILY_TORVIK, Image(0xFFFF, "2DFU"), true},
        {"second, 128 KiB", HUB_FAMILY_TORVIK, Image(0x20000, "2DFU"), true},
        {"second, 128 KiB + 1", HUB_FAMILY_TORVIK, Image(0x20001, "2DFU"), false},
        {"second, 65533", HUB_FAMILY_TORVIK, Image(0xFFFD, "2DFU"), false},
        {"second, no tag", HUB_FAMILY_TORVIK, Image(0x10000, "XXXX"), false},
        {"generic hubs follow the first family", HUB_FAMILY_GENERIC, Image(0x10000, "2DFU"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckFirmwareImageFor(c.family, c.image).empty(), c.ok);
    }
}

TEST(InputFiles, FilesAreReadWholeOrNotAtAll) {
    const std::vector<uint8_t> content = Bytes({0, 1, 2, 0xFF, 0x0D, 0x0A, 0x1A, 7});
    FILE* f = _wfopen(L"input-files.bin", L"wb");
    ASSERT_NE(f, nullptr);
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
    std::vector<uint8_t> read;
    std::wstring error;
    EXPECT_TRUE(ReadWholeFile(L"input-files.bin", read, error));
    EXPECT_EQ(read, content) << "binary, byte for byte";

    read = {1};
    EXPECT_FALSE(ReadWholeFile(L"no-such-input.cfg", read, error));
    EXPECT_TRUE(read.empty());
    EXPECT_NE(error.find(L"no-such-input.cfg"), std::wstring::npos);
    EXPECT_EQ(error.find(L'\n'), std::wstring::npos);
}

}  // namespace
