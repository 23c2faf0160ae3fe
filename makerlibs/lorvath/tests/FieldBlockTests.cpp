// Selected fields to block bytes and a block back to field values.
#include <gtest/gtest.h>

#include "FieldBlock.h"

namespace lorvath {
namespace {

Field MakeField(const std::string& name, const std::string& type, const std::string& size,
                const std::string& address, const std::string& value, const std::string& program) {
    Field field;
    field.name = name;
    field.attributes = {{"type", type},
                        {"datasize", size},
                        {"address", address},
                        {"value", value},
                        {"program", program}};
    return field;
}

FieldSet SampleFields() {
    Field radio = MakeField("Switching", "option", "1", "0x3008", "Individual", "yes");
    radio.options = {{"Ganged", "0"}, {"Individual", "1"}};
    return {MakeField("Vid", "hex", "2", "0x3000", "0x2D3A", "Yes"),
            MakeField("Name", "string", "8", "0x3100", "Hub", "No"), radio,
            MakeField("Word", "hex", "4", "0x3020", "0x01020304", "Yes")};
}

const std::vector<uint8_t> kSampleBlock = {'C',  'F',  'G',  'B',  3,  // signature, three items
                                           0x40, 0x08, 0x04,           // 0x801, 4 bytes
                                           0x40, 0x00, 0x03,           // 0x800, 3 bytes
                                           0x40, 0x10, 0x06,           // 0x802, 6 bytes
                                           0x30, 0x00, 0x2D, 0x3A,     // Vid
                                           0x30, 0x08, 0x01,           // Switching: Individual
                                           0x30, 0x20, 0x01, 0x02, 0x03, 0x04};  // Word

TEST(FieldBlock, SelectedFieldsBecomeItemsInFieldOrder) {
    std::vector<uint8_t> block;
    std::string error;
    ASSERT_EQ(BuildResult::Built, BuildFieldBlock(SampleFields(), block, error)) << error;
    EXPECT_EQ(kSampleBlock, block);
}

TEST(FieldBlock, StringItemCarriesItsLengthAndUtf16Text) {
    FieldSet fields = {MakeField("Name", "string", "8", "0x3100", "Hub", "Yes")};
    std::vector<uint8_t> block;
    std::string error;
    ASSERT_EQ(BuildResult::Built, BuildFieldBlock(fields, block, error));
    const std::vector<uint8_t> expected = {'C',  'F',  'G',  'B', 1, 0x40, 0x18, 0x0A, 0x31,
                                           0x00, 0x00, 0x06, 'H', 0, 'u',  0,    'b',  0};
    EXPECT_EQ(expected, block);
}

TEST(FieldBlock, NothingSelectedAndInvalidValuesAreTold) {
    FieldSet none = SampleFields();
    for (Field& field : none) field.Set("program", "No");
    std::vector<uint8_t> block = {0xEE};
    std::string error;
    EXPECT_EQ(BuildResult::NothingSelected, BuildFieldBlock(none, block, error));
    EXPECT_EQ(std::vector<uint8_t>{0xEE}, block);

    FieldSet bad = SampleFields();
    bad[0].Set("value", "0xZZ");
    EXPECT_EQ(BuildResult::Invalid, BuildFieldBlock(bad, block, error));
    EXPECT_EQ("Field Vid: \"0xZZ\" is not a valid value", error);
}

TEST(FieldBlock, BlockGivesValuesAndSelection) {
    FieldSet fields = SampleFields();
    fields[0].Set("value", "0x0000");
    fields[2].Set("value", "Ganged");
    fields[1].Set("program", "Yes");
    std::string error;
    ASSERT_TRUE(ApplyFieldBlock(fields, kSampleBlock.data(), kSampleBlock.size(), error)) << error;
    EXPECT_EQ("0x2D3A", *fields[0].Find("value"));
    EXPECT_EQ("Individual", *fields[2].Find("value"));
    EXPECT_EQ("0x01020304", *fields[3].Find("value"));
    const char* programs[] = {"Yes", "No", "Yes", "Yes"};
    for (size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(programs[i], *fields[i].Find("program"));
    EXPECT_EQ("Hub", *fields[1].Find("value")) << "a field the block does not set keeps its value";
}

TEST(FieldBlock, BadBlocksLeaveTheFieldsAlone) {
    auto withByte = [](size_t offset, uint8_t value) {
        std::vector<uint8_t> block = kSampleBlock;
        block[offset] = value;
        return block;
    };
    std::vector<uint8_t> longer = kSampleBlock;
    longer.push_back(0);
    const struct {
        std::vector<uint8_t> block;
        const char* expected;
    } cases[] = {
        {withByte(3, 'X'), "no CFGB signature"},
        {longer, "size does not match"},
        {std::vector<uint8_t>(kSampleBlock.begin(), kSampleBlock.end() - 1), "size does not match"},
        {withByte(14, 0x31), "register 0x3100 (item type 0x801)"},
        {withByte(20, 0x05), "value for field Switching is not valid"},
        {{'c', 'f', 'g', 'b', 2, 0x40, 0x00, 0x03, 0x40, 0x00, 0x03, 0x30, 0x08, 0, 0x30, 0x08, 1},
         "field Switching twice"},
    };
    for (const auto& c : cases) {
        FieldSet fields = SampleFields();
        const FieldSet before = fields;
        std::string error;
        EXPECT_FALSE(ApplyFieldBlock(fields, c.block.data(), c.block.size(), error)) << c.expected;
        EXPECT_NE(std::string::npos, error.find(c.expected)) << error;
        EXPECT_EQ(*before[0].Find("value"), *fields[0].Find("value"));
        EXPECT_EQ(*before[1].Find("program"), *fields[1].Find("program"));
    }
}

}  // namespace
}  // namespace lorvath
