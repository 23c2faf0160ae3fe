// The hub library as a line uses it, through zrvcli in separate processes:
// what one process programs another sees (chip state file), the second
// family's OTP limit holds across runs, a continuous run programs boards
// plugged and unplugged by usbsimctl from yet another process, each once, and
// a board pulled while it is programmed fails without stopping the others.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "ZrvcliRun.h"

namespace {

using testsupport::Count;
using testsupport::EventLines;
using testsupport::Lines;
using testsupport::ReadTextFile;
using testsupport::RunZrvcli;
using testsupport::Usbsimctl;
using testsupport::WaitForText;
using testsupport::WindowsPath;

// One item: register 0x3000 = 0x5A.
const std::vector<uint8_t> kBlock = {'C', 'F', 'G', 'B', 1, 0x40, 0x00, 0x03, 0x30, 0x00, 0x5A};

std::wstring Fixture(const wchar_t* name) {
    return WindowsPath(ZRV_FIXTURE_DIR, name);
}

using testsupport::WriteBytes;

// The record's lines for position, header excluded.
std::vector<std::string> RecordLines(const wchar_t* file, const std::string& position) {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(ReadTextFile(file))) {
        if (line.find("," + position + ",") != std::string::npos) lines.push_back(line);
    }
    return lines;
}

class LineScenario : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(L"block.cfg", kBlock);
        DeleteFileW(L"state.json");
        DeleteFileW(L"record.csv");
        DeleteFileW(L"dump.bin");
    }
};

TEST_F(LineScenario, AHubProgrammedInOneProcessShowsItsBlockInAnothersDump) {
    const std::wstring line = Fixture(L"tests/line-small.json");
    const auto program =
        RunZrvcli(L"program --position 1-1-1 --file block.cfg --mode otp --verify --serial-uuid",
                  line, L"state.json");
    ASSERT_EQ(program.exitCode, 0u) << program.out << program.err;
    EXPECT_EQ(Count(EventLines(program.out, "1-1-1"), "Programmed and Verified Successfully"), 1u)
        << program.out;

    const auto dump = RunZrvcli(L"dump-otp 1-1-1 dump.bin", line, L"state.json");
    ASSERT_EQ(dump.exitCode, 0u) << dump.out << dump.err;
    const std::string otp = ReadTextFile(L"dump.bin");
    EXPECT_EQ(otp.size(), 2048u);
    // The file's item data, then the serial made from UUID bytes 11 to 15.
    EXPECT_NE(otp.find(std::string("\x30\x00\x5A", 3)), std::string::npos);
    EXPECT_NE(otp.find(std::string("0\0b\0"
                                   "0\0c\0"
                                   "0\0d\0"
                                   "0\0e\0"
                                   "0\0f\0",
                                   20)),
              std::string::npos);

    // Without the state file a new process starts from the fixture: no block.
    const auto fresh = RunZrvcli(L"dump-otp 1-1-1 dump.bin", line);
    ASSERT_EQ(fresh.exitCode, 0u) << fresh.err;
    EXPECT_EQ(ReadTextFile(L"dump.bin").find(std::string("\x30\x00\x5A", 3)), std::string::npos);
}

TEST_F(LineScenario, WriteRamHandsTheFileToTheHubsRam) {
    const auto run =
        RunZrvcli(L"write-ram 1-1-3 block.cfg", Fixture(L"tests/line-small.json"), L"state.json");
    ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_NE(run.out.find("RAM of 1-1-3 (KX610x) written with 11 bytes of block.cfg"),
              std::string::npos)
        << run.out;
    std::string state = ReadTextFile(L"state.json");
    for (char& c : state) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    // The hub LA2's RAM begins with the block.
    const size_t chip = state.find("PID_6104\\\\LA2");
    ASSERT_NE(chip, std::string::npos) << state.substr(0, 400);
    EXPECT_NE(state.find("4346474201400003300"
                         "05A",
                         chip),
              std::string::npos);
}

TEST_F(LineScenario, TheSeventeenthSecondFamilyProgrammingIsRefusedAcrossRuns) {
    const std::wstring line = Fixture(L"tests/line-small.json");
    for (int run = 1; run <= 17; ++run) {
        SCOPED_TRACE(run);
        const auto result =
            RunZrvcli(L"program --position 1-1-2 --file block.cfg --mode otp --record record.csv",
                      line, L"state.json");
        const std::vector<std::string> events = EventLines(result.out, "1-1-2");
        if (run <= 16) {
            ASSERT_EQ(result.exitCode, 0u) << result.out << result.err;
            EXPECT_EQ(Count(events, "Programmed Successfully"), 1u) << result.out;
        } else {
            EXPECT_EQ(result.exitCode, 1u) << result.out << result.err;
            EXPECT_EQ(Count(events, "ERROR: OTP already Programmed maximum times"), 1u)
                << result.out;
            EXPECT_EQ(Count(events, "finished: RESULT_OTP_WRITE_LIMIT"), 1u) << result.out;
        }
    }
    const std::vector<std::string> record = RecordLines(L"record.csv", "1-1-2");
    ASSERT_EQ(record.size(), 17u);
    EXPECT_NE(record[15].find(",otp,3,Programmed Successfully,0,"), std::string::npos)
        << record[15];
    EXPECT_NE(record[16].find(",otp,13,ERROR: OTP already Programmed maximum times,-3,"),
              std::string::npos)
        << record[16];
}

