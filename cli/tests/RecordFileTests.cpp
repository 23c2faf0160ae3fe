// The record file on disk: a header once, appends across runs, a torn line
// from a crash cut off, and files that cannot be used refused up front.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

#include "RecordFile.h"

namespace {

std::string Read(const wchar_t* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const wchar_t* path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

RecordEntry Entry(const wchar_t* position) {
    RecordEntry e;
    e.timeUtc = L"2026-12-10T07:05:09.042Z";
    e.position = position;
    e.hubPath = L"p";
    e.family = L"first";
    e.storageMode = L"otp";
    e.status = 3;
    e.statusText = L"Programmed Successfully";
    return e;
}

TEST(RecordFile, RunsAppendUnderOneHeader) {
    DeleteFileW(L"record-append.csv");
    std::wstring error;
    for (const wchar_t* position : {L"1-1-2", L"1-1-3"}) {
        CRecordFile record;
        ASSERT_TRUE(record.Open(L"record-append.csv", error))
            << std::string(error.begin(), error.end());
        ASSERT_TRUE(record.Append(Entry(position), error));
    }
    EXPECT_EQ(Read(L"record-append.csv"), kRecordHeader + FormatRecordLine(Entry(L"1-1-2")) +
                                              FormatRecordLine(Entry(L"1-1-3")));
}

TEST(RecordFile, ATornLineFromACrashIsCutBeforeTheNextLine) {
    const std::string whole = kRecordHeader + FormatRecordLine(Entry(L"1-1-2"));
    WriteText(L"record-torn.csv", whole + "2026-12-10T07:0");
    std::wstring error;
    {
        CRecordFile record;
        ASSERT_TRUE(record.Open(L"record-torn.csv", error));
        ASSERT_TRUE(record.Append(Entry(L"1-1-4"), error));
    }
    EXPECT_EQ(Read(L"record-torn.csv"), whole + FormatRecordLine(Entry(L"1-1-4")));
}

TEST(RecordFile, FilesThatCannotTakeTheRecordAreRefusedUntouched) {
    CreateDirectoryW(L"record-dir.csv", nullptr);
    WriteText(L"record-other.csv", "name,value\r\nx,1\r\n");
    std::wstring error;
    {
        CRecordFile record;
        EXPECT_FALSE(record.Open(L"record-dir.csv", error)) << "a folder";
        EXPECT_FALSE(error.empty());
    }
    {
        CRecordFile record;
        error.clear();
        EXPECT_FALSE(record.Open(L"no-such-folder\\record.csv", error));
        EXPECT_NE(error.find(L"no-such-folder"), std::wstring::npos);
    }
    {
        CRecordFile record;
        error.clear();
        EXPECT_FALSE(record.Open(L"record-other.csv", error));
        EXPECT_NE(error.find(L"another header"), std::wstring::npos);
        EXPECT_FALSE(record.Append(Entry(L"1-1-2"), error));
    }
    EXPECT_EQ(Read(L"record-other.csv"), "name,value\r\nx,1\r\n");
}

}  // namespace
