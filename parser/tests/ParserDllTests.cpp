// Pellvane.dll driven as the tool drives it: loaded by name, CreateParser
// looked up by name, everything else through IParser only.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ByteConcat.h"
#include "GuardedBytes.h"
#include "IParser.h"

namespace {

Bytes Utf16(const std::string& ascii) {
    Bytes text;
    for (char c : ascii) text.insert(text.end(), {static_cast<uint8_t>(c), 0x00});
    return text;
}

const Bytes kInputDescriptors = {0x40, 0x00, 0x03, 0x40, 0x08, 0x04, 0x40, 0x18, 0x05};
const Bytes kInputData = {0x12, 0x34, 0x01, 0x12, 0x40, 0xAA, 0xBB, 0x30, 0x00, 0x01, 0x02, 0x03};
const Bytes kThreeItems = Concat({{'C', 'F', 'G', 'B', 3}, kInputDescriptors, kInputData});
const Bytes kFourByteDescriptors = {0x40, 0x00, 0x03, 0x40, 0x00, 0x03,
                                    0x40, 0x00, 0x03, 0x40, 0x00, 0x03};

const wchar_t kLogFile[] = L"ConfigParserLog.txt";

struct ParserDeleter {
    void operator()(IParser* parser) const { delete parser; }
};
using ParserPtr = std::unique_ptr<IParser, ParserDeleter>;

class ParserDll : public testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryW(L"Pellvane.dll");
        if (module_ != nullptr) {
            create_ = reinterpret_cast<CreateParserFn>(
                reinterpret_cast<void*>(GetProcAddress(module_, "CreateParser")));
        }
    }
    static void TearDownTestSuite() {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
        create_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "Pellvane.dll not found beside the test program";
        ASSERT_NE(create_, nullptr) << "CreateParser not exported";
        parser_.reset(create_(nullptr, 0, nullptr, 0, 0));
        ASSERT_NE(parser_, nullptr);
        logStart_ = LogText().size();
    }

    // Stores block + serial and returns the stored block fetched as the tool does.
    int32_t Set(const Bytes* block, const std::wstring* serial) {
        return parser_->SetConfigurationBlock(
            block ? block->data() : nullptr, block ? static_cast<uint32_t>(block->size()) : 0,
            serial ? serial->c_str() : nullptr, serial ? static_cast<uint32_t>(serial->size()) : 0);
    }

    Bytes Stored() {
        Bytes out(parser_->GetConfigBlockSize(), 0xDE);
        const int32_t copied =
            parser_->GetConfigBlock(static_cast<uint32_t>(out.size()), out.data());
        EXPECT_EQ(copied, static_cast<int32_t>(out.size()));
        return out;
    }

    static std::string LogText() {
        std::ifstream in(kLogFile, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Log lines written since the test started.
    std::string NewLog() const {
        const std::string all = LogText();
        return all.size() > logStart_ ? all.substr(logStart_) : std::string();
    }

    static HMODULE module_;
    static CreateParserFn create_;
    ParserPtr parser_;
    size_t logStart_ = 0;
};

HMODULE ParserDll::module_ = nullptr;
CreateParserFn ParserDll::create_ = nullptr;

}  // namespace

TEST_F(ParserDll, OnlyKindZeroCreatesAParser) {
    const std::wstring serial = L"123";
    ParserPtr withArguments(create_(kThreeItems.data(), static_cast<uint32_t>(kThreeItems.size()),
                                    serial.c_str(), 3, 0));
    ASSERT_NE(withArguments, nullptr);
    EXPECT_EQ(withArguments->GetConfigBlockSize(), 0u);  // arguments are not read
    EXPECT_EQ(create_(nullptr, 0, nullptr, 0, 1), nullptr);
    EXPECT_EQ(create_(nullptr, 0, nullptr, 0, -1), nullptr);
}

TEST_F(ParserDll, JoinsThreeItemsWithTenCharacterSerial) {
    const std::wstring serial = L"ABCDEFGHIJ";
    ASSERT_EQ(Set(&kThreeItems, &serial), 0);
    const Bytes serialDescriptors =
        Concat({kFourByteDescriptors, {0x40, 0x18, 0x18, 0x40, 0x18, 0x18}});
    const Bytes serialData = Concat({{0x30, 0x15, 0x0A, 0x50, 0xB4, 0x16, 0x50, 0x50, 0x01},
                                     {0x50, 0x14, 0x16, 0x30, 0x92, 0x00, 0x14},
                                     Utf16("ABCDEFGHIJ"),
                                     {0x50, 0xB6, 0x00, 0x14},
                                     Utf16("ABCDEFGHIJ")});
    EXPECT_EQ(parser_->GetConfigBlockSize(), kThreeItems.size() + 78);
    EXPECT_EQ(Stored(), Concat({{'C', 'F', 'G', 'B', 9},
                                kInputDescriptors,
                                serialDescriptors,
                                kInputData,
                                serialData}));
}

