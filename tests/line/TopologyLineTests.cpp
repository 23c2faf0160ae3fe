// zrvcli programming a line from the tool's topology file, in separate processes: every
// configured hub once with its own storage mode, file and serial number; the file's serial
// counters advanced by exactly the hubs that succeeded and continued by the next run; a hub
// back from its reboot for SPI mode; the vendor-block rule; an exhausted counter; a file that
// cannot take the counters back.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ZrvcliRun.h"

namespace {

using testsupport::Count;
using testsupport::EventLines;
using testsupport::Lines;
using testsupport::ReadTextFile;
using testsupport::RunZrvcli;
using testsupport::WaitForText;
using testsupport::WriteBytes;

// One item: register 0x3000 = 0x5A.
const std::vector<uint8_t> kBlock = {'C', 'F', 'G', 'B', 1, 0x40, 0x00, 0x03, 0x30, 0x00, 0x5A};
const std::string kBlockItem("\x30\x00\x5A", 3);

std::wstring Line() {
    return testsupport::WindowsPath(ZRV_FIXTURE_DIR, L"tests/topology-line.json");
}

// A first-family image: 65535 bytes with the firmware tag at 0xFFFA.
std::vector<uint8_t> Image() {
    std::vector<uint8_t> image(0xFFFF, 0xA5);
    const char tag[] = "2DFU";
    std::copy(tag, tag + 4, image.begin() + 0xFFFA);
    return image;
}

// Writes a fixture given as text to a file of the test's folder; its full path.
std::wstring WriteFixture(const wchar_t* name, const std::string& text) {
    WriteBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
    wchar_t full[MAX_PATH] = {};
    return GetFullPathNameW(name, MAX_PATH, full, nullptr) != 0 ? full : L"";
}

// Where the first line holding text stands among lines (lines.size() when none does).
size_t FirstLineWith(const std::vector<std::string>& lines, const std::string& text) {
    return std::find_if(
               lines.begin(), lines.end(),
               [&](const std::string& line) { return line.find(text) != std::string::npos; }) -
           lines.begin();
}

// One hub entry of a topology file; serial fields only for the counting serial types.
struct Entry {
    std::string position;
    int part;    // 0 first family, 1 second
    int memory;  // storage mode, 4 none
    bool verify;
    int serialType;  // 0 UUID, 1 hex counter, 2 decimal counter, 3 none
    std::string file;
    std::string prefix, start, maximum, current;
    int step;
};

// A topology file as the tool saves it: a controller entry, then the hubs.
void WriteTopology(const wchar_t* path, const std::vector<Entry>& entries) {
    std::string text = "[Header]\r\nCount=" + std::to_string(entries.size() + 1) +
                       "\r\nVersion=2.1\r\n[1-1]\r\nUINAME=Controller\r\nISHUB=0\r\n";
    for (const Entry& e : entries) {
        text += "[" + e.position + "]\r\nISHUB=1\r\nPTYPE=" + std::to_string(e.part) +
                "\r\nMEMTYPE=" + std::to_string(e.memory) + "\r\nVERIFY=" + (e.verify ? "1" : "0") +
                "\r\nDOPROGRAM=1\r\nBCFGFILE=" + e.file +
                "\r\nSERTYPE=" + std::to_string(e.serialType) + "\r\n";
        if (e.serialType == 1 || e.serialType == 2) {
            text += "SERALPHA=" + e.prefix + "\r\nSERSTART=" + e.start + "\r\nSERMAX=" + e.maximum +
                    "\r\nSERINC=" + std::to_string(e.step) + "\r\nSERCURRENT=" + e.current +
                    "\r\nSERHEXFMT=" + (e.serialType == 1 ? "1" : "0") + "\r\n";
        }
    }
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// A value of the topology file, read the way the tool reads it.
std::string TopologyValue(const wchar_t* file, const wchar_t* section, const wchar_t* key) {
    wchar_t full[MAX_PATH];
    GetFullPathNameW(file, MAX_PATH, full, nullptr);
    wchar_t value[64] = {};
    GetPrivateProfileStringW(section, key, L"", value, 64, full);
    return std::string(value, value + wcslen(value));
}

// The hub's OTP as a later process reads it.
std::string Otp(const wchar_t* position) {
    DeleteFileW(L"dump.bin");
    const auto dump =
        RunZrvcli(std::wstring(L"dump-otp ") + position + L" dump.bin", Line(), L"state.json");
    EXPECT_EQ(dump.exitCode, 0u) << dump.out << dump.err;
    return ReadTextFile(L"dump.bin");
}

// Text as the block's serial items hold it: UTF-16LE.
std::string Wide(const std::string& text) {
    std::string wide;
    for (char c : text) wide += std::string{c, '\0'};
    return wide;
}

bool HasLine(const std::string& out, const std::string& line) {
    for (const std::string& l : Lines(out)) {
        if (l == line) return true;
    }
    return false;
}

class TopologyLine : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(L"topology-block.cfg", kBlock);
        WriteBytes(L"topology-image.bin", Image());
        SetFileAttributesW(L"line.tcf", FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(L"line.tcf");
        DeleteFileW(L"state.json");
        DeleteFileW(L"record.csv");
    }
    void TearDown() override { SetFileAttributesW(L"line.tcf", FILE_ATTRIBUTE_NORMAL); }

    static Entry Counter(const std::string& position, int part, int type, const char* prefix,
                         const char* current, int step) {
        return {position, part,  3,
                true,     type,  "topology-block.cfg",
                prefix,   "001", type == 1 ? "0FF" : "999",
                current,  step};
    }
    static Entry Plain(const std::string& position, int serialType = 3) {
        return {position, 0, 3, true, serialType, "topology-block.cfg", "", "", "", "", 1};
    }
};

TEST_F(TopologyLine, EveryConfiguredHubIsProgrammedOnceAndTheNextRunContinuesTheCounters) {
    Entry spi = Plain("1-1-5");
    spi.memory = 2;
    spi.file = "topology-image.bin";
    Entry idle = Plain("1-1-6");
    idle.memory = 4;
    // 1-1-4 has no entry.
    WriteTopology(L"line.tcf", {Counter("1-1-1", 0, 2, "TC", "003", 1), Plain("1-1-2", 0),
                                Counter("1-1-3", 1, 1, "SB", "00E", 2), spi, idle});
    const std::string before = ReadTextFile(L"line.tcf");

    const auto first = RunZrvcli(L"program --topology line.tcf --record record.csv", Line(),
                                 L"state.json", 120000);
    ASSERT_EQ(first.exitCode, 0u) << first.out << first.err;
    for (const char* position : {"1-1-1", "1-1-2", "1-1-3", "1-1-5"}) {
        SCOPED_TRACE(position);
        const auto events = EventLines(first.out, position);
        EXPECT_EQ(Count(events, "prepared"), 1u) << first.out;
        EXPECT_EQ(Count(events, "finished: RESULT_SUCCESS"), 1u) << first.out;
        EXPECT_EQ(Count(events, "Programmed and Verified Successfully"), 1u) << first.out;
    }
    for (const char* position : {"1-1-4", "1-1-6"}) {
        SCOPED_TRACE(position);
        const auto events = EventLines(first.out, position);
        EXPECT_EQ(Count(events, "prepared"), 0u) << first.out;
        EXPECT_EQ(Count(events, "Programming"), 0u) << first.out;
    }
    EXPECT_TRUE(HasLine(first.out, "1-1-1 : Current Serial Number : TC003")) << first.out;
    EXPECT_TRUE(HasLine(first.out, "1-1-2 : Current Serial Number : fbfcfdfeff")) << first.out;
    EXPECT_TRUE(HasLine(first.out, "1-1-3 : Current Serial Number : SB00E")) << first.out;

    // The counters advanced once per success (by their steps); nothing else changed.
    std::string expected = before;
    expected.replace(expected.find("SERCURRENT=003"), 14, "SERCURRENT=004");
    expected.replace(expected.find("SERCURRENT=00E"), 14, "SERCURRENT=010");
    EXPECT_EQ(ReadTextFile(L"line.tcf"), expected);

    // Each chip holds the block with its serial, the SPI hub its image; 1-1-4 and 1-1-6 nothing.
    for (const auto& chip :
         {std::make_pair(L"1-1-1", "TC003"), std::make_pair(L"1-1-2", "fbfcfdfeff"),
          std::make_pair(L"1-1-3", "SB00E")}) {
        const std::string otp = Otp(chip.first);
        EXPECT_NE(otp.find(kBlockItem), std::string::npos) << chip.second;
        EXPECT_NE(otp.find(Wide(chip.second)), std::string::npos) << chip.second;
    }
    EXPECT_EQ(Otp(L"1-1-4").find(kBlockItem), std::string::npos);
    EXPECT_EQ(Otp(L"1-1-6").find(kBlockItem), std::string::npos);
    EXPECT_NE(ReadTextFile(L"state.json").find("A5A5A5A5A5A5A5A5"), std::string::npos)
        << "the image is in the flash";
    const std::string record = ReadTextFile(L"record.csv");
    for (const char* serial :
         {",TC003,otp,7,", ",fbfcfdfeff,otp,7,", ",SB00E,otp,7,", ",,spi,7,"}) {
        EXPECT_NE(record.find(serial), std::string::npos) << serial << "\n" << record;
    }

    // A second run takes the next serials and writes the counters on.
    const auto second = RunZrvcli(L"program --topology line.tcf", Line(), L"state.json", 120000);
    ASSERT_EQ(second.exitCode, 0u) << second.out << second.err;
    EXPECT_TRUE(HasLine(second.out, "1-1-1 : Current Serial Number : TC004")) << second.out;
    EXPECT_TRUE(HasLine(second.out, "1-1-3 : Current Serial Number : SB010")) << second.out;
    EXPECT_EQ(TopologyValue(L"line.tcf", L"1-1-1", L"SERCURRENT"), "005");
    EXPECT_EQ(TopologyValue(L"line.tcf", L"1-1-3", L"SERCURRENT"), "012");
    EXPECT_NE(Otp(L"1-1-1").find(Wide("TC004")), std::string::npos);
}

// A line whose news of plugging comes late. The hub at 1-1-1 runs its firmware from the
// flash, so SPI mode sends it into DFU mode: it stays off the bus for 300 ms, and the run
// hears of its removal 100 ms after it left. Meanwhile the unconfigured second-family hub
// at 1-1-2 announces its function, and the run looks at its hubs again.
const char kLateNewsLine[] = R"({
  "timeScale": 100,
  "latency": { "rebootMs": 30000, "notifyMs": 10000, "ep5EnableMs": 200 },
  "controllers": [ { "description": "Standard Enhanced PCI to USB Host Controller", "ports": 2,
    "children": {
      "1": { "hub": { "family": "first", "vid": "3B9A", "pid": "6104", "serial": "TR1",
                      "description": "USB 2.0 Hub", "ports": 4,
                      "chip": { "uuid": "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF", "bootState": "spi",
                                "flash": { "size": 131072, "image": "topology-image.bin" } } } },
      "2": { "hub": { "family": "second", "vid": "3B9A", "pid": "7104", "serial": "TR2",
                      "description": "USB Hub", "ports": 4,
                      "chip": { "romVersion": "0x0109", "boot": "rom", "otpSize": 2048 } } } } } ]
})";

