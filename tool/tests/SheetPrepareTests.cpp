// START on a line whose hubs take their serials from their unique identifiers, and a hub of that
// kind arriving during automated execution: the identifiers are read while the window keeps
// answering, the status lines and serials come out as a preparation on the window's thread makes
// them, and what reaches the window meanwhile (commands, the library's device events, calls that
// take the sheet's lock) waits and is handled afterwards, never lost and never stuck.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "GuiDriver.h"
#include "RunSheetTest.h"
#include "RunTestSupport.h"
#include "Sheet.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "UsbSimApi.h"
#include "resource.h"

namespace guitest {
namespace {

// prepare-line.json, prepare-line-held.json and prepare-line-automated.json (time scale 2, so
// each identifier read takes about half a second): first-family hubs at 1-1-1 to 1-1-3, port 4
// free, with serials of their own in each fixture (the library keeps the hubs it has seen
// across the sheets of one process). The hubs at 1-1-1 and
// 1-1-3 take their serial from the identifier, the one between them from a counter.
const HubEntry kFirstUuidHub = {"1-1-1",
                                "UINAME=First Uuid Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                                "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"};
const HubEntry kCounterHub = {"1-1-2",
                              "UINAME=Counter Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                              "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=1\r\n"
                              "SERALPHA=AB\r\nSERSTART=0001\r\nSERMAX=00FF\r\nSERINC=1\r\n"
                              "SERCURRENT=0005\r\nSERHEXFMT=1\r\n"};
const HubEntry kLastUuidHub = {"1-1-3",
                               "UINAME=Last Uuid Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                               "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"};
// A board plugged in at 1-1-4 during automated execution, its serial from its identifier too.
const HubEntry kBoardUuidHub = {"1-1-4",
                                "UINAME=Board Uuid Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                                "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"};

// Plugged in at 1-1-4 while the identifiers are read.
const char kBoard[] =
    R"({"hub": {"family": "first", "vid": "3B9A", "pid": "6104", "serial": "QB9",
        "description": "USB 2.0 Hub", "ports": 2,
        "chip": {"uuid": "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF"}}})";
// Plugged in at 1-1-4 during an automated run (prepare-line-automated.json, time scale 6). The
// library's first look at it (one open, one read) passes; the read of its identifier then fails
// two opens and three reads before it succeeds, about 600 ms with the retries' pauses, where
// the first look takes about 150 ms.
const char kUuidBoard[] =
    R"({"hub": {"family": "first", "vid": "3B9A", "pid": "6104", "serial": "QD9",
        "description": "USB 2.0 Hub", "ports": 2,
        "chip": {"uuid": "D0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF"},
        "faults": [{"op": "vendorOpen", "after": 1, "count": 2},
                   {"op": "otpRead", "after": 1, "count": 3}]}})";

bool AttachBoard(const wchar_t* position, const char* json) {
    auto attach = reinterpret_cast<PfnUsbSimAttachJson>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimAttachJson")));
    return attach && attach(position, json) == 0;
}

// The record line of the hub at position ("1-1-2"); empty when there is none.
std::string RecordLine(const std::string& record, const std::string& position) {
    const size_t at = record.find("," + position + ",");
    if (at == std::string::npos) return "";
    const size_t begin = record.rfind('\n', at);
    const size_t end = record.find("\r\n", at);
    return record.substr(begin == std::string::npos ? 0 : begin + 1, end - begin - 1);
}

class SheetPrepare : public RunSheetTest {
protected:
    void Start(const wchar_t* fixture) {
        StartWithTopology(L"prepare.tcf", Tcf({kFirstUuidHub, kCounterHub, kLastUuidHub}), fixture);
    }

    // START on the sheet's thread without waiting for it.
    void StartInBackground() {
        begin_ = GetTickCount();
        sheet_->PostToSheetThread([this](CSheet& sheet) {
            started_ = sheet.StartProgramming();
            InterlockedExchange(&done_, 1);
        });
    }

    volatile LONG done_ = 0;
    bool started_ = false;
    DWORD begin_ = 0;
};

