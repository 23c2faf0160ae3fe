// Trace logger: line format, levels, nesting, truncation and formatting.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Logger.h"
#include "ProcessRun.h"

const wchar_t kTraceLogFileName[] = L"LoggerTestsDefault.txt";

namespace {

std::vector<std::string> ReadLines(const wchar_t* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

long FileSize(const wchar_t* path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long>(in.tellg()) : -1;
}

void MakeFile(const wchar_t* path, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk(64 * 1024, 'x');
    while (size > 0) {
        const size_t n = size < chunk.size() ? size : chunk.size();
        out.write(chunk.data(), static_cast<std::streamsize>(n));
        size -= n;
    }
}

// Splits "d/m/yyyy-h:m:s<body>" and checks the stamp has no leading zeros.
std::string BodyOf(const std::string& line) {
    static const std::regex stamp(
        R"(^([12][0-9]|3[01]|[1-9])/(1[0-2]|[1-9])/[0-9]{4}-(1[0-9]|2[0-3]|[0-9]):([1-5][0-9]|[0-9]):([1-5][0-9]|[0-9])(?= ))");
    std::smatch m;
    EXPECT_TRUE(std::regex_search(line, m, stamp)) << line;
    return m.suffix();
}

struct LogFile {
    explicit LogFile(const wchar_t* name) : path(name) { _wremove(name); }
    ~LogFile() { _wremove(path); }
    const wchar_t* path;
};

}  // namespace

TEST(Logger, DefaultThresholdWritesMessagesWithNamePrefixAndIndent) {
    LogFile file(L"log_default.txt");
    {
        CIndentWrite writer(file.path);
        {
            CLogger outer(L"CSheet::EnumUSB", writer);
            outer.Write(2, L"found %d hubs", 3);
            {
                CLogger inner(L"CDeviceTree::Refresh", writer);
                inner.Write(1, L"failed on %s", L"HCD0");
                inner.Write(3, L"hidden");
            }
            outer.Write(1, L"done");
        }
        EXPECT_EQ(writer.Depth(), 0);
    }
    const auto lines = ReadLines(file.path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(BodyOf(lines[0]), "    CSheet::EnumUSB: found 3 hubs");
    EXPECT_EQ(BodyOf(lines[1]), "        CDeviceTree::Refresh: failed on HCD0");
    EXPECT_EQ(BodyOf(lines[2]), "    CSheet::EnumUSB: done");
}

TEST(Logger, ThresholdThreeWritesEntryAndExitLinesWithoutPrefix) {
    LogFile file(L"log_level3.txt");
    {
        CIndentWrite writer(file.path);
        writer.SetLevel(3);
        CLogger outer(L"A::B", writer);
        {
            CLogger inner(L"C::D", writer);
            inner.Write(2, L"message");
        }
    }
    const auto lines = ReadLines(file.path);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(BodyOf(lines[0]), "    A::B--->{");
    EXPECT_EQ(BodyOf(lines[1]), "        C::D--->{");
    EXPECT_EQ(BodyOf(lines[2]), "        message");
    EXPECT_EQ(BodyOf(lines[3]), "        }//<---C::D");
    EXPECT_EQ(BodyOf(lines[4]), "    }//<---A::B");
}

TEST(Logger, LinesEndInLineFeedOnly) {
    LogFile file(L"log_lf.txt");
    {
        CIndentWrite writer(file.path);
        CLogger scope(L"X::Y", writer);
        scope.Write(1, L"one");
        scope.Write(2, L"two");
    }
    std::ifstream in(file.path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 2);
    EXPECT_EQ(all.back(), '\n');
}

TEST(Logger, EmptyOrNullNameThrowsAndCountsNothing) {
    LogFile file(L"log_noname.txt");
    CIndentWrite writer(file.path);
    EXPECT_THROW(CLogger(L"", writer), CIndentWriteError);
    EXPECT_THROW(CLogger(nullptr, writer), CIndentWriteError);
    EXPECT_EQ(writer.Depth(), 0);
}

TEST(Logger, DepthNeverGoesBelowZero) {
    LogFile file(L"log_depth.txt");
    CIndentWrite writer(file.path);
    writer.Leave();
    writer.Leave();
    EXPECT_EQ(writer.Depth(), 0);
    EXPECT_EQ(writer.Enter(), 1);
}

TEST(Logger, WideStringFormatsTakeWideArguments) {
    // mingw-w64's C99 printf reads %s as narrow; the CRT's wide family must not.
    LogFile file(L"log_wide.txt");
    {
        CIndentWrite writer(file.path);
        CLogger scope(L"F::G", writer);
        scope.Write(2, L"Status of device %ws is %ws", L"\\\\?\\USB#VID_3B9A", L"Programming");
        scope.Write(2, L"[%s] %d", L"wide", 7);
    }
    const auto lines = ReadLines(file.path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(BodyOf(lines[0]), "    F::G: Status of device \\\\?\\USB#VID_3B9A is Programming");
    EXPECT_EQ(BodyOf(lines[1]), "    F::G: [wide] 7");
}

TEST(Logger, LongMessageIsCutButWritten) {
    LogFile file(L"log_long.txt");
    {
        CIndentWrite writer(file.path);
        CLogger scope(L"L::M", writer);
        std::wstring big(10000, L'z');
        scope.Write(2, L"%s", big.c_str());
    }
    const auto lines = ReadLines(file.path);
    ASSERT_EQ(lines.size(), 1u);
    const std::string body = BodyOf(lines[0]);
    EXPECT_EQ(body.size(), 4u + 4095u);  // the composed message holds 4095 characters
    EXPECT_EQ(body.substr(0, 10), "    L::M: ");
}

TEST(Logger, NonAsciiTextDoesNotStopTheLog) {
    LogFile file(L"log_unicode.txt");
    {
        CIndentWrite writer(file.path);
        CLogger scope(L"U::V", writer);
        scope.Write(2, L"hub \x4e2d");
        scope.Write(2, L"still here");
    }
    const auto lines = ReadLines(file.path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(BodyOf(lines[1]), "    U::V: still here");
}

TEST(Logger, FileOfTenMiBIsEmptiedAtStart) {
    struct Case {
        size_t size;
        bool emptied;
    };
    const Case cases[] = {{CIndentWrite::kMaxFileSize, true},
                          {CIndentWrite::kMaxFileSize + 5, true},
                          {CIndentWrite::kMaxFileSize - 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        LogFile file(L"log_big.txt");
        MakeFile(file.path, c.size);
        {
            CIndentWrite writer(file.path);
            CLogger scope(L"T::Z", writer);
            scope.Write(1, L"after");
        }
        const long size = FileSize(file.path);
        if (c.emptied) {
            EXPECT_LT(size, 100);
        } else {
            EXPECT_GT(size, static_cast<long>(c.size));
        }
    }
}

TEST(Logger, FileGrowingPastLimitIsEmptiedAtNextSizeCheck) {
    LogFile file(L"log_grow.txt");
    MakeFile(file.path, CIndentWrite::kMaxFileSize - 200);
    {
        CIndentWrite writer(file.path);
        CLogger scope(L"T::Grow", writer);
        const std::wstring chunk(150, L'g');
        scope.Write(2, L"%s", chunk.c_str());  // uses up the allowance
        EXPECT_GT(FileSize(file.path), static_cast<long>(CIndentWrite::kMaxFileSize) - 200);
        scope.Write(2, L"%s", chunk.c_str());  // size check: file now over the limit
        scope.Write(2, L"last");
    }
    EXPECT_LT(FileSize(file.path), 400);
    const auto lines = ReadLines(file.path);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(BodyOf(lines.back()), "    T::Grow: last");
}

TEST(Logger, DeliverableWriterOpensItsFileWhileTheModuleLoads) {
    // A run of this program that writes no line at all: its writer still opens
    // the log at start, and empties one that has reached the limit.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring dir =
        std::wstring(temp) + L"zrv_logger_load_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring log = dir + L"\\" + kTraceLogFileName;
    const std::wstring output = dir + L"\\output.txt";
    MakeFile(log.c_str(), CIndentWrite::kMaxFileSize);

    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
    const auto outcome = testsupport::RunCapturingOutput(
        L"\"" + std::wstring(exe) + L"\" --gtest_filter=-*", output.c_str(), 60000);
    SetCurrentDirectoryW(previous);

    EXPECT_EQ(outcome.exitCode, 0u) << outcome.output;
    EXPECT_EQ(FileSize(log.c_str()), 0);
    _wremove(log.c_str());
    _wremove(output.c_str());
    RemoveDirectoryW(dir.c_str());
}
