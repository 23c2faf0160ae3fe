// The configuration page's rules for a node: which memory types a family offers, what "..."
// browses for, and when a node's configuration is complete.
#include <gtest/gtest.h>

#include "NodeCompleteness.h"
#include "TcfItem.h"

namespace {

TEST(NodeRules, MemoryTypesOfEachFamilyInListOrder) {
    EXPECT_EQ(MemoryTypesOfFamily(kPartFamilyFirst), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(MemoryTypesOfFamily(kPartFamilySecond), (std::vector<int>{0, 2, 3, 4}));
    EXPECT_EQ(MemoryTypesOfFamily(kPartFamilyUnknown), (std::vector<int>{4}));
    EXPECT_EQ(MemoryTypesOfFamily(7), (std::vector<int>{4}));
    const wchar_t* texts[] = {L"SPI Partial (Config)", L"SPI Copy from OTP", L"SPI", L"OTP",
                              L"N/A"};
    for (int type = 0; type < 5; ++type) EXPECT_STREQ(MemoryTypeText(type), texts[type]);
    EXPECT_STREQ(MemoryTypeText(-1), L"N/A");
}

TEST(NodeRules, BrowseOffersImagesForTheSecondFamilyAndTheSpiImageTypes) {
    struct Case {
        int family, memoryType;
        bool image;
    } cases[] = {{0, 0, false}, {0, 1, true}, {0, 2, true}, {0, 3, false},
                 {1, 0, true},  {1, 3, true}, {1, 2, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(BrowsesForImage(c.family, c.memoryType), c.image)
            << "family " << c.family << " memory " << c.memoryType;
    }
}

TEST(NodeRules, CompletenessAndShownControls) {
    struct Case {
        const char* name;
        NodeSettings node;
        bool memory, operations, file, more, complete;
    } cases[] = {
        {"not recognized", {2, 3, true, true, L"", false}, false, false, false, false, true},
        {"family out of range", {5, 0, true, false, L"", false}, false, false, false, false, true},
        {"N/A memory", {0, 4, true, true, L"", false}, true, false, false, false, true},
        {"no operation", {0, 3, false, false, L"a.cfg", true}, true, true, false, false, false},
        {"SPI without image", {0, 2, true, false, L"", false}, true, true, true, false, false},
        {"SPI with blank image",
         {1, 2, false, true, L" \t ", false},
         true,
         true,
         true,
         false,
         false},
        {"SPI with image", {0, 1, true, false, L"x.bin", false}, true, true, true, false, true},
        {"OTP: no file, serial not confirmed",
         {0, 3, true, false, L"", false},
         true,
         true,
         true,
         true,
         false},
        {"OTP: serial confirmed", {0, 3, true, false, L"", true}, true, true, true, true, true},
        {"OTP: file", {0, 3, true, false, L"a.cfg", false}, true, true, true, true, true},
        {"partial, verify only", {0, 0, false, true, L"", false}, true, true, true, false, false},
        {"second family OTP", {1, 3, true, false, L"", true}, true, true, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const NodeView view = ViewOfNode(c.node);
        EXPECT_EQ(view.memoryTypeShown, c.memory);
        EXPECT_EQ(view.operationsShown, c.operations);
        EXPECT_EQ(view.fileShown, c.file);
        EXPECT_EQ(view.serialSettingsShown, c.more);
        EXPECT_EQ(view.complete, c.complete);
    }
}

}  // namespace
