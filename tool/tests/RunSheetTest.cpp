#include "RunSheetTest.h"

#include "Sheet.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "resource.h"

namespace guitest {

void RunSheetTest::StartWithTopology(const wchar_t* tcfName, const std::string& tcf,
                                     const wchar_t* fixture) {
    tcfPath_ = FreshFile(tcfName);
    WriteBytes(tcfPath_, tcf);
    SetDefaultTcfKey(&tcfPath_);
    FreshFile(L"ProductionRecord.ini");
    StartAgain(fixture);
}

void RunSheetTest::StartAgain(const wchar_t* fixture) {
    ASSERT_TRUE(UseLine(fixture));
    TopologyConfig().ClearTopology();
    sheet_ = std::make_unique<CSheetThread>();
    ASSERT_TRUE(sheet_->Start());
    sheet_->ClickTab(kProgrammerPageIndex);
    ASSERT_TRUE(WaitUntil([&] { return sheet_->ActivePage() == kProgrammerPageIndex; }));
}

std::string RunSheetTest::Status() const {
    return Narrow(sheet_->StatusPaneText(IDC_EDIT_PROGRAM_STATUS));
}

bool RunSheetTest::ChooseAutomatedExecution() {
    sheet_->PostCommand(ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM);
    return WaitUntil(
        [&] { return (sheet_->MenuState(ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM) & MF_CHECKED) != 0; });
}

bool RunSheetTest::StartProgramming() {
    bool started = false;
    sheet_->OnSheetThread([&](CSheet& sheet) { started = sheet.StartProgramming(); });
    return started;
}

bool RunSheetTest::Running() const {
    bool running = false;
    sheet_->OnSheetThread([&](CSheet& sheet) { running = sheet.GetProgrammerStatus(); });
    return running;
}

bool RunSheetTest::WaitForRunEnd(DWORD timeoutMs) {
    if (!WaitUntil([&] { return !Running(); }, timeoutMs)) return false;
    // The manager's last events were posted before it stopped running.
    return sheet_->Flush();
}

}  // namespace guitest