TEST_F(SheetPrepare, StatusLinesSerialsAndRecordComeOutInTheLinesOrder) {
    Start(L"prepare-line.json");
    ASSERT_FALSE(HasFatalFailure());
    const std::wstring record = FreshFile(L"prepare-record.csv");
    sheet_->OnSheetThread([&](CSheet& sheet) { sheet.SetRecordFile(record); });
    ASSERT_TRUE(StartProgramming()) << Status();
    EXPECT_NE(Status().find("1-1-1 : Current Serial Number : 0b0c0d0e0f\r\n"
                            "1-1-2 : Current Serial Number : AB0005\r\n"
                            "1-1-3 : Current Serial Number : 2b2c2d2e2f\r\n"
                            "Started programming\r\n"),
              std::string::npos)
        << Status();
    ASSERT_TRUE(WaitForRunEnd());

    EXPECT_EQ(Occurrences(ChipOtp(L"6104\\QA1"), Utf16("0b0c0d0e0f")), 2u);
    EXPECT_EQ(Occurrences(ChipOtp(L"6104\\QA2"), Utf16("AB0005")), 2u);
    EXPECT_EQ(Occurrences(ChipOtp(L"6104\\QA3"), Utf16("2b2c2d2e2f")), 2u);
    // The record names the identifier a serial was made from; the counter's hub has none read.
    const std::string lines = ReadBytes(record);
    EXPECT_NE(RecordLine(lines, "1-1-1").find(",000102030405060708090A0B0C0D0E0F,0b0c0d0e0f,"),
              std::string::npos)
        << lines;
    EXPECT_NE(RecordLine(lines, "1-1-3").find(",202122232425262728292A2B2C2D2E2F,2b2c2d2e2f,"),
              std::string::npos)
        << lines;
    EXPECT_NE(RecordLine(lines, "1-1-2").find(",,AB0005,"), std::string::npos) << lines;
}

struct SheetCallJob {
    const CSheetThread* sheet;
    std::function<void(CSheet&)> call;
};

DWORD WINAPI RunSheetCall(void* param) {
    std::unique_ptr<SheetCallJob> job(static_cast<SheetCallJob*>(param));
    job->sheet->OnSheetThread(job->call);
    return 0;
}

// Runs a call on the sheet's thread from a thread of its own; false when it did not come back
// within timeoutMs (the sheet's thread is stuck).
bool CallsBackWithin(const CSheetThread& sheet, const std::function<void(CSheet&)>& call,
                     DWORD timeoutMs) {
    auto* job = new SheetCallJob{&sheet, call};
    HANDLE thread = CreateThread(nullptr, 0, RunSheetCall, job, 0, nullptr);
    if (!thread) {
        delete job;
        return false;
    }
    const bool back = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return back;
}

TEST_F(SheetPrepare, TheWindowAnswersWhileTheReadsRunAndCommandsSentMeanwhileWaitForThePass) {
    Start(L"prepare-line-held.json");
    ASSERT_FALSE(HasFatalFailure());
    const HWND window = sheet_->Sheet();
    StartInBackground();
    Sleep(150);  // the record and the parser are set up; the reads are under way

    // "Disable UUID" toggled now would change the rules under the pass: it waits. A call that
    // takes the sheet's lock comes back at once.
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(window, WM_COMMAND, ID_ADVANCED_DISABLEUUID, 0, SMTO_NORMAL, 250,
                                  &answer),
              0);
    EXPECT_TRUE(CallsBackWithin(
        *sheet_, [](CSheet& sheet) { sheet.InvalidateTree(); }, 10000));
    EXPECT_EQ(sheet_->MenuState(ID_ADVANCED_DISABLEUUID) & MF_CHECKED, 0u);
    // START again meanwhile does not prepare a second time: it is a click for afterwards.
    bool again = true;
    EXPECT_TRUE(CallsBackWithin(
        *sheet_, [&](CSheet& sheet) { again = sheet.StartProgramming(); }, 10000));
    EXPECT_FALSE(again);
    ASSERT_EQ(done_, 0) << "the reads ended before the checks ran";

    DWORD longest = 0;
    DWORD longestAt = 0;  // when it was sent, after START
    while (!done_ && GetTickCount() - begin_ < 30000) {
        const DWORD sent = GetTickCount();
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer);
        if (!done_ && GetTickCount() - sent > longest) {
            longest = GetTickCount() - sent;
            longestAt = sent - begin_;
        }
        Sleep(10);
    }
    ASSERT_TRUE(done_);
    const DWORD took = GetTickCount() - begin_;
    ASSERT_GE(took, 700u) << "the reads were too fast to show anything (time scale)";
    EXPECT_LT(longest, 250u) << "sent " << longestAt << " ms after START, which took " << took
                             << " ms";
    EXPECT_TRUE(started_) << Status();
    EXPECT_NE(Status().find("1-1-3 : Current Serial Number : abacadaeaf\r\n"), std::string::npos)
        << Status();
    EXPECT_TRUE(
        WaitUntil([&] { return (sheet_->MenuState(ID_ADVANCED_DISABLEUUID) & MF_CHECKED) != 0; }));
    EXPECT_TRUE(WaitUntil([&] {
        return Status().find("Programming could not be started") != std::string::npos;
    })) << Status();
    EXPECT_EQ(Occurrences(Status(), "Current Serial Number"), 3u) << Status();
    ASSERT_TRUE(WaitForRunEnd());
}

