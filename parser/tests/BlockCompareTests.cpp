// Register-level expansion of blocks and comparison without the serial items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BlockCompare.h"
#include "GuardedBytes.h"
#include "JoinBlock.h"

using cfgblock::ByteView;
using Bytes = std::vector<uint8_t>;

namespace {

ByteView View(const Bytes& bytes) {
    return ByteView{bytes.data(), bytes.size()};
}

Bytes Block(const std::vector<cfgblock::NewItem>& items) {
    const std::optional<Bytes> block = cfgblock::BuildBlock(items);
    EXPECT_TRUE(block.has_value());
    return block.value_or(Bytes());
}

Bytes WithSerial(const Bytes& block, const std::wstring& serial) {
    const cfgblock::SerialBlockSize size = cfgblock::SerialItemsSize(serial.size());
    Bytes descriptors(size.descriptors);
    Bytes data(size.data);
    cfgblock::WriteSerialItems(serial.c_str(), serial.size(), descriptors.data(),
                               descriptors.size(), data.data(), data.size());
    Bytes out(cfgblock::JoinedBlockSize(View(block), size));
    EXPECT_EQ(cfgblock::JoinBlockAndSerial(View(block), View(descriptors), View(data),
                                           descriptors.size() / 3, out.data(), out.size()),
              cfgblock::JoinResult::kOk);
    return out;
}

std::string Describe(const std::vector<cfgblock::RegisterValue>& values) {
    std::string text;
    char pair[32];
    for (const cfgblock::RegisterValue& v : values) {
        snprintf(pair, sizeof(pair), "%04X=%02X ", static_cast<unsigned>(v.address), v.value);
        text += pair;
    }
    return text;
}

}  // namespace

TEST(ExpandRegisterValues, ValueCountsFollowTheItemType) {
    struct Case {
        const char* name;
        cfgblock::NewItem item;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"0x800 one value", {0x800, {0x12, 0x34, 0xAB}}, "1234=AB "},
        {"0x810 one value", {0x810, {0x12, 0x34, 0xAB}}, "1234=AB "},
        {"0x801 two values", {0x801, {0x12, 0x34, 0x01, 0x02}}, "1234=01 1235=02 "},
        {"0x80D four values",
         {0x80D, {0x00, 0xFE, 1, 2, 3, 4}},
         "00FE=01 00FF=02 0100=03 0101=04 "},
        {"0x803 variable", {0x803, {0x30, 0x92, 0x00, 0x02, 0x41}}, "3092=00 3093=02 3094=41 "},
        {"0x807 address only", {0x807, {0x30, 0x92}}, ""},
        {"0x808 one-byte address", {0x808, {0x40, 0x7F}}, "0040=7F "},
        {"0x809 one-byte address", {0x809, {0x40, 1, 2}}, "0040=01 0041=02 "},
        {"0x80A one-byte address", {0x80A, {0x40, 1, 2, 3, 4}}, "0040=01 0041=02 0042=03 0043=04 "},
        {"fixed type, extra bytes skipped", {0x800, {0x12, 0x34, 0xAB, 0xCD}}, "1234=AB "},
        {"0x80E is not comparable", {0x80E, {0x12, 0x34, 0xAB}}, nullptr},
        {"type below 0x800", {0x7FF, {0x12, 0x34, 0xAB}}, nullptr},
        {"type above 0x810", {0x811, {0x12, 0x34, 0xAB}}, nullptr},
        {"too short for its value", {0x801, {0x12, 0x34, 0x01}}, nullptr},
        {"too short for its address", {0x803, {0x12}}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CGuardedBytes block(Block({c.item}));
        const auto values = cfgblock::ExpandRegisterValues(ByteView{block.data(), block.size()});
        if (c.expected == nullptr) {
            EXPECT_FALSE(values.has_value());
        } else {
            ASSERT_TRUE(values.has_value());
            EXPECT_EQ(Describe(*values), c.expected);
        }
    }
}

TEST(ExpandRegisterValues, RefusesItemsRunningPastTheBlock) {
    const Bytes whole = Block({{0x800, {0x12, 0x34, 0xAB}}, {0x801, {0x12, 0x35, 1, 2}}});
    for (size_t size = 0; size < whole.size(); ++size) {
        SCOPED_TRACE(testing::Message() << "first " << size << " bytes");
        const CGuardedBytes cut(Bytes(whole.begin(), whole.begin() + size));
        EXPECT_FALSE(cfgblock::ExpandRegisterValues(ByteView{cut.data(), cut.size()}));
    }
}

