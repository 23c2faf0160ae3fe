// The production record's text: CSV quoting, the line layout and what an
// existing file needs before a run appends (a torn last line is cut).
#include <gtest/gtest.h>

#include <algorithm>

#include "ProductionRecord.h"

namespace {

TEST(ProductionRecord, FieldsAreQuotedOnlyWhereCsvNeedsIt) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"1-1-2", "1-1-2"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"=cmd()", "\"=cmd()\""},
        {"+1", "\"+1\""},
        {"@x", "\"@x\""},
        {"-3", "\"-3\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(CsvField(c.in), c.out);
    }
}

TEST(ProductionRecord, OneLinePerHubWithTheHeadersColumns) {
    RecordEntry e;
    e.timeUtc = FormatUtcTime(2026, 12, 10, 7, 5, 9, 42);
    e.position = L"1-1-2";
    e.hubPath = L"\\\\?\\USB#VID_3B9A&PID_6104#A1,01#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    e.family = L"first";
    e.uuid = L"00112233445566778899AABBCCDDEEFF";
    e.serial = L"QZ\u00e9001";
    e.storageMode = L"otp";
    e.status = 7;
    e.statusText = L"Programmed and Verified Successfully";
    e.result = -12;
    e.durationMs = 1234;
    EXPECT_EQ(FormatRecordLine(e),
              "2026-12-10T07:05:09.042Z,1-1-2,"
              "\"\\\\?\\USB#VID_3B9A&PID_6104#A1,01#{f18a0e88-c30c-11d0-8815-00a0c906bed8}\","
              "first,00112233445566778899AABBCCDDEEFF,QZ\xc3\xa9"
              "001,otp,7,Programmed and Verified Successfully,-12,1234\r\n");
    // As many fields as the header names.
    const std::string header = kRecordHeader;
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), 10);
}

TEST(ProductionRecord, AnExistingFileIsPlannedBeforeAppending) {
    const std::string header = kRecordHeader;
    const std::string line = "2026-12-10T07:05:09.042Z,1-1-2,p,first,,,otp,3,x,0,5\r\n";
    struct Case {
        const char* name;
        std::string content;
        bool ok;
        uint64_t keep;
        bool writeHeader;
    } cases[] = {
        {"new file", "", true, 0, true},
        {"header only", header, true, header.size(), false},
        {"whole lines", header + line + line, true, header.size() + 2 * line.size(), false},
        {"a torn last line is cut", header + line + line.substr(0, 20), true,
         header.size() + line.size(), false},
        {"a line torn before its LF", header + line.substr(0, line.size() - 1), true, header.size(),
         false},
        {"a torn header is begun again", header.substr(0, 9), true, 0, true},
        {"another header", "name,value\r\n", false, 0, false},
        {"another text without line feed", "hello", false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordPlan plan = PlanRecordAppend(c.content, c.content, c.content.size());
        EXPECT_EQ(plan.ok, c.ok) << plan.error;
        if (!c.ok) {
            EXPECT_FALSE(plan.error.empty());
            continue;
        }
        EXPECT_EQ(plan.keepBytes, c.keep);
        EXPECT_EQ(plan.writeHeader, c.writeHeader);
    }
}

TEST(ProductionRecord, OnlyTheTailIsNeededToFindTheLastWholeLine) {
    const std::string header = kRecordHeader;
    const std::string line = "2026-12-10T07:05:09.042Z,1-1-2,p,first,,,otp,3,x,0,5\r\n";
    std::string content = header;
    for (int i = 0; i < 100; ++i) content += line;
    content += "2026-12";
    const std::string tail = content.substr(content.size() - 100);
    const RecordPlan plan =
        PlanRecordAppend(content.substr(0, header.size()), tail, content.size());
    ASSERT_TRUE(plan.ok) << plan.error;
    EXPECT_EQ(plan.keepBytes, content.size() - 7);
    // A tail window without any line feed in a longer file: no guessing.
    EXPECT_FALSE(PlanRecordAppend(header, "abc", 1000).ok);
}

}  // namespace