TEST_F(TopologyLine, AHubRebootingForSpiIsTakenUpAgainOnlyOnceItHasLeftAndComeBack) {
    const std::wstring fixture = WriteFixture(L"late-news-line.json", kLateNewsLine);
    ASSERT_FALSE(fixture.empty());
    Entry spi = Plain("1-1-1");
    spi.memory = 2;
    spi.file = "topology-image.bin";
    WriteTopology(L"line.tcf", {spi});

    const auto run = RunZrvcli(L"program --topology line.tcf", fixture, L"state.json", 120000);
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    const auto events = EventLines(run.out, "1-1-1");
    EXPECT_EQ(Count(events, "not programmed"), 0u) << run.out;
    EXPECT_EQ(Count(events, "rebooting for spi"), 1u) << run.out;
    EXPECT_EQ(Count(events, "prepared: spi, verify"), 1u) << run.out;
    EXPECT_EQ(Count(events, "finished: RESULT_SUCCESS"), 1u) << run.out;
    // Prepared again only after the hub that was sent into DFU mode had gone.
    EXPECT_LT(FirstLineWith(events, "removed"), FirstLineWith(events, "prepared")) << run.out;
}

// Two second-family hubs taking a firmware image in SPI mode. The one at 1-1-1 runs its
// firmware from the flash: its driver erases the flash signature when it is told to program,
// and it stays off the bus for 3 s, rebooting into ROM; the run hears of each change 300 ms
// after it happened. The one at 1-1-2 is in ROM already and is not rebooted. At this time
// scale the news of the hubs' functions still comes before the library's wait for them runs
// out, so the families are known from that news alone.
const char kDriverRebootLine[] = R"({
  "timeScale": 10,
  "latency": { "rebootMs": 30000, "notifyMs": 3000, "ep5EnableMs": 200 },
  "controllers": [ { "description": "Standard Enhanced PCI to USB Host Controller", "ports": 2,
    "children": {
      "1": { "hub": { "family": "second", "vid": "3B9A", "pid": "7104", "serial": "DR1",
                      "description": "USB Hub", "ports": 4,
                      "chip": { "romVersion": "0x0109", "boot": "spi", "firmwareVersion": "0x0116",
                                "flash": { "size": 131072 } } } },
      "2": { "hub": { "family": "second", "vid": "3B9A", "pid": "7104", "serial": "DR2",
                      "description": "USB Hub", "ports": 4,
                      "chip": { "romVersion": "0x0109", "boot": "rom",
                                "flash": { "size": 131072 } } } } } } ]
})";

