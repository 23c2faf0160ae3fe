// Value texts against item bytes for each kind of field, and the checks a
// loaded field set must pass.
#include <gtest/gtest.h>

#include "FieldEncoding.h"

namespace lorvath {
namespace {

Field MakeField(const std::string& name, const std::string& type, const std::string& size,
                const std::string& address, const std::string& display = "editbox") {
    Field field;
    field.name = name;
    field.attributes = {{"display", "Yes"}, {"displaystrings", name}, {"displaytype", display},
                        {"type", type},     {"datasize", size},       {"address", address},
                        {"program", "Yes"}};
    return field;
}

FieldEncoding Encoding(const Field& field) {
    std::string error;
    const std::optional<FieldEncoding> encoding = ReadEncoding(field, error);
    EXPECT_TRUE(encoding.has_value()) << field.name << ": " << error;
    return encoding.value_or(FieldEncoding());
}

Field Radio() {
    Field field = MakeField("Switching", "option", "1", "0x3008", "radiobutton");
    field.options = {{"Ganged", "0x00"}, {"Individual", "0x01"}, {"Always On", "2"}};
    return field;
}

TEST(FieldEncoding, ValueTextsToItemBytes) {
    Field decimal = MakeField("Power", "decimal", "1", "3007");
    decimal.Set("min", "1");
    decimal.Set("max", "250");
    const Field hex2 = MakeField("Vid", "hex", "2", "0x3000");
    const Field hex4 = MakeField("Word", "hex", "4", "0x3020");
    const Field flag = MakeField("Self", "flag", "1", "0x3006", "checkbox");
    const Field text = MakeField("Name", "string", "4", "0x3100");
    const Field radio = Radio();
    const struct {
        const Field* field;
        const char* text;
        std::vector<uint8_t> bytes;  // empty: refused
    } cases[] = {
        {&hex2, "0x2D3A", {0x2D, 0x3A}},
        {&hex2, "2d3a", {0x2D, 0x3A}},
        {&hex2, " 0X00ff ", {0x00, 0xFF}},
        {&hex2, "0x10000", {}},
        {&hex2, "0x", {}},
        {&hex2, "12G4", {}},
        {&hex2, "", {}},
        {&hex4, "0xDEADBEEF", {0xDE, 0xAD, 0xBE, 0xEF}},
        {&hex4, "0xFFFFFFFFFFFFFFFFFFFF", {}},
        {&decimal, "250", {250}},
        {&decimal, "1", {1}},
        {&decimal, "0", {}},
        {&decimal, "251", {}},
        {&decimal, "0x10", {16}},
        {&decimal, "-1", {}},
        {&decimal, "1a", {}},
        {&flag, "Enable", {1}},
        {&flag, "disable", {0}},
        {&flag, "On", {}},
        {&radio, "individual", {1}},
        {&radio, "Always On", {2}},
        {&radio, "Never", {}},
        {&text, "Hub", {0x00, 0x06, 'H', 0, 'u', 0, 'b', 0}},
        {&text, "", {0x00, 0x00}},
        {&text, "Hubs!", {}},
        {&text, "H\tb", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field->name + " \"" + c.text + "\"");
        const std::optional<std::vector<uint8_t>> bytes = EncodeValue(Encoding(*c.field), c.text);
        if (c.bytes.empty()) {
            EXPECT_FALSE(bytes.has_value());
        } else {
            ASSERT_TRUE(bytes.has_value());
            EXPECT_EQ(c.bytes, *bytes);
        }
    }
}

TEST(FieldEncoding, ItemBytesBackToTheTextsShown) {
    const Field hex2 = MakeField("Vid", "hex", "2", "0x3000");
    const Field flag = MakeField("Self", "flag", "1", "0x3006", "checkbox");
    const Field text = MakeField("Name", "string", "4", "0x3100");
    const Field radio = Radio();
    const struct {
        const Field* field;
        std::vector<uint8_t> bytes;
        const char* text;  // null: not a value of the field
    } cases[] = {
        {&hex2, {0x00, 0x0A}, "0x000A"},
        {&hex2, {0x0A}, nullptr},
        {&flag, {1}, "Enable"},
        {&flag, {0}, "Disable"},
        {&flag, {2}, nullptr},
        {&radio, {2}, "Always On"},
        {&radio, {7}, nullptr},
        {&text, {0x00, 0x04, 'O', 0, 'K', 0}, "OK"},
        {&text, {0x00, 0x06, 'O', 0, 'K', 0}, nullptr},
        {&text, {0x00, 0x02, 'O', 1}, nullptr},
        {&text, {0x00, 0x0A, 'a', 0, 'b', 0, 'c', 0, 'd', 0, 'e', 0}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field->name);
        const std::optional<std::string> value =
            DecodeValue(Encoding(*c.field), c.bytes.data(), c.bytes.size());
        if (c.text == nullptr) {
            EXPECT_FALSE(value.has_value()) << *value;
        } else {
            EXPECT_EQ(c.text, value.value_or("(none)"));
        }
    }
}

TEST(FieldEncoding, ItemTypesAndRegisterSpans) {
    EXPECT_EQ(0x800, ItemType(Encoding(MakeField("a", "hex", "1", "0"))));
    EXPECT_EQ(0x801, ItemType(Encoding(MakeField("a", "decimal", "2", "0"))));
    EXPECT_EQ(0x802, ItemType(Encoding(MakeField("a", "hex", "4", "0"))));
    const FieldEncoding text = Encoding(MakeField("a", "string", "31", "0x3100"));
    EXPECT_EQ(0x803, ItemType(text));
    EXPECT_EQ(64u, RegisterSpan(text));
}

TEST(FieldEncoding, BrokenDescriptionsAreRefused) {
    Field noOptions = MakeField("Radio", "option", "1", "0x10", "radiobutton");
    Field badCode = Radio();
    badCode.options[1].code = "0x100";
    Field twice = Radio();
    twice.options[2].text = "GANGED";
    Field badRange = MakeField("Dec", "decimal", "1", "0x10");
    badRange.Set("max", "300");
    const struct {
        Field field;
        const char* what;
    } cases[] = {
        {MakeField("a", "float", "1", "0x10"), "unknown type"},
        {MakeField("a", "hex", "3", "0x10"), "size 3"},
        {MakeField("a", "string", "0", "0x10"), "empty string"},
        {MakeField("a", "hex", "1", "0x10000"), "address beyond 16 bits"},
        {MakeField("a", "hex", "2", "0xFFFF"), "value runs past the last register"},
        {MakeField("a", "hex", "1", "zz"), "address not a number"},
        {noOptions, "radio without options"},
        {badCode, "option code too large"},
        {twice, "option text twice"},
        {badRange, "max beyond the data size"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ReadEncoding(c.field, error).has_value()) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

TEST(FieldSetCheck, AcceptsAGoodSetAndNamesWhatIsWrong) {
    Field vid = MakeField("Vid", "hex", "2", "0x3000");
    vid.Set("value", "0x1234");
    Field radio = Radio();
    radio.Set("value", "Ganged");
    EXPECT_EQ("", CheckFieldSet({vid, radio}));

    Field overlap = MakeField("Pid", "hex", "2", "0x3001");
    overlap.Set("value", "0x1");
    Field noValue = MakeField("Pid", "hex", "2", "0x3002");
    Field badProgram = vid;
    badProgram.Set("program", "Maybe");
    Field badValue = vid;
    badValue.Set("value", "0x12345");
    Field wrongDisplay = vid;
    wrongDisplay.Set("displaytype", "radiobutton");
    const struct {
        FieldSet fields;
        const char* expected;  // part of the message
    } cases[] = {
        {{vid, overlap}, "Fields Vid and Pid write the same registers"},
        {{noValue}, "Field Pid: no \"value\" element"},
        {{badProgram}, "\"program\" must be Yes or No"},
        {{badValue}, "\"0x12345\" is not a valid value"},
        {{wrongDisplay}, "does not suit type"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(std::string::npos, CheckFieldSet(c.fields).find(c.expected)) << c.expected;
    }
}

}  // namespace
}  // namespace lorvath
