// `zrvcli program` arguments: what is accepted, and the one-line reason for
// everything that is not.
#include <gtest/gtest.h>

#include <sstream>

#include "HalvexZRVLib.h"
#include "ProgramOptions.h"

namespace {

std::vector<std::wstring> Words(const std::wstring& line) {
    std::wistringstream in(line);
    std::vector<std::wstring> words;
    std::wstring word;
    while (in >> word) words.push_back(word);
    return words;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(ProgramOptions, AcceptedLines) {
    {
        const auto r = ParseProgramOptions(Words(L"--family first --file a.cfg --mode otp"));
        ASSERT_TRUE(r.ok) << Narrow(r.error);
        EXPECT_EQ(r.options.selection, HubSelection::kFamily);
        EXPECT_EQ(r.options.family, HUB_FAMILY_MIRAVEL);
        EXPECT_EQ(r.options.storageMode, STORAGE_OTP);
        EXPECT_FALSE(r.options.verify);
        EXPECT_FALSE(r.options.automated);
        EXPECT_EQ(r.options.serial, SerialKind::kNone);
    }
    {
        const auto r = ParseProgramOptions(
            Words(L"--position 1-1-2 --position 1-1-4-1 --file fw.bin --mode spi --verify --auto "
                  L"--record r.csv --settle-ms 0"));
        ASSERT_TRUE(r.ok) << Narrow(r.error);
        EXPECT_EQ(r.options.selection, HubSelection::kPositions);
        EXPECT_EQ(r.options.positions, (std::vector<std::wstring>{L"1-1-2", L"1-1-4-1"}));
        EXPECT_EQ(r.options.storageMode, STORAGE_SPI);
        EXPECT_TRUE(r.options.verify);
        EXPECT_TRUE(r.options.automated);
        EXPECT_EQ(r.options.recordFile, L"r.csv");
        EXPECT_EQ(r.options.settleMs, 0u);
    }
    {
        const auto r = ParseProgramOptions(
            Words(L"--family second --file a.cfg --mode spi-config --serial-prefix QZ "
                  L"--serial-start 0098"));
        ASSERT_TRUE(r.ok) << Narrow(r.error);
        EXPECT_EQ(r.options.storageMode, STORAGE_SPI_PARTIAL_CONFIG);
        EXPECT_EQ(r.options.serial, SerialKind::kCounter);
        EXPECT_EQ(r.options.counter.maximum, L"9999") << "all nines of the start's width";
        EXPECT_EQ(r.options.counter.increment, 1u);
    }
    {
        const auto r = ParseProgramOptions(
            Words(L"--family first --file a.cfg --mode otp --serial-start 0A --serial-hex "
                  L"--serial-step 3"));
        ASSERT_TRUE(r.ok) << Narrow(r.error);
        EXPECT_EQ(r.options.counter.maximum, L"FF");
        EXPECT_EQ(r.options.counter.increment, 3u);
        EXPECT_TRUE(r.options.counter.hex);
    }
    {
        const auto r =
            ParseProgramOptions(Words(L"--family first --file a.cfg --mode otp --serial-uuid"));
        ASSERT_TRUE(r.ok) << Narrow(r.error);
        EXPECT_EQ(r.options.serial, SerialKind::kUuid);
    }
    {
        const auto r = ParseProgramOptions(
            Words(L"--topology line.tcf --disable-uuid --auto --record r.csv --settle-ms 100"));
        ASSERT_TRUE(r.ok) << Narrow(r.error);
        EXPECT_EQ(r.options.topology, L"line.tcf");
        EXPECT_TRUE(r.options.disableUuid);
        EXPECT_TRUE(r.options.automated);
        EXPECT_EQ(r.options.recordFile, L"r.csv");
        EXPECT_EQ(r.options.settleMs, 100u);
    }
    {
        const auto r = ParseProgramOptions(Words(L"--topology line.tcf"));
        ASSERT_TRUE(r.ok) << Narrow(r.error);
        EXPECT_FALSE(r.options.disableUuid);
        EXPECT_FALSE(r.options.automated);
    }
}

TEST(ProgramOptions, RefusedLinesSayWhy) {
    struct Case {
        const wchar_t* line;
        const wchar_t* error;
    } cases[] = {
        {L"", L"give either --family or --position"},
        {L"--file a.cfg --mode otp", L"give either --family or --position"},
        {L"--family first --position 1-1-2 --file a.cfg --mode otp",
         L"give either --family or --position"},
        {L"--family third --file a.cfg --mode otp", L"unknown family third (first or second)"},
        {L"--family first --family first --file a.cfg --mode otp", L"--family given twice"},
        {L"--position 1-1 --position 1-1 --file a.cfg --mode otp", L"position 1-1 given twice"},
        {L"--position 2-1 --file a.cfg --mode otp", L"not a position: 2-1 (such as 1-1-2-3)"},
        {L"--position 1-1-0 --file a.cfg --mode otp", L"not a position: 1-1-0 (such as 1-1-2-3)"},
        {L"--position 1--2 --file a.cfg --mode otp", L"not a position: 1--2 (such as 1-1-2-3)"},
        {L"--position 1-1- --file a.cfg --mode otp", L"not a position: 1-1- (such as 1-1-2-3)"},
        {L"--family first --mode otp", L"--file is missing"},
        {L"--family first --file a.cfg", L"--mode is missing"},
        {L"--family first --file a.cfg --mode ram",
         L"unknown storage mode ram (otp, spi, spi-config or spi-copy-otp)"},
        {L"--family first --file a.cfg --mode otp --verbose", L"unknown option --verbose"},
        {L"--family first --file a.cfg --mode", L"--mode needs a value"},
        {L"--family first --file fw.bin --mode spi --serial-uuid",
         L"serial numbers go into configuration blocks: use them with otp or spi-config"},
        {L"--family first --file a.cfg --mode otp --serial-uuid --serial-start 1",
         L"--serial-uuid and a serial counter exclude each other"},
        {L"--family first --file a.cfg --mode otp --serial-prefix AB",
         L"a serial counter needs --serial-start"},
        {L"--family first --file a.cfg --mode otp --serial-start 12 --serial-step 0",
         L"--serial-step needs a number from 1"},
        {L"--family first --file a.cfg --mode otp --serial-start 5 --serial-max 3",
         L"serial counter: "},
        {L"--family first --file a.cfg --mode otp --serial-prefix ABCDE --serial-start 1",
         L"serial counter: "},
        {L"--family first --file a.cfg --mode otp --serial-start 1G", L"serial counter: "},
        {L"--family first --file a.cfg --mode otp --settle-ms soon",
         L"--settle-ms needs a number of milliseconds"},
        // A topology gives every hub its own settings.
        {L"--topology t.tcf --family first",
         L"--topology takes each hub's settings from the "
         L"file: --family does not go with it"},
        {L"--topology t.tcf --position 1-1-2",
         L"--topology takes each hub's settings from the "
         L"file: --position does not go with it"},
        {L"--topology t.tcf --file a.cfg",
         L"--topology takes each hub's settings from the file: "
         L"--file does not go with it"},
        {L"--mode otp --topology t.tcf",
         L"--topology takes each hub's settings from the file: "
         L"--mode does not go with it"},
        {L"--topology t.tcf --verify",
         L"--topology takes each hub's settings from the file: "
         L"--verify does not go with it"},
        {L"--topology t.tcf --serial-uuid",
         L"--topology takes each hub's settings from the file: "
         L"--serial-uuid does not go with it"},
        {L"--topology t.tcf --serial-hex",
         L"--topology takes each hub's settings from the file: "
         L"the serial counter options do not go with it"},
        {L"--topology t.tcf --serial-start 0001",
         L"--topology takes each hub's settings from the file: the serial counter options do "
         L"not go with it"},
        {L"--topology t.tcf --topology u.tcf", L"--topology given twice"},
        {L"--topology", L"--topology needs a value"},
        {L"--family first --file a.cfg --mode otp --disable-uuid",
         L"--disable-uuid goes with --topology"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.line));
        const auto r = ParseProgramOptions(Words(c.line));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << Narrow(r.error);
        EXPECT_EQ(r.error.find(L'\n'), std::wstring::npos);
    }
}

TEST(ProgramOptions, StorageModeNamesReadBack) {
    for (int32_t mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(StorageModeFromName(StorageModeName(mode)), mode);
    }
    EXPECT_EQ(StorageModeName(STORAGE_UNKNOWN), L"n/a");
    EXPECT_EQ(StorageModeFromName(L"OTP"), -1) << "names are lower case";
    EXPECT_TRUE(StorageModeTakesBlock(STORAGE_OTP));
    EXPECT_TRUE(StorageModeTakesBlock(STORAGE_SPI_PARTIAL_CONFIG));
    EXPECT_FALSE(StorageModeTakesBlock(STORAGE_SPI));
    EXPECT_FALSE(StorageModeTakesBlock(STORAGE_SPI_COPY_FROM_OTP));
}

}  // namespace