class DriverRebootLine : public TopologyLine {
protected:
    void SetUp() override {
        TopologyLine::SetUp();
        fixture_ = WriteFixture(L"driver-reboot-line.json", kDriverRebootLine);
        ASSERT_FALSE(fixture_.empty());
        WriteTopology(L"line.tcf", {SpiImage("1-1-1"), SpiImage("1-1-2")});
    }
    static Entry SpiImage(const std::string& position) {
        return {position, 1, 2, true, 3, "topology-image.bin", "", "", "", "", 1};
    }
    std::wstring fixture_;
};

TEST_F(DriverRebootLine, AHubItsDriverRebootsIsPreparedAgainWhenBackAndProgrammedOnce) {
    const auto run =
        RunZrvcli(L"program --topology line.tcf --record record.csv", fixture_, L"state.json");
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    const auto rebooted = EventLines(run.out, "1-1-1");
    EXPECT_EQ(Count(rebooted, "not programmed"), 0u) << run.out;
    EXPECT_EQ(Count(rebooted, "rebooting for spi"), 1u) << run.out;
    EXPECT_EQ(Count(rebooted, "prepared: spi, verify"), 1u) << run.out;
    EXPECT_EQ(Count(rebooted, "Programming"), 1u) << run.out;
    EXPECT_EQ(Count(rebooted, "finished: RESULT_SUCCESS"), 1u) << run.out;
    // Prepared again only after the hub that left for ROM had gone.
    EXPECT_LT(FirstLineWith(rebooted, "removed"), FirstLineWith(rebooted, "prepared")) << run.out;
    // The hub in ROM is not taken for one that reboots.
    const auto inRom = EventLines(run.out, "1-1-2");
    EXPECT_EQ(Count(inRom, "rebooting"), 0u) << run.out;
    EXPECT_EQ(Count(inRom, "finished: RESULT_SUCCESS"), 1u) << run.out;
    const std::string record = ReadTextFile(L"record.csv");
    EXPECT_EQ(Count(Lines(record), ",spi,7,"), 2u) << record;
}

