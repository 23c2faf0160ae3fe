// The sheet's menu and guards: greying by page, the two toggles, the About box, keys that must
// not close the sheet, and closing while the programmer runs.
#include <gtest/gtest.h>

#include "Sheet.h"
#include "SheetTestSupport.h"
#include "ToolTestLine.h"
#include "resource.h"

namespace guitest {
namespace {

constexpr UINT kGreyed = MF_GRAYED | MF_DISABLED;

TEST(SheetMenu, MenusFollowTheActivePage) {
    CSheetThread sheet;
    std::wstring path;
    ASSERT_TRUE(StartWithTopology(sheet, ConfiguredLineTcf(), path));
    EXPECT_TRUE(sheet.MenuState(ID_PROGRAMOPTIONS_PROGRAMONCE) & MF_CHECKED);
    EXPECT_FALSE(sheet.MenuState(ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM) & MF_CHECKED);
    EXPECT_FALSE(sheet.MenuState(ID_ADVANCED_DISABLEUUID) & MF_CHECKED);
    struct Step {
        int page;
        bool execution, topology, advanced;
    } steps[] = {{kConfigPageIndex, true, true, true},
                 {kProgrammerPageIndex, true, false, false},
                 {kConfigPageIndex, true, true, true}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.page);
        sheet.ClickTab(step.page);
        ASSERT_EQ(sheet.ActivePage(), step.page);
        EXPECT_EQ((sheet.MenuPopupState(0) & kGreyed) == 0, step.execution);
        EXPECT_EQ((sheet.MenuPopupState(1) & kGreyed) == 0, step.topology);
        EXPECT_EQ((sheet.MenuPopupState(2) & kGreyed) == 0, step.advanced);
        EXPECT_EQ(sheet.MenuPopupState(3) & kGreyed, 0u);
    }
    EXPECT_TRUE(sheet.Close());
}

TEST(SheetMenu, TogglesShowDebugControlsAndMarkDisableUuid) {
    SetDefaultTcfKey(nullptr);
    ASSERT_TRUE(UseLine(L"tool-line.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    const int debugControls[] = {IDC_BUTTON_DUMPOTP, IDC_BUTTON_PROGRAMRAM, IDC_STATIC_ADVANCED,
                                 IDC_SEPARATOR_TOP, IDC_SEPARATOR_BOTTOM};
    for (bool shown : {false, true, false}) {
        SCOPED_TRACE(shown ? "shown" : "hidden");
        for (int id : debugControls)
            EXPECT_EQ(IsWindowVisible(sheet.PageItem(id)) != 0, shown) << id;
        EXPECT_FALSE(IsWindowVisible(sheet.PageItem(IDC_BUTTON_DUMPOTPALL)));
        EXPECT_EQ((sheet.MenuState(ID_ADVANCED_DEBUGOPTIONS) & MF_CHECKED) != 0, shown);
        sheet.Send(WM_COMMAND, ID_ADVANCED_DEBUGOPTIONS, 0);
    }
    for (bool checked : {false, true, false}) {
        EXPECT_EQ((sheet.MenuState(ID_ADVANCED_DISABLEUUID) & MF_CHECKED) != 0, checked);
        sheet.Send(WM_COMMAND, ID_ADVANCED_DISABLEUUID, 0);
    }
    EXPECT_TRUE(sheet.Close());
}

TEST(SheetMenu, AboutBoxShowsTheVersion) {
    SetDefaultTcfKey(nullptr);
    ASSERT_TRUE(UseLine(L"tool-line.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    sheet.PostCommand(ID_HELP_ABOUT);
    HWND about = WaitForDialog(sheet.ThreadId(), sheet.Sheet());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Narrow(CWindow(about).Text()), "About");
    EXPECT_EQ(Narrow(CWindow(GetDlgItem(about, IDC_STATIC_VERSION)).Text()), "Version 4.1.9.0");
    WritePng(CaptureWindow(about), std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/about.png");
    EXPECT_TRUE(PressButton(about, IDOK));
    EXPECT_TRUE(sheet.Close());
}

TEST(SheetMenu, EnterAndEscapeDoNotCloseTheSheet) {
    SetDefaultTcfKey(nullptr);
    ASSERT_TRUE(UseLine(L"tool-line.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    HWND focus = sheet.PageItem(IDC_COMBO_PARTTYPE);
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    }
    sheet.Send(WM_COMMAND, IDOK, 0);
    sheet.Send(WM_COMMAND, IDCANCEL, 0);
    Sleep(300);
    EXPECT_TRUE(sheet.IsRunning());
    EXPECT_TRUE(IsWindowVisible(sheet.Sheet()));
    EXPECT_TRUE(sheet.Close());
}

TEST(SheetMenu, ClosingWhileTheProgrammerRunsAsksFirst) {
    SetDefaultTcfKey(nullptr);
    ASSERT_TRUE(UseLine(L"tool-line.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    HMODULE library = GetModuleHandleW(L"HalvexZRVLib.dll");
    ASSERT_NE(library, nullptr);
    auto start = reinterpret_cast<int32_t(__cdecl*)(bool)>(
        reinterpret_cast<void*>(GetProcAddress(library, "StartProgrammerManager")));
    auto stop = reinterpret_cast<int32_t(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(library, "StopProgrammerManager")));
    auto running = reinterpret_cast<bool(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(library, "IsProgrammerManagerRunning")));
    ASSERT_TRUE(start && stop && running);
    ASSERT_EQ(start(false), 0);  // automated execution keeps running
    ASSERT_TRUE(WaitUntil([&] { return running(); }));

    PostMessageW(sheet.Sheet(), WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = WaitForDialog(sheet.ThreadId(), sheet.Sheet());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Narrow(CWindow(box).Text()), "Quit Tool?");
    EXPECT_EQ(Narrow(MessageBoxText(box)),
              "Programmer thread is still running.\r\nClick Yes to Quit anyway");
    EXPECT_TRUE(PressButton(box, IDNO));
    Sleep(200);
    EXPECT_TRUE(sheet.IsRunning());
    EXPECT_TRUE(running());

    stop();
    ASSERT_TRUE(WaitUntil([&] { return !running(); }));
    EXPECT_TRUE(sheet.Close());
}

}  // namespace
}  // namespace guitest