TEST_F(ParserDll, BuildsBlocksWithoutInputOrWithoutSerial) {
    const std::wstring one = L"Z";
    const Bytes oneCharacter = Concat({{'C', 'F', 'G', 'B', 6},
                                       kFourByteDescriptors,
                                       {0x40, 0x18, 0x06, 0x40, 0x18, 0x06},
                                       {0x30, 0x15, 0x01, 0x50, 0xB4, 0x04, 0x50, 0x50, 0x01},
                                       {0x50, 0x14, 0x04, 0x30, 0x92, 0x00, 0x02, 'Z', 0x00},
                                       {0x50, 0xB6, 0x00, 0x02, 'Z', 0x00}});
    const Bytes lowerCase = Concat({{'c', 'f', 'g', 'b', 3}, kInputDescriptors, kInputData});
    const Bytes headerOnly = {'c', 'f', 'g', 'b', 0};
    const std::wstring empty;

    struct Case {
        const char* name;
        const Bytes* block;
        const std::wstring* serial;
        Bytes expected;
    };
    const Case cases[] = {
        {"no block, one character", nullptr, &one, oneCharacter},
        {"block, no serial", &kThreeItems, nullptr, kThreeItems},
        {"block, empty serial", &lowerCase, &empty, lowerCase},
        {"header-only block gets a fresh header", &headerOnly, &one, oneCharacter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Set(c.block, c.serial), 0);
        EXPECT_EQ(Stored(), c.expected);
    }
    EXPECT_EQ(oneCharacter.size(), 47u);
    EXPECT_NE(NewLog().find("CMiravelParser::SetConfigurationBlock: Configuration block is not "
                            "present"),
              std::string::npos);
}