TEST_F(LineScenario, AContinuousRunProgramsEachNewBoardOnceAsBoardsComeAndGo) {
    const std::wstring line = Fixture(L"tests/line-hotplug.json");
    testsupport::SetLineEnvironment(line, L"state.json");
    PROCESS_INFORMATION run;
    ASSERT_TRUE(testsupport::StartZrvcli(
        L"program --auto --family first --file block.cfg --mode otp --verify --serial-uuid "
        L"--record record.csv",
        L"auto", run));
    const std::wstring boardA = L"\"" + Fixture(L"tests/line-board-a.json") + L"\"";
    const std::wstring boardB = L"\"" + Fixture(L"tests/line-board-b.json") + L"\"";
    const wchar_t* out = L"auto-out.txt";
    const DWORD wait = 30000;

    EXPECT_TRUE(WaitForText(out, "1-1-1       KX610x   finished:", wait));
    EXPECT_EQ(Usbsimctl(L"attach 1-1-2 " + boardA), 0u) << ReadTextFile(L"usbsimctl-out.txt");
    EXPECT_TRUE(WaitForText(out, "1-1-2       KX610x   finished:", wait));
    // The same board out and in again, on another port: it has been programmed.
    EXPECT_EQ(Usbsimctl(L"detach 1-1-2"), 0u);
    EXPECT_EQ(Usbsimctl(L"attach 1-1-3 " + boardA), 0u);
    EXPECT_TRUE(WaitForText(out, "1-1-3       KX610x   arrived", wait));
    EXPECT_EQ(Usbsimctl(L"attach 1-1-2 " + boardB), 0u);
    EXPECT_TRUE(WaitForText(out, "1-1-2       KX610x   finished:", wait));
    // Let a wrongly taken up board show before stopping.
    EXPECT_FALSE(WaitForText(out, "1-1-3       KX610x   prepared", 1000));

    const auto result = testsupport::StopZrvcli(run, L"auto");
    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;

    const std::vector<std::string> events11 = EventLines(result.out, "1-1-1");
    const std::vector<std::string> events12 = EventLines(result.out, "1-1-2");
    const std::vector<std::string> events13 = EventLines(result.out, "1-1-3");
    EXPECT_EQ(Count(events11, "finished: RESULT_SUCCESS"), 1u) << result.out;
    EXPECT_EQ(Count(events12, "finished: RESULT_SUCCESS"), 2u) << "board A, then board B\n"
                                                               << result.out;
    EXPECT_EQ(Count(events13, "prepared"), 0u) << "board A again\n" << result.out;
    EXPECT_EQ(Count(events13, "left alone"), 1u) << result.out;
    // One record line per programmed board: HP0, HPA, HPB.
    const std::string record = ReadTextFile(L"record.csv");
    for (const char* serial : {"#HP0#", "#HPA#", "#HPB#"}) {
        SCOPED_TRACE(serial);
        size_t count = 0;
        for (size_t at = record.find(serial); at != std::string::npos;
             at = record.find(serial, at + 1)) {
            ++count;
        }
        EXPECT_EQ(count, 1u) << record;
    }
    EXPECT_NE(result.out.find("stopping"), std::string::npos) << result.out;
}

TEST_F(LineScenario, ABoardPulledWhileItIsProgrammedFailsAndTheOthersFinish) {
    const auto result = RunZrvcli(
        L"program --family first --file block.cfg --mode otp --verify --record record.csv",
        Fixture(L"tests/line-pull.json"));
    EXPECT_EQ(result.exitCode, 1u) << result.out << result.err;
    for (const char* position : {"1-1-1", "1-1-2"}) {
        SCOPED_TRACE(position);
        EXPECT_EQ(Count(EventLines(result.out, position), "finished: RESULT_SUCCESS"), 1u)
            << result.out;
        const auto record = RecordLines(L"record.csv", position);
        ASSERT_EQ(record.size(), 1u);
        EXPECT_NE(record[0].find(",7,Programmed and Verified Successfully,0,"), std::string::npos)
            << record[0];
    }
    const std::vector<std::string> pulled = EventLines(result.out, "1-1-3");
    EXPECT_EQ(Count(pulled, "finished: RESULT_SUCCESS"), 0u) << result.out;
    EXPECT_EQ(Count(pulled, "finished: RESULT_"), 1u) << result.out;
    EXPECT_EQ(Count(pulled, "Successfully"), 0u) << result.out;
    const auto record = RecordLines(L"record.csv", "1-1-3");
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record[0].find("Successfully"), std::string::npos) << record[0];
}

}  // namespace
