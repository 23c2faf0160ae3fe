// Bad input to zrvcli's programming and debug commands: one line on stderr,
// exit code 2, and nothing written to any hub (the chip state file never
// holds a configuration block or an image afterwards).
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <vector>

#include "ZrvcliRun.h"

namespace {

using testsupport::Lines;
using testsupport::RunZrvcli;
using testsupport::WindowsPath;

std::wstring Fixture(const wchar_t* name) {
    return WindowsPath(ZRV_FIXTURE_DIR, name);
}

using testsupport::WriteBytes;

std::vector<uint8_t> Image(size_t size) {
    std::vector<uint8_t> image(size, 0xA5);
    const char tag[] = "2DFU";
    if (size >= 0xFFFE) std::copy(tag, tag + 4, image.begin() + 0xFFFA);
    return image;
}

void Text(const wchar_t* path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class ZrvcliBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        // One item: register 0x3000 = 0x5A.
        WriteBytes(L"good.cfg", {'C', 'F', 'G', 'B', 1, 0x40, 0x00, 0x03, 0x30, 0x00, 0x5A});
        WriteBytes(L"bad.cfg", {'C', 'F', 'G', 'B', 1, 0x40, 0x00, 0x03, 0x30, 0x00});
        WriteBytes(L"short.bin", Image(0xFFFE));
        WriteBytes(L"64k.bin", Image(0x10000));
        std::ofstream(L"other.csv", std::ios::binary | std::ios::trunc) << "name,value\r\n";
        // Topology files: one hub at 1-1-1 in OTP mode, then the broken kinds.
        const std::string hub =
            "[1-1-1]\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\nDOPROGRAM=1\r\n"
            "BCFGFILE=good.cfg\r\nSERTYPE=3\r\n";
        Text(L"good.tcf", "[Header]\r\nCount=1\r\nVersion=2.1\r\n" + hub);
        Text(L"old.tcf", "[Header]\r\nCount=1\r\nVersion=2.0\r\n" + hub);
        Text(L"nocount.tcf", "[Header]\r\nVersion=2.1\r\n" + hub);
        Text(L"idle.tcf",
             "[Header]\r\nCount=2\r\nVersion=2.1\r\n[1-1-1]\r\nISHUB=1\r\nMEMTYPE=4\r\n"
             "[1-1-2]\r\nISHUB=0\r\nMEMTYPE=3\r\n");
        DeleteFileW(L"state.json");
        DeleteFileW(L"dump.bin");
    }
};

TEST_F(ZrvcliBadInput, OneLineExitCode2AndNoHubTouched) {
    const std::wstring line = Fixture(L"tests/line-small.json");
    struct Case {
        const wchar_t* arguments;
        std::wstring fixture;
        const char* message;
    } cases[] = {
        {L"program", line, "zrvcli: give either --family or --position"},
        {L"program --family first --file missing.cfg --mode otp", line,
         "zrvcli: cannot open missing.cfg"},
        {L"program --family first --file bad.cfg --mode otp", line,
         "zrvcli: bad.cfg: the configuration block's size"},
        {L"program --family first --file short.bin --mode spi", line,
         "zrvcli: short.bin: a first-family image has exactly 65535 bytes"},
        {L"program --family second --file good.cfg --mode spi", line,
         "zrvcli: good.cfg: a second-family image has 65534 to 131072 bytes"},
        {L"program --position 1-1-3-2 --file good.cfg --mode otp", line,
         "zrvcli: no hub at position 1-1-3-2"},
        {L"program --position 1-1-1 --position 1-1-4 --file good.cfg --mode otp", line,
         "zrvcli: no hub at position 1-1-4 (the node there is not a hub)"},
        {L"program --position 1-1-2 --position 1-1-1 --file 64k.bin --mode spi --settle-ms 5000",
         line, "zrvcli: 64k.bin for the "},
        {L"program --family first --file good.cfg --mode otp --record no-such-folder\\r.csv", line,
         "zrvcli: cannot open the record file no-such-folder\\r.csv"},
        {L"program --family first --file good.cfg --mode otp --record other.csv", line,
         "zrvcli: cannot append to the record file other.csv: it is not a production record"},
        {L"program --family first --file good.cfg --mode otp", Fixture(L"tests/board-device.json"),
         "zrvcli: the simulated USB line cannot be used: "},
        {L"program --topology missing.tcf", line,
         "zrvcli: cannot open the topology file missing.tcf (error 2"},
        {L"program --topology old.tcf", line,
         "zrvcli: old.tcf: topology file version \"2.0\", this program reads 2.1"},
        {L"program --topology nocount.tcf", line,
         "zrvcli: nocount.tcf: not a topology file (it has no node count)"},
        {L"program --topology idle.tcf", line,
         "zrvcli: idle.tcf configures no hub for programming"},
        {L"program --topology good.tcf --file good.cfg", line,
         "zrvcli: --topology takes each hub's settings from the file: --file does not go with it"},
        {L"program --topology good.tcf --record other.csv", line,
         "zrvcli: cannot append to the record file other.csv: it is not a production record"},
        {L"program --family first --file good.cfg --mode otp --disable-uuid", line,
         "zrvcli: --disable-uuid goes with --topology"},
        {L"dump-otp 1-1-3-2 dump.bin", line, "zrvcli: no hub at position 1-1-3-2"},
        {L"dump-otp 1-1-1 no-such-folder\\dump.bin", line,
         "zrvcli: cannot write no-such-folder\\dump.bin"},
        {L"dump-otp 1-1-1", line, "zrvcli: usage: zrvcli dump-otp POSITION FILE"},
        {L"write-ram 1-1-1 missing.cfg", line, "zrvcli: cannot open missing.cfg"},
        {L"write-ram 1-1-1 64k.bin", line, "zrvcli: 64k.bin: not a configuration block"},
        {L"write-ram 1-1 good.cfg", line,
         "zrvcli: no hub at position 1-1 (the node there is not a hub)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.arguments, c.arguments + wcslen(c.arguments)));
        const auto run = RunZrvcli(c.arguments, c.fixture, L"state.json");
        EXPECT_EQ(run.exitCode, 2u) << run.out << run.err;
        EXPECT_EQ(run.out.find("prepared"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("programmer"), std::string::npos) << run.out;
        // stderr: what the simulator says about its line, then zrvcli's one line.
        std::vector<std::string> errors;
        for (const std::string& text : Lines(run.err)) {
            if (text.rfind("zrvcli:", 0) == 0) errors.push_back(text);
        }
        ASSERT_EQ(errors.size(), 1u) << run.err;
        EXPECT_EQ(Lines(run.err).back(), errors[0]);
        EXPECT_EQ(errors[0].rfind(c.message, 0), 0u) << errors[0];
        const std::string state = testsupport::ReadTextFile(L"state.json");
        EXPECT_EQ(state.find("43464742"), std::string::npos) << "a CFGB block was written";
        EXPECT_EQ(state.find("32444655"), std::string::npos) << "a 2DFU image was written";
        EXPECT_EQ(GetFileAttributesW(L"dump.bin"), INVALID_FILE_ATTRIBUTES);
    }
}

}  // namespace