TEST_F(ParserDll, RefusedBlocksKeepTheStoredBlock) {
    const std::wstring serial31(31, L'7');
    ASSERT_EQ(Set(&kThreeItems, &serial31), 0);
    EXPECT_EQ(parser_->GetConfigBlockSize(), kThreeItems.size() + 18 + 4 * 31 + 20);
    const Bytes before = Stored();

    const std::wstring serial32(32, L'7');
    const std::wstring one = L"1";
    const std::wstring empty;
    const Bytes emptyBlock;
    const Bytes badSignature = Concat({{'C', 'F', 'G', 'X', 3}, kInputDescriptors, kInputData});
    const Bytes oversized = Concat({kThreeItems, {0x00}});
    Bytes tooManyItems = {'C', 'F', 'G', 'B', 250};
    for (int i = 0; i < 250; ++i) tooManyItems.insert(tooManyItems.end(), {0x40, 0x00, 0x00});

    struct Case {
        const char* name;
        const Bytes* block;
        const std::wstring* serial;
        int32_t result;
        const char* message;
    };
    const Case cases[] = {
        {"no block, no serial", nullptr, nullptr, -1,
         "SetConfigurationBlock: Serial number and cfg block is not present"},
        {"empty block, empty serial", &emptyBlock, &empty, -1,
         "SetConfigurationBlock: Serial number and cfg block is empty"},
        {"32 characters", &kThreeItems, &serial32, -2,
         "SetConfigurationBlock: Serial number length greater than 31"},
        {"bad signature", &badSignature, &one, -14,
         "ValidateConfigurationBlock: Invalid Config block Signature."},
        {"oversized block", &oversized, &one, -13,
         "ValidateConfigurationBlock: Mismatch in metadata and data size"},
        {"no room for the serial items", &tooManyItems, &one, -13,
         "SetConfigurationBlock: Too many items in cfg block to add the Serial number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t logBefore = LogText().size();
        EXPECT_EQ(Set(c.block, c.serial), c.result);
        EXPECT_EQ(Stored(), before);
        const std::string log = LogText().substr(logBefore);
        EXPECT_NE(log.find(std::string("CMiravelParser::") + c.message), std::string::npos) << log;
    }

    Bytes withoutSerial = tooManyItems;
    EXPECT_EQ(Set(&withoutSerial, nullptr), 0) << "250 items alone still fit";
}

TEST_F(ParserDll, ValidateConfigurationBlock) {
    const Bytes longItem = Concat({{'C', 'F', 'G', 'B', 1, 0x40, 0x1D, 0xA3}, Bytes(0x5A3, 0x5A)});
    // 255 items of 2047 bytes (522755 bytes), and 33 such items in the 2119 bytes that a
    // 16-bit sum of their lengths would ask for.
    Bytes largest = {'C', 'F', 'G', 'B', 255};
    for (int i = 0; i < 255; ++i) largest.insert(largest.end(), {0x40, 0x1F, 0xFF});
    largest.resize(5 + 3 * 255 + 255 * 2047, 0x5A);
    Bytes wrapsAt16Bits = {'C', 'F', 'G', 'B', 33};
    for (int i = 0; i < 33; ++i) wrapsAt16Bits.insert(wrapsAt16Bits.end(), {0x40, 0x1F, 0xFF});
    wrapsAt16Bits.resize(5 + 3 * 33 + 33 * 2047 - 65536, 0x5A);
    struct Case {
        const char* name;
        Bytes block;
        int32_t result;
    };
    const Case cases[] = {
        {"upper case", kThreeItems, 0},
        {"lower case", Concat({{'c', 'f', 'g', 'b', 3}, kInputDescriptors, kInputData}), 0},
        {"mixed case", Concat({{'C', 'f', 'G', 'b', 3}, kInputDescriptors, kInputData}), 0},
        {"fourth letter X", Concat({{'C', 'F', 'G', 'X', 3}, kInputDescriptors, kInputData}), -14},
        {"item length in bits 10..8", longItem, 0},
        {"length bits 10..8 missing", Bytes(longItem.begin(), longItem.begin() + 8 + 0xA3), -13},
        {"one byte short", Bytes(kThreeItems.begin(), kThreeItems.end() - 1), -13},
        {"one byte over", Concat({kThreeItems, {0x00}}), -13},
        {"descriptors cut", Bytes(kThreeItems.begin(), kThreeItems.begin() + 10), -13},
        {"count 255, nothing else", {'C', 'F', 'G', 'B', 255}, -13},
        {"255 items of 2047 bytes", largest, 0},
        {"255 items of 2047 bytes, one byte over", Concat({largest, {0x00}}), -13},
        {"lengths summing past 16 bits", wrapsAt16Bits, -13},
        {"header only", {'C', 'F', 'G', 'B', 0}, 0},
        {"signature only", {'C', 'F', 'G', 'B'}, -13},
        {"three bytes", {'C', 'F', 'G'}, -13},
        {"empty", {}, -13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CGuardedBytes block(c.block);
        EXPECT_EQ(
            parser_->ValidateConfigurationBlock(block.data(), static_cast<uint32_t>(block.size())),
            c.result);
    }
    EXPECT_EQ(parser_->ValidateConfigurationBlock(nullptr, 0), -13);
}

TEST_F(ParserDll, ValidateFirmwareImage) {
    struct Case {
        const char* name;
        size_t size;
        const char* tag;
        int32_t result;
    };
    const Case cases[] = {
        {"65535 bytes", 65535, "2DFU", 0},
        {"65536 bytes", 65536, "2DFU", -13},
        {"65535 bytes, lower-case tag", 65535, "2dfu", -14},
        {"65535 bytes, no tag", 65535, "\xFF\xFF\xFF\xFF", -14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image(c.size, 0xFF);
        std::copy(c.tag, c.tag + 4, image.begin() + 0xFFFA);
        const CGuardedBytes guarded(image);
        EXPECT_EQ(
            parser_->ValidateFirmwareImage(guarded.data(), static_cast<uint32_t>(guarded.size())),
            c.result);
    }
    EXPECT_EQ(NewLog().find(": "), std::string::npos) << "image checks log no messages";
}

TEST_F(ParserDll, GetConfigBlockNeedsRoomForTheWholeBlock) {
    const std::wstring serial = L"42";
    ASSERT_EQ(Set(&kThreeItems, &serial), 0);
    const uint32_t size = parser_->GetConfigBlockSize();
    Bytes buffer(size, 0xDE);
    EXPECT_EQ(parser_->GetConfigBlock(size - 1, buffer.data()), -1);
    EXPECT_EQ(buffer, Bytes(size, 0xDE));
    EXPECT_NE(NewLog().find("CMiravelParser::GetConfigBlock: Buffer not enough to hold the "
                            "Configuration Block"),
              std::string::npos);
    buffer.push_back(0xDE);
    EXPECT_EQ(parser_->GetConfigBlock(size + 1, buffer.data()), static_cast<int32_t>(size));
    EXPECT_EQ(buffer.back(), 0xDE);
}

TEST_F(ParserDll, NothingStoredAndNoItemEnumeration) {
    EXPECT_EQ(parser_->GetConfigBlockSize(), 0u);
    EXPECT_EQ(parser_->GetConfigBlock(0, nullptr), 0);
    ConfigurationItem* items = nullptr;
    uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(parser_->GetConfigurationItems(&items, &count), -1);
    EXPECT_EQ(count, 0xDEADBEEFu);
}
