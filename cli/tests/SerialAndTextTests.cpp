// Serial numbers (from the UUID, from the counter) and the names zrvcli
// prints for hubs and codes.
#include <gtest/gtest.h>

#include "HubText.h"
#include "SerialSource.h"
#include "TextTable.h"

namespace {

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(SerialSource, UuidSerialIsItsLastFiveBytesInLowerCaseHex) {
    uint8_t uuid[16];
    for (int i = 0; i < 16; ++i) uuid[i] = static_cast<uint8_t>(0xF0 + i);
    uuid[11] = 0x0A;
    EXPECT_EQ(SerialFromUuid(uuid, 16), L"0afcfdfeff");
    EXPECT_EQ(SerialFromUuid(uuid, 15), L"") << "a short UUID makes no serial";
    EXPECT_EQ(SerialFromUuid(nullptr, 16), L"");
}

TEST(SerialSource, TheCounterHandsOutEveryValueOnceUpToItsMaximum) {
    struct Case {
        const char* name;
        SerialCounterOptions options;
        std::vector<std::wstring> serials;  // then exhausted
    } cases[] = {
        {"decimal, prefix",
         {L"QZ", L"098", L"101", 1, false},
         {L"QZ098", L"QZ099", L"QZ100", L"QZ101"}},
        {"step 5 stops before passing the maximum",
         {L"", L"10", L"24", 5, false},
         {L"10", L"15", L"20"}},
        {"hex", {L"H", L"FE", L"FF", 1, true}, {L"HFE", L"HFF"}},
        {"spaces around the prefix are dropped", {L" A ", L"9", L"9", 1, false}, {L"A9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSerialCounter counter(c.options);
        std::wstring serial;
        for (const std::wstring& expected : c.serials) {
            ASSERT_TRUE(counter.Next(serial));
            EXPECT_EQ(serial, expected);
        }
        EXPECT_FALSE(counter.Next(serial)) << Narrow(serial);
        EXPECT_EQ(serial, L"");
        EXPECT_FALSE(counter.Next(serial)) << "stays exhausted";
    }
}

TEST(HubText, PartNamesFromInstanceIdsAndPaths) {
    struct Case {
        const wchar_t* id;
        const wchar_t* name;
    } cases[] = {
        {L"USB\\VID_3B9A&PID_6104\\A1000001", L"KX610x"},
        {L"\\\\?\\USB#VID_3B9A&PID_6107#A1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", L"KX610x"},
        {L"USB\\VID_3B9A&PID_7104\\B2", L"KX710x"},
        {L"USB\\VID_3b9a&PID_9224\\B2", L"KX9224"},
        {L"USB\\VID_3B9A&PID_7100\\B2", L"VARN-7100"},
        {L"USB\\VID_05E3&PID_0608\\5&1", L"05E3-0608"},
        {L"ROOT\\HUB", L"0000-0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.id));
        EXPECT_EQ(PartName(c.id), c.name);
    }
}

TEST(HubText, OnlyProgrammedOrVerifiedCountsAsSuccess) {
    for (int32_t status = -1; status <= 15; ++status) {
        SCOPED_TRACE(status);
        EXPECT_EQ(IsSuccessStatus(status), status == 3 || status == 5 || status == 7);
    }
    EXPECT_EQ(HubStatusName(13), L"ERROR: OTP already Programmed maximum times");
    EXPECT_EQ(HubStatusName(14), L"Unknown");
    EXPECT_EQ(ResultName(-12), L"RESULT_VERIFY_MISMATCH");
    EXPECT_EQ(ResultName(-2), L"-2");
}

TEST(TextTable, ColumnsLineUpUnderAnUnderlinedHeader) {
    EXPECT_EQ(FormatTable({{L"Pos", L"Status"}, {L"1-1-2-3", L"ok"}, {L"1-1", L"Failed Verify"}}),
              L"Pos      Status\n"
              L"-------  -------------\n"
              L"1-1-2-3  ok\n"
              L"1-1      Failed Verify\n");
}

}  // namespace
