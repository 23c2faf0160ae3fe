// Programming runs started from the sheet against a simulated line: every configured hub is
// prepared and programmed once, serial counters advance by the successes and survive a restart,
// the vendor-block and serial rules refuse a hub before anything is written, failures end with
// the failure box, and each hub result becomes a line of the production record.
#include <gtest/gtest.h>

#include <memory>

#include "GuiDriver.h"
#include "RunSheetTest.h"
#include "RunTestSupport.h"
#include "Sheet.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "resource.h"

namespace guitest {
namespace {

// run-line.json: 1-1-1 and 1-1-3 are first-family hubs with a vendor block, 1-1-2 a
// second-family hub, 1-1-4 a first-family hub without one.
const HubEntry kCounterHub = {"1-1-1",
                              "UINAME=Counter Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                              "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=1\r\n"
                              "SERALPHA=AB\r\nSERSTART=0001\r\nSERMAX=00FF\r\nSERINC=1\r\n"
                              "SERCURRENT=0005\r\nSERHEXFMT=1\r\n"};
const HubEntry kSecondHub = {"1-1-2",
                             "UINAME=Second Hub\r\nISHUB=1\r\nPTYPE=1\r\nMEMTYPE=3\r\n"
                             "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=2\r\n"
                             "SERALPHA=S\r\nSERSTART=100\r\nSERMAX=999\r\nSERINC=5\r\n"
                             "SERCURRENT=120\r\nSERHEXFMT=0\r\n"};
const HubEntry kUuidHub = {"1-1-3",
                           "UINAME=Uuid Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\nVERIFY=1\r\n"
                           "DOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"};
const HubEntry kBareHubUnused = {"1-1-4", "UINAME=Bare Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=4\r\n"};
// Its block comes from block.cfg (BlockFile), without a serial.
const HubEntry kBareHubOtp = {"1-1-4",
                              "UINAME=Bare Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\nVERIFY=1\r\n"
                              "DOPROGRAM=1\r\nBCFGFILE=block.cfg\r\nSERTYPE=3\r\n"};

// One configuration item: register 0x0100, two bytes 12 34.
const char kBlock[] = "CFGB\x01\x08\x00\x02\x12\x34";

// The board usbsimctl plugs in at 1-1-4 during automated execution: a hub of its own counter.
const HubEntry kBoardHub = {"1-1-4",
                            "UINAME=Board Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                            "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=1\r\n"
                            "SERALPHA=CD\r\nSERSTART=0001\r\nSERMAX=00FF\r\nSERINC=1\r\n"
                            "SERCURRENT=0010\r\nSERHEXFMT=1\r\n"};

// The first letter of the hub serials in each run-line fixture.
wchar_t LineLetter(const std::wstring& fixture) {
    const struct {
        const wchar_t* fixture;
        wchar_t letter;
    } lines[] = {{L"run-line.json", L'R'},          {L"run-line-next.json", L'N'},
                 {L"run-line-vendor.json", L'V'},   {L"run-line-exhausted.json", L'E'},
                 {L"run-line-failing.json", L'F'},  {L"run-line-record.json", L'W'},
                 {L"run-line-automated.json", L'U'}};
    for (const auto& line : lines) {
        if (fixture == line.fixture) return line.letter;
    }
    return L'?';
}

class SheetRun : public RunSheetTest {
protected:
    // Starts the sheet on a run-line fixture with that topology, or (freshLine false) with the
    // topology of the last start.
    void Start(const std::string& tcf, bool freshLine = true,
               const wchar_t* fixture = L"run-line.json") {
        line_ = LineLetter(fixture);
        if (freshLine) {
            StartWithTopology(L"run.tcf", tcf, fixture);
        } else {
            StartAgain(fixture);
        }
    }
    std::string TcfText() const { return ReadBytes(tcfPath_); }
    // "6104\\<line letter>A1": the hubs of each run-line fixture have serials of their own, so
    // the library meets each test's hubs as new ones.
    std::wstring Hub(const wchar_t* pid, const wchar_t* serial) const {
        return std::wstring(pid) + L"\\" + line_ + serial;
    }

    wchar_t line_ = L'R';
};

TEST_F(SheetRun, ASavedTopologyProgramsEveryConfiguredHubOnceAndCountersContinueAfterARestart) {
    Start(Tcf({kCounterHub, kSecondHub, kUuidHub, kBareHubUnused}));
    const std::wstring record = FreshFile(L"run-record.csv");
    sheet_->OnSheetThread([&](CSheet& sheet) { sheet.SetRecordFile(record); });
    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitForRunEnd());