TEST_F(DriverRebootLine, APreparedHubPulledWhileAnotherRebootsIsRemovedBeforeProgramming) {
    testsupport::SetLineEnvironment(fixture_, L"state.json");
    PROCESS_INFORMATION process;
    ASSERT_TRUE(testsupport::StartZrvcli(L"program --topology line.tcf --record record.csv",
                                         L"pulled", process));
    const wchar_t* out = L"pulled-out.txt";
    const DWORD wait = 30000;
    EXPECT_TRUE(WaitForText(out, "1-1-1       KX710x   rebooting for spi", wait));
    EXPECT_TRUE(WaitForText(out, "1-1-2       KX710x   prepared", wait));
    EXPECT_EQ(testsupport::Usbsimctl(L"detach 1-1-2"), 0u);
    const auto run = testsupport::Collect(L"pulled", testsupport::WaitForExit(process, 60000));
    testsupport::SetLineEnvironment(L"", L"");

    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_EQ(Count(EventLines(run.out, "1-1-2"), "Programming"), 0u) << run.out;
    const std::string record = ReadTextFile(L"record.csv");
    std::vector<std::string> pulled;
    for (const std::string& line : Lines(record)) {
        if (line.find(",1-1-2,") != std::string::npos) pulled.push_back(line);
    }
    ASSERT_EQ(pulled.size(), 1u) << record;
    EXPECT_NE(pulled[0].find(",removed before programming,"), std::string::npos) << record;
    const auto rebooted = EventLines(run.out, "1-1-1");
    EXPECT_EQ(Count(rebooted, "prepared"), 1u) << run.out;
    EXPECT_EQ(Count(rebooted, "finished: RESULT_SUCCESS"), 1u) << run.out;
}