TEST_F(SheetPrepare, AHubArrivingWhileTheReadsRunIsHandledAfterTheStart) {
    Start(L"prepare-line-arrival.json");
    ASSERT_FALSE(HasFatalFailure());
    const size_t items = TreeItems(sheet_->Tree()).size();
    StartInBackground();
    Sleep(150);
    ASSERT_TRUE(AttachBoard(L"1-1-4", kBoard));
    ASSERT_EQ(done_, 0) << "the reads ended before the hub arrived";

    ASSERT_TRUE(WaitUntil([&] { return done_ != 0; }, 30000));
    EXPECT_TRUE(started_) << Status();
    EXPECT_TRUE(WaitUntil([&] { return Status().find("Device Arrived") != std::string::npos; }))
        << Status();
    const std::string status = Status();
    EXPECT_LT(status.find("Started programming"), status.find("Device Arrived")) << status;
    EXPECT_EQ(Occurrences(status, "Current Serial Number"), 3u) << status;
    EXPECT_TRUE(WaitUntil([&] { return TreeItems(sheet_->Tree()).size() > items; }))
        << "the arrived hub is not in the tree";
    ASSERT_TRUE(WaitForRunEnd());
}

TEST_F(SheetPrepare, InAutomatedExecutionTheWindowAnswersWhileAnArrivingHubsIdentifierIsRead) {
    StartWithTopology(L"prepare.tcf",
                      Tcf({kFirstUuidHub, kCounterHub, kLastUuidHub, kBoardUuidHub}),
                      L"prepare-line-automated.json");
    ASSERT_FALSE(HasFatalFailure());
    const std::wstring record = FreshFile(L"prepare-arrival-record.csv");
    sheet_->OnSheetThread([&](CSheet& sheet) { sheet.SetRecordFile(record); });
    ASSERT_TRUE(ChooseAutomatedExecution());
    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitUntil(
        [&] { return Occurrences(Status(), "Programmed and Verified Successfully\r\n") == 3; },
        20000))
        << Status();

    // Each probe is a sent message (WM_NULL, then the status pane's text) timed on its own.
    const std::string serialLine = "1-1-4 : Current Serial Number : dbdcdddedf\r\n";
    const HWND window = sheet_->Sheet();
    DWORD longest = 0;
    DWORD longestAt = 0;  // when it was sent, after the board was plugged in
    const DWORD attached = GetTickCount();
    ASSERT_TRUE(AttachBoard(L"1-1-4", kUuidBoard));
    bool prepared = false;
    while (!prepared && GetTickCount() - attached < 30000) {
        DWORD sent = GetTickCount();
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer);
        DWORD took = GetTickCount() - sent;
        if (took <= 250) {
            sent = GetTickCount();
            prepared = Status().find(serialLine) != std::string::npos;
            took = GetTickCount() - sent;
        }
        if (took > longest) {
            longest = took;
            longestAt = sent - attached;
        }
        Sleep(10);
    }
    const DWORD took = GetTickCount() - attached;
    ASSERT_TRUE(prepared) << Status();
    ASSERT_GE(took, 500u) << "the read was too fast to show anything (time scale)";
    EXPECT_LT(longest, 250u) << "sent " << longestAt << " ms after the board was plugged in; "
                             << "its serial was shown after " << took << " ms";

    EXPECT_TRUE(WaitUntil(
        [&] {
            return Status().find(
                       "Status of Board Uuid Hub : Programmed and Verified Successfully") !=
                   std::string::npos;
        },
        20000))
        << Status();
    EXPECT_EQ(Occurrences(Status(), "1-1-4 : Current Serial Number"), 1u) << Status();
    EXPECT_EQ(Occurrences(ChipOtp(L"6104\\QD9"), Utf16("dbdcdddedf")), 2u);
    bool stopped = false;
    sheet_->OnSheetThread([&](CSheet& sheet) { stopped = sheet.StopProgramming(); });
    EXPECT_TRUE(stopped);
    ASSERT_TRUE(WaitForRunEnd());
    const std::string lines = ReadBytes(record);
    EXPECT_NE(RecordLine(lines, "1-1-4").find(",D0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF,dbdcdddedf,"),
              std::string::npos)
        << lines;
}

}  // namespace
}  // namespace guitest