    const std::string status = Status();
    for (const char* line : {
             "1-1-1 : Current Serial Number : AB0005\r\n",
             "1-1-2 : Current Serial Number : S120\r\n",
             "1-1-3 : Current Serial Number : fbfcfdfeff\r\n",
             "Status of Counter Hub : Programmed and Verified Successfully\r\n",
             "Status of Second Hub : Programmed and Verified Successfully\r\n",
             "Status of Uuid Hub : Programmed and Verified Successfully\r\n",
             "Started programming\r\n",
         }) {
        EXPECT_EQ(Occurrences(status, line), 1u) << line << "\n" << status;
    }
    EXPECT_EQ(status.find("Bare Hub"), std::string::npos) << status;
    // Each serial went into its chip once; the hub without an operation is untouched.
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"6104", L"A1")), Utf16("AB0005")), 2u);
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"7104", L"B1")), Utf16("S120")), 2u);
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"6104", L"A2")), Utf16("fbfcfdfeff")), 2u);
    EXPECT_EQ(ChipOtp(Hub(L"6104", L"A3")).find_first_not_of('\0'), std::string::npos);
    // Counters advanced by exactly the successful hubs, in the file in use.
    std::string tcf = TcfText();
    EXPECT_NE(tcf.find("SERCURRENT=0006\r\n"), std::string::npos) << tcf;
    EXPECT_NE(tcf.find("SERCURRENT=125\r\n"), std::string::npos) << tcf;
    // One record line per hub result, after the header.
    const std::string lines = ReadBytes(record);
    EXPECT_EQ(Occurrences(lines, "\r\n"), 4u) << lines;
    EXPECT_NE(lines.find("1-1-1"), std::string::npos) << lines;
    EXPECT_NE(lines.find("AB0005"), std::string::npos) << lines;
    ASSERT_TRUE(sheet_->Close());

    // A restart continues from the saved counters: no serial is handed out twice, even to
    // fresh hubs.
    Start("", false, L"run-line-next.json");
    std::wstring remembered;
    sheet_->OnSheetThread([&](CSheet& sheet) { remembered = sheet.RecordFile(); });
    EXPECT_EQ(remembered, record);
    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"6104", L"A1")), Utf16("AB0006")), 2u);
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"7104", L"B1")), Utf16("S125")), 2u);
    tcf = TcfText();
    EXPECT_NE(tcf.find("SERCURRENT=0007\r\n"), std::string::npos) << tcf;
    EXPECT_NE(tcf.find("SERCURRENT=130\r\n"), std::string::npos) << tcf;
    EXPECT_EQ(Occurrences(ReadBytes(record), "\r\n"), 7u) << ReadBytes(record) << Status();
}

TEST_F(SheetRun, AHubWithoutVendorBlockIsRefusedUnlessDisableUuidIsChecked) {
    WriteBytes(FreshFile(L"block.cfg"), std::string(kBlock, sizeof(kBlock) - 1));
    Start(Tcf({kCounterHub, kSecondHub, kUuidHub, kBareHubOtp}), true, L"run-line-vendor.json");
    EXPECT_FALSE(StartProgramming());
    EXPECT_NE(Status().find("Vendor block not detected for KX610x. Select \"Disable UUID\" "
                            "menu option to ignore vendor block and program.\r\n"),
              std::string::npos)
        << Status();
    EXPECT_FALSE(Running());
    // Hubs before it in the line were prepared but nothing was programmed.
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"6104", L"A1")), Utf16("AB0005")), 0u);
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"6104", L"A3")), std::string("\x12\x34")), 0u);

    sheet_->PostCommand(ID_ADVANCED_DISABLEUUID);
    ASSERT_TRUE(
        WaitUntil([&] { return (sheet_->MenuState(ID_ADVANCED_DISABLEUUID) & MF_CHECKED); }));
    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_NE(Status().find("Status of Bare Hub : Programmed and Verified Successfully"),
              std::string::npos)
        << Status();
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"6104", L"A3")), std::string("\x12\x34")), 1u);
}