// The hub at 1-1-1 runs its firmware from the flash, but its boot register cannot be read, so
// its driver cannot send it into ROM when it is told to program the flash.
TEST_F(DriverRebootLine, AHubItsDriverCannotMakeReadyIsNotProgrammedAndSaysSo) {
    std::string line = kDriverRebootLine;
    const std::string serial = R"("serial": "DR1",)";
    line.replace(line.find(serial), serial.size(),
                 serial + R"( "faults": [ { "op": "registerRead", "address": "0x080A" } ],)");
    ASSERT_FALSE(WriteFixture(L"driver-reboot-line.json", line).empty());
    const auto run =
        RunZrvcli(L"program --topology line.tcf --record record.csv", fixture_, L"state.json");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    const auto refused = EventLines(run.out, "1-1-1");
    EXPECT_EQ(Count(refused, "prepared"), 0u) << run.out;
    EXPECT_EQ(Count(refused, "not programmed: the hub could not be readied for programming"), 1u)
        << run.out;
    EXPECT_EQ(Count(refused, "Programming"), 0u) << run.out;
    EXPECT_EQ(Count(EventLines(run.out, "1-1-2"), "finished: RESULT_SUCCESS"), 1u) << run.out;
    const std::string record = ReadTextFile(L"record.csv");
    EXPECT_EQ(Count(Lines(record), ",1-1-1,"), 1u) << record;
    EXPECT_EQ(Count(Lines(record), ",spi,7,"), 1u) << record;
}

TEST_F(TopologyLine, AFirstFamilyHubWithoutVendorBlockIsProgrammedOnlyWithDisableUuid) {
    WriteTopology(L"line.tcf", {Plain("1-1-1"), Plain("1-1-4")});
    const auto refused = RunZrvcli(L"program --topology line.tcf", Line(), L"state.json");
    EXPECT_EQ(refused.exitCode, 1u) << refused.out << refused.err;
    EXPECT_TRUE(HasLine(refused.out,
                        "Vendor block not detected for KX610x. Select \"Disable UUID\" menu "
                        "option to ignore vendor block and program."))
        << refused.out;
    EXPECT_EQ(Count(EventLines(refused.out, "1-1-4"), "Programming"), 0u) << refused.out;
    EXPECT_EQ(Count(EventLines(refused.out, "1-1-1"), "finished: RESULT_SUCCESS"), 1u)
        << refused.out;
    EXPECT_EQ(Otp(L"1-1-4").find(kBlockItem), std::string::npos);

    const auto allowed =
        RunZrvcli(L"program --topology line.tcf --disable-uuid", Line(), L"state.json");
    EXPECT_EQ(allowed.exitCode, 0u) << allowed.out << allowed.err;
    EXPECT_EQ(allowed.out.find("Vendor block not detected"), std::string::npos) << allowed.out;
    EXPECT_EQ(Count(EventLines(allowed.out, "1-1-4"), "finished: RESULT_SUCCESS"), 1u)
        << allowed.out;
    EXPECT_NE(Otp(L"1-1-4").find(kBlockItem), std::string::npos);
}

