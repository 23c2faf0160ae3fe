// START on a line whose hubs take their serials from their unique identifiers: the identifiers
// are read while the window keeps answering, the status lines and serials come out as a
// preparation on the window's thread makes them, and what reaches the window meanwhile
// (commands, the library's device events, calls that take the sheet's lock) waits and is
// handled afterwards, never lost and never stuck.
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

// prepare-line.json and prepare-line-held.json (time scale 2, so each identifier read takes
// about half a second): first-family hubs at 1-1-1 to 1-1-3, port 4 free. The hubs at 1-1-1 and
// 1-1-3 take their serial from the identifier, the one between them from a counter.
const char kTopology[] =
    "[Header]\r\nCount=3\r\nVersion=2.1\r\n"
    "[1-1-1]\r\nUINAME=First Uuid Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\nVERIFY=1\r\n"
    "DOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"
    "[1-1-2]\r\nUINAME=Counter Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\nVERIFY=1\r\n"
    "DOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=1\r\nSERALPHA=AB\r\nSERSTART=0001\r\n"
    "SERMAX=00FF\r\nSERINC=1\r\nSERCURRENT=0005\r\nSERHEXFMT=1\r\n"
    "[1-1-3]\r\nUINAME=Last Uuid Hub\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\nVERIFY=1\r\n"
    "DOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"
    "[Header]\r\nCount=3\r\n";

// Plugged in at 1-1-4 while the identifiers are read.
const char kBoard[] =
    R"({"hub": {"family": "first", "vid": "3B9A", "pid": "6104", "serial": "QB9",
        "description": "USB 2.0 Hub", "ports": 2,
        "chip": {"uuid": "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF"}}})";

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
    void Start(const wchar_t* fixture) { StartWithTopology(L"prepare.tcf", kTopology, fixture); }

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
    auto attach = reinterpret_cast<PfnUsbSimAttachJson>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimAttachJson")));
    ASSERT_NE(attach, nullptr);
    ASSERT_EQ(attach(L"1-1-4", kBoard), 0);
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

}  // namespace
}  // namespace guitest
