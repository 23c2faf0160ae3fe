// Block layout: descriptor coding, signatures, the size rule and the item walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ByteConcat.h"
#include "ConfigBlock.h"
#include "GuardedBytes.h"

using cfgblock::ByteView;

namespace {

ByteView View(const CGuardedBytes& bytes) {
    ByteView view;
    view.data = bytes.data();
    view.size = bytes.size();
    return view;
}

const Bytes kHeader0 = {'C', 'F', 'G', 'B', 0};

}  // namespace

TEST(Descriptor, EncodesAndDecodesTypeAndLength) {
    struct Case {
        uint16_t type;
        uint16_t length;
        Bytes bytes;
    };
    const Case cases[] = {
        {0x800, 3, {0x40, 0x00, 0x03}},
        {0x803, 66, {0x40, 0x18, 0x42}},
        {0x803, 0x100, {0x40, 0x19, 0x00}},  // length bit 8
        {0x807, 0x7FF, {0x40, 0x3F, 0xFF}},  // every length bit
        {0x80A, 6, {0x40, 0x50, 0x06}},
        {0x001, 0x5A3, {0x00, 0x0D, 0xA3}},  // type bit 0 beside length bits 10..8
        {0x1FFF, 0, {0xFF, 0xF8, 0x00}},     // every type bit
        {0, 0, {0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "type 0x" << std::hex << c.type << " length 0x" << c.length);
        uint8_t encoded[3] = {0xDE, 0xAD, 0xBE};
        cfgblock::EncodeDescriptor({c.type, c.length}, encoded);
        EXPECT_EQ(Bytes(encoded, encoded + 3), c.bytes);
        const cfgblock::ItemDescriptor decoded = cfgblock::DecodeDescriptor(c.bytes.data());
        EXPECT_EQ(decoded.type, c.type);
        EXPECT_EQ(decoded.length, c.length);
    }
}

TEST(Descriptor, OutOfRangeBitsDoNotSpillIntoTheOtherField) {
    uint8_t encoded[3] = {};
    cfgblock::EncodeDescriptor({0x2800, 0x0900}, encoded);
    EXPECT_EQ(Bytes(encoded, encoded + 3), (Bytes{0x40, 0x01, 0x00}));
}

TEST(Signature, ExactAndAnyCase) {
    struct Case {
        std::string text;
        bool exact;
        bool anyCase;
    };
    const Case cases[] = {
        {"CFGB", true, true},   {"cfgb", false, true},     {"CfGb", false, true},
        {"CFGX", false, false}, {"DFGB", false, false},    {"CFG", false, false},
        {"", false, false},     {"CFG\x02", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("signature \"" + c.text + "\"");
        const CGuardedBytes bytes(Bytes(c.text.begin(), c.text.end()));
        EXPECT_EQ(cfgblock::HasSignature(View(bytes)), c.exact);
        EXPECT_EQ(cfgblock::HasSignatureAnyCase(View(bytes)), c.anyCase);
    }
    EXPECT_FALSE(cfgblock::HasSignatureAnyCase(ByteView{nullptr, 4}));
}

TEST(SizeRule, AcceptsExactlyHeaderDescriptorsAndData) {
    const Bytes threeItems =
        Concat({{'C', 'F', 'G', 'B', 3},
                {0x40, 0x00, 0x03, 0x40, 0x08, 0x04, 0x40, 0x18, 0x05},
                {0x12, 0x34, 0x01, 0x12, 0x40, 0xAA, 0xBB, 0x30, 0x00, 0x01, 0x02, 0x03}});
    Bytes longItem = Concat({{'C', 'F', 'G', 'B', 1, 0x40, 0x19, 0x23}, Bytes(0x123, 0x5A)});
    Bytes longItemLowBitsOnly = Concat({{'C', 'F', 'G', 'B', 1, 0x40, 0x19, 0x23}, Bytes(0x23)});
    // 255 items of 2047 bytes: the largest block the format can describe.
    const Bytes largest =
        *cfgblock::BuildBlock(std::vector<cfgblock::NewItem>(255, {0x803, Bytes(2047, 0x5A)}));
    // 33 items of 2047 bytes declare 67655 bytes; a 16-bit sum would make that 2119.
    Bytes wrapsAt16Bits = {'C', 'F', 'G', 'B', 33};
    for (int i = 0; i < 33; ++i) wrapsAt16Bits.insert(wrapsAt16Bits.end(), {0x40, 0x07, 0xFF});
    wrapsAt16Bits.resize(67655 - 65536, 0x5A);

    struct Case {
        const char* name;
        Bytes bytes;
        bool consistent;
    };
    const Case cases[] = {
        {"header only", kHeader0, true},
        {"three items", threeItems, true},
        {"length using bits 10..8", longItem, true},
        {"length bits 10..8 ignored", longItemLowBitsOnly, false},
        {"one trailing byte", Concat({threeItems, {0x00}}), false},
        {"one byte short", Bytes(threeItems.begin(), threeItems.end() - 1), false},
        {"data missing", Bytes(threeItems.begin(), threeItems.begin() + 14), false},
        {"descriptor cut", Bytes(threeItems.begin(), threeItems.begin() + 12), false},
        {"count without descriptors", {'C', 'F', 'G', 'B', 255}, false},
        {"255 empty items", Concat({{'C', 'F', 'G', 'B', 255}, Bytes(3 * 255, 0x00)}), true},
        {"255 items of 2047 bytes", largest, true},
        {"255 items of 2047 bytes, last byte missing", Bytes(largest.begin(), largest.end() - 1),
         false},
        {"lengths summing past 16 bits", wrapsAt16Bits, false},
        {"signature only", {'C', 'F', 'G', 'B'}, false},
        {"empty", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CGuardedBytes bytes(c.bytes);
        EXPECT_EQ(cfgblock::HasConsistentSize(View(bytes)), c.consistent);
    }
    EXPECT_FALSE(cfgblock::HasConsistentSize(ByteView{nullptr, 5}));
}

TEST(SizeRule, DeclaredSizeNeedsHeaderAndDescriptorsInside) {
    const CGuardedBytes cut(Bytes{'C', 'F', 'G', 'B', 2, 0x40, 0x00, 0x03, 0x40});
    EXPECT_FALSE(cfgblock::DeclaredBlockSize(View(cut)).has_value());
    const CGuardedBytes shortData(Bytes{'C', 'F', 'G', 'B', 1, 0x40, 0x07, 0xFF});
    EXPECT_EQ(cfgblock::DeclaredBlockSize(View(shortData)), std::optional<size_t>(8 + 0x7FF));
}

TEST(ReadItems, WalksItemsAndRefusesOverruns) {
    const Bytes block = {'C',  'F',  'G',  'B',  2,    0x40, 0x00, 0x03,
                         0x40, 0x50, 0x02, 0x30, 0x15, 0x0A, 0x11, 0x22};
    {
        const CGuardedBytes bytes(block);
        const auto items = cfgblock::ReadItems(View(bytes));
        ASSERT_TRUE(items.has_value());
        ASSERT_EQ(items->size(), 2u);
        EXPECT_EQ((*items)[0].descriptor.type, 0x800);
        EXPECT_EQ(Bytes((*items)[0].data.data, (*items)[0].data.data + (*items)[0].data.size),
                  (Bytes{0x30, 0x15, 0x0A}));
        EXPECT_EQ((*items)[1].descriptor.type, 0x80A);
        EXPECT_EQ(Bytes((*items)[1].data.data, (*items)[1].data.data + (*items)[1].data.size),
                  (Bytes{0x11, 0x22}));
    }
    {
        SCOPED_TRACE("bytes after the last item belong to someone else");
        const CGuardedBytes bytes(Concat({block, {0xFF, 0xFF}}));
        EXPECT_TRUE(cfgblock::ReadItems(View(bytes)).has_value());
    }
    {
        SCOPED_TRACE("last item runs past the end");
        const CGuardedBytes bytes(Bytes(block.begin(), block.end() - 1));
        EXPECT_FALSE(cfgblock::ReadItems(View(bytes)).has_value());
    }
}

TEST(BuildBlock, LaysOutItemsAndRefusesWhatTheFormatCannotHold) {
    const auto block = cfgblock::BuildBlock({{0x800, {0x30, 0x15, 0x0A}}, {0x80A, {0x11, 0x22}}});
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(*block, (Bytes{'C', 'F', 'G', 'B', 2, 0x40, 0x00, 0x03, 0x40, 0x50, 0x02, 0x30, 0x15,
                             0x0A, 0x11, 0x22}));
    EXPECT_EQ(cfgblock::BuildBlock({}), std::optional<Bytes>(kHeader0));

    EXPECT_TRUE(cfgblock::BuildBlock(std::vector<cfgblock::NewItem>(255, {0x800, {}})));
    EXPECT_FALSE(cfgblock::BuildBlock(std::vector<cfgblock::NewItem>(256, {0x800, {}})));
    EXPECT_TRUE(cfgblock::BuildBlock({{0x803, Bytes(2047)}}));
    EXPECT_FALSE(cfgblock::BuildBlock({{0x803, Bytes(2048)}}));
    EXPECT_FALSE(cfgblock::BuildBlock({{0x2000, {}}}));
}