TEST(SerialRegisters, SingleRegistersAndBothStringAreas) {
    const struct {
        uint32_t address;
        bool serial;
    } cases[] = {
        {0x3015, true},  {0x5014, true},  {0x5050, true},  {0x50B4, true},  {0x3014, false},
        {0x3016, false}, {0x3091, false}, {0x3092, true},  {0x30B2, true},  {0x30B3, true},
        {0x30D1, true},  {0x30D2, false}, {0x50B5, false}, {0x50B6, true},  {0x50D6, true},
        {0x50D7, true},  {0x50F5, true},  {0x50F6, false}, {0x0000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "address 0x" << std::hex << c.address);
        EXPECT_EQ(cfgblock::IsSerialRegister(c.address), c.serial);
    }
}

TEST(SameIgnoringSerialItems, OnlySerialRegistersMayDiffer) {
    const Bytes config = Block({{0x800, {0x12, 0x34, 0x01}}, {0x801, {0x20, 0x00, 0xAA, 0xBB}}});
    const Bytes changedValue =
        Block({{0x800, {0x12, 0x34, 0x01}}, {0x801, {0x20, 0x00, 0xAA, 0xBC}}});
    const Bytes extraItem = Block(
        {{0x800, {0x12, 0x34, 0x01}}, {0x801, {0x20, 0x00, 0xAA, 0xBB}}, {0x808, {0x40, 0x00}}});
    const Bytes sameRegistersOtherItems =
        Block({{0x801, {0x20, 0x00, 0xAA, 0xBB}}, {0x808, {0x12, 0x01}}});  // 0x12, not 0x1234
    const Bytes regrouped = Block(
        {{0x800, {0x12, 0x34, 0x01}}, {0x800, {0x20, 0x00, 0xAA}}, {0x800, {0x20, 0x01, 0xBB}}});
    Bytes configWithTail = WithSerial(config, L"0001");
    configWithTail.insert(configWithTail.end(), {0xFF, 0xFF, 0xFF});
    const Bytes serialOnlyChange = Block({{0x800, {0x12, 0x34, 0x01}},
                                          {0x801, {0x20, 0x00, 0xAA, 0xBB}},
                                          {0x800, {0x50, 0x50, 0x00}}});

    struct Case {
        const char* name;
        Bytes found;
        Bytes given;
        bool same;
    };
    const Case cases[] = {
        {"identical", config, config, true},
        {"other serial", WithSerial(config, L"0001"), WithSerial(config, L"0002"), true},
        {"other serial length", WithSerial(config, L"1"), WithSerial(config, L"123456789"), true},
        {"longest serials differ at the end", WithSerial(config, std::wstring(30, L'0') + L"1"),
         WithSerial(config, std::wstring(30, L'0') + L"2"), true},
        {"serial on one side only", WithSerial(config, L"0001"), config, true},
        {"serial register written differently", serialOnlyChange, config, true},
        {"same registers in other items", regrouped, config, true},
        {"bytes after the found block", configWithTail, WithSerial(config, L"0002"), true},
        {"value differs", WithSerial(changedValue, L"1"), WithSerial(config, L"1"), false},
        {"extra item found", extraItem, config, false},
        {"extra item given", config, extraItem, false},
        {"address differs", sameRegistersOtherItems, config, false},
        {"found not comparable", Block({{0x80E, {0x12, 0x34, 0x01}}}), config, false},
        {"given cut short", config, Bytes(config.begin(), config.end() - 1), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(cfgblock::SameIgnoringSerialItems(View(c.found), View(c.given)), c.same);
    }
}

TEST(SameIgnoringSerialItems, FirstMatchingAddressOfTheFoundBlockCounts) {
    const Bytes given = Block({{0x800, {0x12, 0x34, 0x01}}, {0x800, {0x12, 0x35, 0x02}}});
    const Bytes firstWins = Block({{0x800, {0x12, 0x34, 0x01}}, {0x800, {0x12, 0x34, 0x09}}});
    const Bytes firstLoses = Block({{0x800, {0x12, 0x34, 0x09}}, {0x800, {0x12, 0x34, 0x01}}});
    // Same count of non-serial values, but 0x1235 is missing from the found block.
    EXPECT_FALSE(cfgblock::SameIgnoringSerialItems(View(firstWins), View(given)));
    const Bytes given2 = Block({{0x800, {0x12, 0x34, 0x01}}, {0x800, {0x12, 0x34, 0x01}}});
    EXPECT_TRUE(cfgblock::SameIgnoringSerialItems(View(firstWins), View(given2)));
    EXPECT_FALSE(cfgblock::SameIgnoringSerialItems(View(firstLoses), View(given2)));
}
