// The six serial-number items, byte for byte, and their limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SerialItems.h"

using Bytes = std::vector<uint8_t>;

TEST(SerialItems, SizesFollowTheSerialLength) {
    const struct {
        size_t length;
        size_t descriptors;
        size_t data;
    } cases[] = {{0, 0, 0}, {1, 18, 24}, {10, 18, 60}, {31, 18, 144}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "length " << c.length);
        const cfgblock::SerialBlockSize size = cfgblock::SerialItemsSize(c.length);
        EXPECT_EQ(size.descriptors, c.descriptors);
        EXPECT_EQ(size.data, c.data);
    }
}

TEST(SerialItems, OneCharacterSerialByteForByte) {
    Bytes descriptors(18, 0xDE);
    Bytes data(24, 0xDE);
    ASSERT_EQ(cfgblock::WriteSerialItems(L"A", 1, descriptors.data(), descriptors.size(),
                                         data.data(), data.size()),
              cfgblock::SerialItemsResult::kOk);
    EXPECT_EQ(descriptors, (Bytes{0x40, 0x00, 0x03, 0x40, 0x00, 0x03, 0x40, 0x00, 0x03, 0x40, 0x00,
                                  0x03, 0x40, 0x18, 0x06, 0x40, 0x18, 0x06}));
    EXPECT_EQ(data,
              (Bytes{0x30, 0x15, 0x01, 0x50, 0xB4, 0x04, 0x50, 0x50, 0x01, 0x50, 0x14, 0x04,
                     0x30, 0x92, 0x00, 0x02, 0x41, 0x00, 0x50, 0xB6, 0x00, 0x02, 0x41, 0x00}));
}

TEST(SerialItems, TextIsUtf16LittleEndianTwice) {
    const wchar_t serial[] = {0x20AC, L'7', 0xD83D, 0xDE00};  // euro sign, digit, surrogate pair
    Bytes descriptors(18);
    Bytes data(4 * 4 + 20);
    ASSERT_EQ(cfgblock::WriteSerialItems(serial, 4, descriptors.data(), descriptors.size(),
                                         data.data(), data.size()),
              cfgblock::SerialItemsResult::kOk);
    const Bytes text = {0xAC, 0x20, 0x37, 0x00, 0x3D, 0xD8, 0x00, 0xDE};
    EXPECT_EQ(Bytes(data.begin() + 16, data.begin() + 24), text);
    EXPECT_EQ(Bytes(data.end() - 8, data.end()), text);
    EXPECT_EQ(data[2], 4);   // code units, not characters
    EXPECT_EQ(data[15], 8);  // text bytes
    EXPECT_EQ(Bytes(descriptors.end() - 3, descriptors.end()), (Bytes{0x40, 0x18, 0x0C}));
}

TEST(SerialItems, LimitsAndBuffersNothingWrittenOnFailure) {
    const std::wstring serial32(32, L'9');
    struct Case {
        const char* name;
        size_t length;
        size_t descriptorsSize;
        size_t dataSize;
        cfgblock::SerialItemsResult result;
    };
    const Case cases[] = {
        {"31 characters", 31, 18, 144, cfgblock::SerialItemsResult::kOk},
        {"32 characters", 32, 18, 148, cfgblock::SerialItemsResult::kTooLong},
        {"descriptors one short", 10, 17, 60, cfgblock::SerialItemsResult::kBufferTooSmall},
        {"data one short", 10, 18, 59, cfgblock::SerialItemsResult::kBufferTooSmall},
        {"buffers checked before the length", 32, 18, 60,
         cfgblock::SerialItemsResult::kBufferTooSmall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes descriptors(c.descriptorsSize, 0xDE);
        Bytes data(c.dataSize, 0xDE);
        EXPECT_EQ(cfgblock::WriteSerialItems(serial32.c_str(), c.length, descriptors.data(),
                                             descriptors.size(), data.data(), data.size()),
                  c.result);
        if (c.result == cfgblock::SerialItemsResult::kOk) {
            EXPECT_EQ(data[2], c.length);
            EXPECT_EQ(data[5], 2 * c.length + 2);
            EXPECT_EQ(Bytes(descriptors.end() - 3, descriptors.end()),
                      (Bytes{0x40, 0x18, static_cast<uint8_t>(2 * c.length + 4)}));
        } else {
            EXPECT_EQ(descriptors, Bytes(c.descriptorsSize, 0xDE));
            EXPECT_EQ(data, Bytes(c.dataSize, 0xDE));
        }
    }
}