TEST_F(TopologyLine, AnExhaustedCounterLeavesItsHubAloneAndTheOthersRun) {
    WriteTopology(L"line.tcf", {Counter("1-1-1", 0, 2, "TC", "DONE", 1), Plain("1-1-2", 0)});
    const auto run = RunZrvcli(L"program --topology line.tcf", Line(), L"state.json");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_TRUE(HasLine(run.err, "1-1-1 : Error Serial Generation : Max serial number reached"))
        << run.err;
    const auto events = EventLines(run.out, "1-1-1");
    EXPECT_EQ(Count(events, "not programmed"), 1u) << run.out;
    EXPECT_EQ(Count(events, "Programming"), 0u) << run.out;
    EXPECT_EQ(Count(EventLines(run.out, "1-1-2"), "finished: RESULT_SUCCESS"), 1u) << run.out;
    EXPECT_EQ(Otp(L"1-1-1").find(kBlockItem), std::string::npos);
    EXPECT_EQ(TopologyValue(L"line.tcf", L"1-1-1", L"SERCURRENT"), "DONE");
}

TEST_F(TopologyLine, CountersThatCannotBeWrittenBackFailTheRunAndSaySo) {
    WriteTopology(L"line.tcf", {Counter("1-1-1", 0, 2, "TC", "003", 1)});
    const std::string before = ReadTextFile(L"line.tcf");
    ASSERT_TRUE(SetFileAttributesW(L"line.tcf", FILE_ATTRIBUTE_READONLY));
    const auto run = RunZrvcli(L"program --topology line.tcf", Line(), L"state.json");
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    EXPECT_EQ(Count(EventLines(run.out, "1-1-1"), "finished: RESULT_SUCCESS"), 1u) << run.out;
    EXPECT_NE(run.err.find("zrvcli: the serial counters could not be written to line.tcf ("),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadTextFile(L"line.tcf"), before);
}

// Waits until the topology file's value is value (at most timeoutMs); true when it is.
bool WaitForValue(const wchar_t* section, const wchar_t* key, const std::string& value,
                  DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < end) {
        if (TopologyValue(L"line.tcf", section, key) == value) return true;
        Sleep(50);
    }
    return false;
}

TEST_F(TopologyLine, AContinuousRunGivesEachNewBoardTheNextSerialAndSavesAfterEachPass) {
    WriteTopology(L"line.tcf", {Counter("1-1-1", 0, 2, "AU", "001", 1)});
    testsupport::SetLineEnvironment(
        testsupport::WindowsPath(ZRV_FIXTURE_DIR, L"tests/line-hotplug.json"), L"state.json");
    PROCESS_INFORMATION run;
    ASSERT_TRUE(testsupport::StartZrvcli(L"program --topology line.tcf --auto", L"tcfauto", run));
    const wchar_t* out = L"tcfauto-out.txt";
    const DWORD wait = 30000;

    EXPECT_TRUE(testsupport::WaitForText(out, "1-1-1       KX610x   finished:", wait));
    // Saved when the pass ended, while the run goes on.
    EXPECT_TRUE(WaitForValue(L"1-1-1", L"SERCURRENT", "002", wait));
    // Another board on the same port.
    EXPECT_EQ(testsupport::Usbsimctl(L"detach 1-1-1"), 0u);
    const std::wstring board =
        L"\"" + testsupport::WindowsPath(ZRV_FIXTURE_DIR, L"tests/line-board-a.json") + L"\"";
    EXPECT_EQ(testsupport::Usbsimctl(L"attach 1-1-1 " + board), 0u);
    EXPECT_TRUE(testsupport::WaitForText(out, "1-1-1 : Current Serial Number : AU002", wait));
    EXPECT_TRUE(WaitForValue(L"1-1-1", L"SERCURRENT", "003", wait));

    const auto result = testsupport::StopZrvcli(run, L"tcfauto");
    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    const auto events = EventLines(result.out, "1-1-1");
    EXPECT_EQ(Count(events, "finished: RESULT_SUCCESS"), 2u) << result.out;
    EXPECT_EQ(Count(events, "Current Serial Number : AU001"), 1u) << result.out;
    EXPECT_EQ(Count(events, "Current Serial Number : AU002"), 1u) << result.out;
    EXPECT_EQ(TopologyValue(L"line.tcf", L"1-1-1", L"SERCURRENT"), "003");
}

}  // namespace
