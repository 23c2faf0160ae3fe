// The first family's OTP checks over plain bytes: vendor signature, the newest
// block of an area, the new block's offset and the comparison without serials.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ConfigBlock.h"
#include "MiravelOtpLayout.h"

using namespace miravel;

namespace {

std::vector<uint8_t> Block(std::vector<cfgblock::NewItem> items) {
    return *cfgblock::BuildBlock(items);
}

cfgblock::NewItem Byte(uint16_t address, uint8_t value) {
    return {0x800, {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), value}};
}

}  // namespace

TEST(MiravelLayout, VendorSignature) {
    struct Case {
        const char* bytes;
        bool valid;
    } cases[] = {{"VNDR", true},  {"vndr", true},   {"VnDr", true},
                 {"VNDX", false}, {"\0NDR", false}, {"NDRV", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        uint8_t block[24] = {};
        memcpy(block, c.bytes, 4);
        EXPECT_EQ(HasVendorSignature(block, sizeof(block)), c.valid);
    }
    EXPECT_FALSE(HasVendorSignature(nullptr, 24));
}

TEST(MiravelLayout, NewBlockOffset) {
    std::vector<uint8_t> before(2048, 0), after(2048, 0);
    EXPECT_FALSE(NewBlockOffset(before.data(), after.data(), 2048, 10));
    after[100] = 1;
    EXPECT_EQ(NewBlockOffset(before.data(), after.data(), 2048, 10), std::optional<size_t>(100));
    after[100] = 0;
    after[2038] = 1;  // a block of 10 ends exactly at the last byte
    EXPECT_EQ(NewBlockOffset(before.data(), after.data(), 2048, 10), std::optional<size_t>(2038));
    EXPECT_FALSE(NewBlockOffset(before.data(), after.data(), 2048, 11));
}

TEST(MiravelLayout, LastBlockOfAnArea) {
    const auto older = Block({Byte(0x1000, 1), Byte(0x1001, 2)});
    const auto newer = Block({Byte(0x1000, 3), Byte(0x1001, 4)});
    std::vector<uint8_t> area(2018, 0);
    std::copy(older.begin(), older.end(), area.begin());
    std::copy(newer.begin(), newer.end(), area.begin() + static_cast<std::ptrdiff_t>(older.size()));
    EXPECT_EQ(FindLastBlockStart(area.data(), area.size(), newer.size()),
              std::optional<size_t>(older.size()));

    struct Case {
        const char* name;
        std::vector<uint8_t> block;
        int32_t result;
    } cases[] = {
        {"newest", newer, kCompareSame},
        {"older", older, kCompareDifferent},
        {"item order differs", Block({Byte(0x1001, 4), Byte(0x1000, 3)}), kCompareSame},
        {"extra item", Block({Byte(0x1000, 3), Byte(0x1001, 4), Byte(0x1002, 5)}),
         kCompareDifferent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CompareWithLastBlock(area.data(), area.size(), c.block.data(), c.block.size()),
                  c.result);
    }
    const std::vector<uint8_t> blank(2018, 0);
    EXPECT_EQ(CompareWithLastBlock(blank.data(), blank.size(), newer.data(), newer.size()),
              kCompareDifferent);
    EXPECT_EQ(CompareWithLastBlock(area.data(), 4, newer.data(), newer.size()),
              kCompareBadArgument);
    EXPECT_EQ(CompareWithLastBlock(nullptr, 2018, newer.data(), newer.size()), kCompareBadArgument);
}

TEST(MiravelLayout, ComparisonSkipsSerialRegistersOnly) {
    const auto found = Block({Byte(0x1000, 1), Byte(0x3015, 6), Byte(0x5050, 1), Byte(0x30A0, 9)});
    struct Case {
        const char* name;
        std::vector<uint8_t> given;
        int32_t result;
    } cases[] = {
        {"other serial values",
         Block({Byte(0x1000, 1), Byte(0x3015, 7), Byte(0x5050, 0), Byte(0x30A0, 8)}), kCompareSame},
        {"no serial items", Block({Byte(0x1000, 1)}), kCompareSame},
        {"other value", Block({Byte(0x1000, 2)}), kCompareDifferent},
        {"one past the serial string", Block({Byte(0x1000, 1), Byte(0x30D2, 1)}),
         kCompareDifferent},
        {"type 0x80E", Block({Byte(0x1000, 1), {0x80E, {0x10, 0x00, 1}}}), kCompareDifferent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CompareIgnoringSerial(found.data(), found.size(), c.given.data(), c.given.size()),
                  c.result);
    }
}
