// Lorvath.dll through its exports, as the editor calls it: templates load,
// values are checked and stored, XML becomes a configuration block and back.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Lorvath.h"

namespace {

std::string TemplatePath(const std::string& part) {
    return "Z:" + std::string(ZRV_TEMPLATE_DIR) + "/" + part + ".xml";
}

// Files of one test in a fresh folder beside the test program's working directory.
class Lorvath : public ::testing::Test {
protected:
    void SetUp() override {
        char full[MAX_PATH];
        GetFullPathNameA("lorvath-work", MAX_PATH, full, nullptr);
        folder_ = full;
        Clear();
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override { Clear(); }

    std::string Path(const char* name) const { return folder_ + "\\" + name; }

    std::string WriteText(const char* name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }

    static std::vector<uint8_t> ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    static int IndexOf(const char* name) {
        char text[LORVATH_TEXT_SIZE];
        for (int i = 0; i < GetFieldCount(); ++i) {
            GetFieldName(i, text);
            if (std::string(text) == name) return i;
        }
        ADD_FAILURE() << "no field " << name;
        return -1;
    }

    static void SelectOnly(const std::vector<const char*>& names) {
        for (int i = 0; i < GetFieldCount(); ++i)
            ASSERT_NE(0, SetFieldSubchildren("program", i, "No"));
        for (const char* name : names)
            ASSERT_NE(0, SetFieldSubchildren("program", IndexOf(name), "Yes"));
    }

private:
    void Clear() const {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((folder_ + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileA((folder_ + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(folder_.c_str());
    }

    std::string folder_;
};

const char kSmallTemplate[] =
    "<?xml version=\"1.0\"?>\r\n<Configuration part=\"TEST\">"
    "<Vid><display>Yes</display><displaystrings>Vendor ID</displaystrings>"
    "<displaytype>editbox</displaytype><type>hex</type><datasize>2</datasize>"
    "<address>0x3000</address><value>0x2D3A</value><program>Yes</program></Vid>"
    "<Name><display>Yes</display><displaystrings>Name</displaystrings>"
    "<displaytype>editbox</displaytype><type>string</type><datasize>8</datasize>"
    "<address>0x3100</address><value>Hub</value><program>Yes</program>"
    "<HELP>Product name</HELP></Name>"
    "</Configuration>";

TEST_F(Lorvath, EveryPartTemplateLoads) {
    const char* parts[] = {"KX7102", "KX7103", "KX7104",  "KX8213",  "KX8413",  "KX9124",
                           "KX9204", "KX9224", "KX6102B", "KX6103B", "KX6104B", "KX6107B"};
    for (const char* part : parts) {
        char error[LORVATH_TEXT_SIZE] = "";
        EXPECT_NE(0, LoadXML(TemplatePath(part).c_str(), error)) << part << ": " << error;
        EXPECT_GE(GetFieldCount(), 15) << part;
        for (int i = 0; i < GetFieldCount(); ++i) {
            EXPECT_STRNE("", GetFieldSubchildren("HELP", i)) << part << " field " << i;
        }
    }
}

TEST_F(Lorvath, FieldsAttributesAndOptionsOfATemplate) {
    char error[LORVATH_TEXT_SIZE] = "";
    ASSERT_NE(0, LoadXML(TemplatePath("KX6102B").c_str(), error)) << error;
    EXPECT_EQ(15, GetFieldCount());
    char name[LORVATH_TEXT_SIZE] = "sentinel";
    GetFieldName(0, name);
    EXPECT_STREQ("VendorID", name);
    EXPECT_STREQ("Vendor ID", GetFieldSubchildren("displaystrings", 0));
    EXPECT_STREQ("editbox", GetFieldSubchildren("DISPLAYTYPE", 0));
    EXPECT_STREQ("0x2D3A", GetFieldSubchildren("value", 0));
    EXPECT_STREQ("", GetFieldSubchildren("nosuchattribute", 0));
    EXPECT_STREQ("No", GetFieldSubchildren("display", IndexOf("ConfigRevision")));

    std::vector<char> options(LORVATH_MAX_OPTIONS * LORVATH_OPTION_SIZE, '\x7f');
    const int radio = IndexOf("PowerSwitching");
    ASSERT_EQ(3, GetDisplayOptions(radio, options.data()));
    EXPECT_STREQ("Ganged", &options[0]);
    EXPECT_STREQ("Individual", &options[LORVATH_OPTION_SIZE]);
    EXPECT_STREQ("Always On", &options[2 * LORVATH_OPTION_SIZE]);
    EXPECT_EQ('\x7f', options[3 * LORVATH_OPTION_SIZE]) << "nothing past the last option";
    EXPECT_EQ(0, GetDisplayOptions(0, options.data())) << "an edit field has no options";

    GetFieldName(GetFieldCount(), name);
    EXPECT_STREQ("", name);
    EXPECT_STREQ("", GetFieldSubchildren("value", -1));
}

TEST_F(Lorvath, ValuesAreCheckedBeforeTheyAreStored) {
    char error[LORVATH_TEXT_SIZE] = "";
    ASSERT_NE(0, LoadXML(TemplatePath("KX6104B").c_str(), error)) << error;
    const struct {
        const char* field;
        const char* attribute;
        const char* text;
        const char* stored;  // null: refused, the old text stays
    } cases[] = {
        {"VendorID", "value", "0x1234", "0x1234"},
        {"VendorID", "value", "0x12345", nullptr},
        {"VendorID", "value", "hello", nullptr},
        {"MaxPower", "value", "250", "250"},
        {"MaxPower", "value", "251", nullptr},
        {"ProductString", "value", "A & B <Hub>", "A & B <Hub>"},
        {"ProductString", "value", "A string that is longer than 31 chars", nullptr},
        {"PowerSwitching", "value", "ganged", "Ganged"},
        {"PowerSwitching", "value", "Sometimes", nullptr},
        {"SelfPowered", "value", "DISABLE", "Disable"},
        {"SelfPowered", "value", "Yes", nullptr},
        {"VendorID", "program", "no", "No"},
        {"VendorID", "program", "Maybe", nullptr},
        {"VendorID", "address", "0x0000", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.field) + "." + c.attribute + " = " + c.text);
        const int index = IndexOf(c.field);
        const std::string before = GetFieldSubchildren(c.attribute, index);
        const int result = SetFieldSubchildren(c.attribute, index, c.text);
        EXPECT_EQ(c.stored != nullptr, result != 0);
        EXPECT_EQ(c.stored ? c.stored : before, GetFieldSubchildren(c.attribute, index));
    }
    EXPECT_EQ(0, SetFieldSubchildren("value", GetFieldCount(), "0x1"));
}

TEST_F(Lorvath, SelectedFieldsBecomeAConfigurationBlock) {
    char error[LORVATH_TEXT_SIZE] = "";
    ASSERT_NE(0, LoadXML(WriteText("small.xml", kSmallTemplate).c_str(), error)) << error;
    ASSERT_NE(0, SetFieldSubchildren("value", 0, "0xBEEF"));
    ASSERT_NE(0, SaveXMLTemplate(Path("small_saved.xml").c_str()));
    ASSERT_NE(0,
              Convert_XML_to_BIN(Path("small_saved.xml").c_str(), Path("out.cfg").c_str(), error))
        << error;
    const std::vector<uint8_t> expected = {'C',  'F',  'G',  'B',  2,    0x40, 0x08, 0x04, 0x40,
                                           0x18, 0x0A, 0x30, 0x00, 0xBE, 0xEF, 0x31, 0x00, 0x00,
                                           0x06, 'H',  0,    'u',  0,    'b',  0};
    EXPECT_EQ(expected, ReadBytes(Path("out.cfg")));
}

TEST_F(Lorvath, SavedValuesSurviveTheFileAndTheBlock) {
    char error[LORVATH_TEXT_SIZE] = "";
    const std::string part = TemplatePath("KX9224");
    ASSERT_NE(0, LoadXML(part.c_str(), error)) << error;
    SelectOnly({"VendorID", "ProductString", "PowerSwitching", "SelfPowered", "MaxPower"});
    ASSERT_NE(0, SetFieldSubchildren("value", IndexOf("VendorID"), "0x0A0B"));
    ASSERT_NE(0, SetFieldSubchildren("value", IndexOf("ProductString"), "Q&A <Hub> \"7\""));
    ASSERT_NE(0, SetFieldSubchildren("value", IndexOf("PowerSwitching"), "Always On"));
    ASSERT_NE(0, SetFieldSubchildren("value", IndexOf("SelfPowered"), "Disable"));
    ASSERT_NE(0, SetFieldSubchildren("value", IndexOf("MaxPower"), "7"));
    ASSERT_NE(0, SaveXMLTemplate(Path("A.bin_intrmediatte.xml").c_str()));

    // The saved XML reads back as it was set, markup characters included.
    ASSERT_NE(0, LoadXML(Path("A.bin_intrmediatte.xml").c_str(), error)) << error;
    EXPECT_STREQ("Q&A <Hub> \"7\"", GetFieldSubchildren("value", IndexOf("ProductString")));
    EXPECT_STREQ("0x0A0B", GetFieldSubchildren("value", IndexOf("VendorID")));

    ASSERT_NE(
        0, Convert_XML_to_BIN(Path("A.bin_intrmediatte.xml").c_str(), Path("A.bin").c_str(), error))
        << error;
    ASSERT_NE(
        0, Convert_BIN_to_XML(Path("A.bin").c_str(), part.c_str(), Path("view.xml").c_str(), error))
        << error;
    ASSERT_NE(0, LoadXML(Path("view.xml").c_str(), error)) << error;
    const struct {
        const char* field;
        const char* value;
        const char* program;
    } expected[] = {
        {"VendorID", "0x0A0B", "Yes"},
        {"ProductString", "Q&A <Hub> \"7\"", "Yes"},
        {"PowerSwitching", "Always On", "Yes"},
        {"SelfPowered", "Disable", "Yes"},
        {"MaxPower", "7", "Yes"},
        {"ProductID", "0x9224", "No"},
        {"ConfigRevision", "0x01", "No"},
    };
    for (const auto& e : expected) {
        EXPECT_STREQ(e.value, GetFieldSubchildren("value", IndexOf(e.field))) << e.field;
        EXPECT_STREQ(e.program, GetFieldSubchildren("program", IndexOf(e.field))) << e.field;
    }
}

TEST_F(Lorvath, LoadFailuresSayWhyAndLeaveNoFieldSet) {
    const std::string missing = Path("missing.xml");
    const struct {
        std::string path;
        const char* expected;  // part of the message
    } cases[] = {
        {missing, "Cannot open"},
        {WriteText("broken.xml", "<Configuration><Vid></Configuration>"), "Cannot read"},
        {WriteText("nofields.xml", "<Configuration><Vid><value>1</value></Vid></Configuration>"),
         "Field Vid: no \"display\" element"},
        {"", "No file name given"},
    };
    for (const auto& c : cases) {
        char error[LORVATH_TEXT_SIZE] = "";
        ASSERT_NE(0, LoadXML(TemplatePath("KX7102").c_str(), error));
        EXPECT_EQ(0, LoadXML(c.path.c_str(), error)) << c.path;
        EXPECT_NE(nullptr, strstr(error, c.expected)) << error;
        EXPECT_EQ(0, GetFieldCount()) << c.path;
    }
    char error[LORVATH_TEXT_SIZE] = "";
    EXPECT_EQ(0, LoadXML(missing.c_str(), error));
    EXPECT_NE(nullptr, strstr(error, missing.c_str())) << "the message names the file: " << error;
}

TEST_F(Lorvath, ExternalEntitiesAreNotRead) {
    WriteText("secret.txt", "SECRET");
    std::string text = kSmallTemplate;
    text.replace(text.find("<Configuration"), 0,
                 "<!DOCTYPE Configuration [<!ENTITY e SYSTEM \"secret.txt\">]>");
    text.replace(text.find(">Name</displaystrings>"), 5, ">&e;");
    char error[LORVATH_TEXT_SIZE] = "";
    if (LoadXML(WriteText("entity.xml", text).c_str(), error) != 0) {
        EXPECT_EQ(nullptr, strstr(GetFieldSubchildren("displaystrings", 1), "SECRET"));
    }
}

TEST_F(Lorvath, ConversionFailures) {
    char error[LORVATH_TEXT_SIZE] = "None";
    const std::string small = WriteText("small.xml", kSmallTemplate);
    ASSERT_NE(0, LoadXML(small.c_str(), error));
    SelectOnly({});
    ASSERT_NE(0, SaveXMLTemplate(Path("none.xml").c_str()));
    EXPECT_EQ(0, Convert_XML_to_BIN(Path("none.xml").c_str(), Path("none.cfg").c_str(), error));
    EXPECT_STREQ("None", error) << "nothing selected leaves the caller's text";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("none.cfg").c_str()));

    EXPECT_EQ(0, Convert_XML_to_BIN(small.c_str(), Path("no\\such\\folder.cfg").c_str(), error));
    EXPECT_NE(nullptr, strstr(error, "Cannot create")) << error;

    const struct {
        std::string file;
        const char* expected;
    } decodes[] = {
        {WriteText("text.cfg", "not a block"), "no CFGB signature"},
        {WriteText("short.cfg", std::string("CFGB\x01\x40\x08\x04\x30", 9)), "size does not match"},
        {WriteText("foreign.cfg", std::string("CFGB\x01\x40\x00\x03\x50\x50\x01", 11)),
         "register 0x5050"},
        {Path("missing.cfg"), "Cannot open"},
    };
    for (const auto& d : decodes) {
        EXPECT_EQ(0,
                  Convert_BIN_to_XML(d.file.c_str(), small.c_str(), Path("v.xml").c_str(), error));
        EXPECT_NE(nullptr, strstr(error, d.expected)) << error;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("v.xml").c_str()));
    }
}

}  // namespace