TEST_F(SheetRun, AnExhaustedCounterShowsTheSerialErrorAndLeavesEveryHubAlone) {
    std::string counter = kCounterHub.settings;
    counter.replace(counter.find("SERCURRENT=0005"), 15, "SERCURRENT=DONE");
    const HubEntry exhausted = {"1-1-1", counter.c_str()};
    Start(Tcf({exhausted, kSecondHub, kUuidHub, kBareHubUnused}), true, L"run-line-exhausted.json");
    ASSERT_FALSE(HasFatalFailure()) << Status();
    bool started = true;
    sheet_->PostToSheetThread([&](CSheet& sheet) { started = sheet.StartProgramming(); });
    std::wstring text;
    ASSERT_TRUE(AnswerMessageBox(sheet_->ThreadId(), sheet_->Sheet(), text)) << Status();
    EXPECT_EQ(Narrow(text), "1-1-1 : Error Serial Generation : Max serial number reached");
    sheet_->Send(WM_NULL);
    EXPECT_FALSE(started);
    EXPECT_FALSE(Running());
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"7104", L"B1")), Utf16("S120")), 0u);
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"6104", L"A2")), Utf16("fbfcfdfeff")), 0u);
}

TEST_F(SheetRun, AutomatedExecutionProgramsEachArrivingBoardOnceAndRunsUntilStop) {
    Start(Tcf({kCounterHub, kSecondHub, kUuidHub, kBoardHub}), true, L"run-line-automated.json");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(ChooseAutomatedExecution());
    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitUntil(
        [&] { return Occurrences(Status(), "Programmed and Verified Successfully\r\n") == 3; },
        20000))
        << Status();
    EXPECT_TRUE(Running());

    const std::wstring board = FixturePath(L"board-run-hub.json");
    ASSERT_EQ(RunUsbSimCtl(L"attach 1-1-4 \"" + board + L"\""), 0);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Status().find("Status of Board Hub : Programmed and Verified Successfully") !=
                   std::string::npos;
        },
        20000))
        << Status();
    EXPECT_EQ(Occurrences(ChipOtp(L"6104\\UB9"), Utf16("CD0010")), 2u);
    EXPECT_TRUE(Running());
    // The hubs already done are not programmed again by the arrival.
    EXPECT_EQ(Occurrences(Status(), "Programmed and Verified Successfully\r\n"), 4u) << Status();

    bool stopped = false;
    sheet_->OnSheetThread([&](CSheet& sheet) { stopped = sheet.StopProgramming(); });
    EXPECT_TRUE(stopped);
    ASSERT_TRUE(WaitForRunEnd());
    const std::string tcf = TcfText();
    EXPECT_NE(tcf.find("SERCURRENT=0011\r\n"), std::string::npos) << tcf;
    EXPECT_NE(tcf.find("SERCURRENT=0006\r\n"), std::string::npos) << tcf;
}

TEST_F(SheetRun, AFailingHubEndsTheRunWithTheFailureBox) {
    // run-line-failing.json: the OTP of the hub at 1-1-1 refuses every write.
    Start(Tcf({kCounterHub, kSecondHub, kUuidHub, kBareHubUnused}), true, L"run-line-failing.json");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(StartProgramming()) << Status();
    std::wstring text;
    ASSERT_TRUE(AnswerMessageBox(sheet_->ThreadId(), sheet_->Sheet(), text, IDOK)) << Status();
    EXPECT_EQ(Narrow(text), "Operation on one or more device failed");
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_NE(Status().find("Status of Counter Hub : Failed Program Verify"), std::string::npos)
        << Status();
    EXPECT_NE(Status().find("Status of Uuid Hub : Programmed and Verified Successfully"),
              std::string::npos)
        << Status();
    // Only the successful hub counted; the failed one keeps its serial for the next run.
    EXPECT_NE(TcfText().find("SERCURRENT=0005\r\n"), std::string::npos) << TcfText();
}

TEST_F(SheetRun, ARecordFileThatCannotBeOpenedStopsTheStart) {
    Start(Tcf({kCounterHub, kSecondHub, kUuidHub, kBareHubUnused}), true, L"run-line-record.json");
    ASSERT_FALSE(HasFatalFailure());
    sheet_->OnSheetThread(
        [](CSheet& sheet) { sheet.SetRecordFile(L"Z:\\no\\such\\folder\\record.csv"); });
    bool started = true;
    sheet_->PostToSheetThread([&](CSheet& sheet) { started = sheet.StartProgramming(); });
    std::wstring text;
    ASSERT_TRUE(AnswerMessageBox(sheet_->ThreadId(), sheet_->Sheet(), text));
    EXPECT_EQ(Narrow(text).rfind("The production record cannot be written: ", 0), 0u)
        << Narrow(text);
    sheet_->Send(WM_NULL);
    EXPECT_FALSE(started);
    EXPECT_FALSE(Running());
    EXPECT_EQ(Occurrences(ChipOtp(Hub(L"6104", L"A2")), Utf16("fbfcfdfeff")), 0u);
}

}  // namespace
}  // namespace guitest
