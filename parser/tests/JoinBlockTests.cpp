// Joining a configuration block with serial items, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ByteConcat.h"
#include "JoinBlock.h"

using cfgblock::ByteView;

namespace {

ByteView View(const Bytes& bytes) {
    return ByteView{bytes.data(), bytes.size()};
}

const Bytes kInputDescriptors = {0x40, 0x00, 0x03, 0x40, 0x08, 0x04, 0x40, 0x18, 0x05};
const Bytes kInputData = {0x12, 0x34, 0x01, 0x12, 0x40, 0xAA, 0xBB, 0x30, 0x00, 0x01, 0x02, 0x03};
const Bytes kThreeItems = Concat({{'C', 'F', 'G', 'B', 3}, kInputDescriptors, kInputData});

// UTF-16LE of "ABCDEFGHIJ".
Bytes TenCharacterText() {
    Bytes text;
    for (char c = 'A'; c <= 'J'; ++c) text.insert(text.end(), {static_cast<uint8_t>(c), 0x00});
    return text;
}

struct Serial {
    Bytes descriptors;
    Bytes data;
};

Serial MakeSerial(const std::wstring& text) {
    const cfgblock::SerialBlockSize size = cfgblock::SerialItemsSize(text.size());
    Serial serial{Bytes(size.descriptors), Bytes(size.data)};
    const cfgblock::SerialItemsResult result = cfgblock::WriteSerialItems(
        text.c_str(), text.size(), serial.descriptors.data(), serial.descriptors.size(),
        serial.data.data(), serial.data.size());
    EXPECT_EQ(result, cfgblock::SerialItemsResult::kOk);
    return serial;
}

Bytes Join(const Bytes& block, const Serial& serial, cfgblock::JoinResult expected) {
    const size_t items = serial.descriptors.size() / 3;
    Bytes out(
        cfgblock::JoinedBlockSize(View(block), {serial.descriptors.size(), serial.data.size()}),
        0xDE);
    EXPECT_EQ(cfgblock::JoinBlockAndSerial(View(block), View(serial.descriptors), View(serial.data),
                                           items, out.data(), out.size()),
              expected);
    return out;
}

}  // namespace

TEST(JoinBlock, ThreeItemsAndTenCharacterSerial) {
    const Bytes joined = Join(kThreeItems, MakeSerial(L"ABCDEFGHIJ"), cfgblock::JoinResult::kOk);
    const Bytes serialDescriptors = {0x40, 0x00, 0x03, 0x40, 0x00, 0x03, 0x40, 0x00, 0x03,
                                     0x40, 0x00, 0x03, 0x40, 0x18, 0x18, 0x40, 0x18, 0x18};
    const Bytes serialData =
        Concat({{0x30, 0x15, 0x0A, 0x50, 0xB4, 0x16, 0x50, 0x50, 0x01, 0x50, 0x14, 0x16},
                {0x30, 0x92, 0x00, 0x14},
                TenCharacterText(),
                {0x50, 0xB6, 0x00, 0x14},
                TenCharacterText()});
    const Bytes expected = Concat(
        {{'C', 'F', 'G', 'B', 9}, kInputDescriptors, serialDescriptors, kInputData, serialData});
    EXPECT_EQ(joined.size(), kThreeItems.size() + 78);
    EXPECT_EQ(joined, expected);
}

TEST(JoinBlock, HeaderComesFromTheInputOrIsFresh) {
    struct Case {
        const char* name;
        Bytes block;
        std::wstring serial;
        Bytes expected;
    };
    const Serial one = MakeSerial(L"A");
    const Case cases[] = {
        {"no block, one character",
         {},
         L"A",
         Concat({{'C', 'F', 'G', 'B', 6}, one.descriptors, one.data})},
        {"no block, no serial", {}, L"", {'C', 'F', 'G', 'B', 0}},
        {"block, no serial", kThreeItems, L"", kThreeItems},
        {"lower-case signature kept",
         Concat({{'c', 'f', 'g', 'b', 3}, kInputDescriptors, kInputData}), L"A",
         Concat(
             {{'c', 'f', 'g', 'b', 9}, kInputDescriptors, one.descriptors, kInputData, one.data})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Join(c.block, MakeSerial(c.serial), cfgblock::JoinResult::kOk), c.expected);
    }
    EXPECT_EQ(Join({}, one, cfgblock::JoinResult::kOk).size(), 47u);
}

TEST(JoinBlock, ItemCountMustFitInOneByte) {
    const Serial serial = MakeSerial(L"A");
    for (const size_t inputItems : {249u, 250u}) {
        SCOPED_TRACE(testing::Message() << inputItems << " input items");
        Bytes block = {'C', 'F', 'G', 'B', static_cast<uint8_t>(inputItems)};
        for (size_t i = 0; i < inputItems; ++i) block.insert(block.end(), {0x40, 0x00, 0x00});
        const bool fits = inputItems + 6 <= 255;
        const Bytes joined = Join(
            block, serial, fits ? cfgblock::JoinResult::kOk : cfgblock::JoinResult::kTooManyItems);
        if (fits) {
            EXPECT_EQ(joined[4], 255);
        } else {
            EXPECT_EQ(joined, Bytes(joined.size(), 0xDE));
        }
    }
}

TEST(JoinBlock, RefusesMalformedInputAndShortOutput) {
    const Serial serial = MakeSerial(L"A");
    const Bytes oversized = Concat({kThreeItems, {0x00}});
    Bytes out(200, 0xDE);
    EXPECT_EQ(cfgblock::JoinBlockAndSerial(View(oversized), View(serial.descriptors),
                                           View(serial.data), 6, out.data(), out.size()),
              cfgblock::JoinResult::kMalformedBlock);
    EXPECT_EQ(cfgblock::JoinBlockAndSerial(View(kThreeItems), View(serial.descriptors),
                                           View(serial.data), 5, out.data(), out.size()),
              cfgblock::JoinResult::kMalformedBlock);
    const size_t needed = kThreeItems.size() + 18 + 24;
    EXPECT_EQ(cfgblock::JoinBlockAndSerial(View(kThreeItems), View(serial.descriptors),
                                           View(serial.data), 6, out.data(), needed - 1),
              cfgblock::JoinResult::kBufferTooSmall);
    EXPECT_EQ(out, Bytes(200, 0xDE));
}
