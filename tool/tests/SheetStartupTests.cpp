// What the sheet does when it opens: the last saved topology from the registry, the first tree,
// and how the pages look.
#include <gtest/gtest.h>

#include "DeviceData.h"
#include "Sheet.h"
#include "SheetTestSupport.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "TreeView.h"
#include "resource.h"

namespace guitest {
namespace {

constexpr char kNoDefault[] =
    "Error loading last saved topology\r\nEnumeration current topology to configure\r\n";
constexpr char kIncompatible[] =
    "No compatible last saved topology\r\nEnumeration current topology to configure\r\n";

TEST(SheetStartup, LastSavedTopologyOutcomes) {
    struct Case {
        const char* name;
        int registry;  // 0 no key, 1 key without value, 2 value naming the file
        std::string file;
        const char* status;  // the start of the status pane
        bool saved;
    } cases[] = {
        {"no key", 0, "", kNoDefault, false},
        {"no value", 1, "", kNoDefault, false},
        {"missing file", 2, "", kIncompatible, false},
        {"version 2.0", 2, ConfiguredLineTcf("2.0"), kIncompatible, false},
        {"version 2.10", 2, ConfiguredLineTcf("2.10"), kIncompatible, false},
        {"no nodes", 2, "[Header]\r\nCount=0\r\nVersion=2.1\r\n", kNoDefault, false},
        {"usable", 2, ConfiguredLineTcf(), "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = FreshFile(L"startup.tcf");
        if (!c.file.empty()) WriteBytes(path, c.file);
        if (c.registry == 0) SetDefaultTcfKey(nullptr);
        if (c.registry == 1) SetEmptyToolKey();
        if (c.registry == 2) SetDefaultTcfKey(&path);
        TopologyConfig().ClearTopology();
        ASSERT_TRUE(UseLine(L"tool-line.json"));
        CSheetThread sheet;
        ASSERT_TRUE(sheet.Start());
        const std::string status = Narrow(sheet.StatusPaneText(IDC_EDIT_CONFIG_STATUS));
        EXPECT_EQ(status.rfind(c.status, 0), 0u) << status;
        EXPECT_EQ(status.find("Topoloy changed") == std::string::npos, c.saved) << status;

        sheet.ClickTab(kProgrammerPageIndex);
        if (c.saved) {
            EXPECT_EQ(sheet.ActivePage(), kProgrammerPageIndex);
            EXPECT_EQ(Narrow(CWindow(sheet.PageItem(IDC_EDIT_TOPOLOGYINUSE)).Text()), Narrow(path));
        } else {
            std::wstring text;
            EXPECT_TRUE(AnswerMessageBox(sheet.ThreadId(), sheet.Sheet(), text));
            EXPECT_EQ(sheet.ActivePage(), kConfigPageIndex);
        }
        EXPECT_TRUE(sheet.Close());
    }
}

// Double-clicks the item; true when a label editor opened (it is closed again unchanged).
bool DoubleClickStartsEditing(HWND tree, const TreeItem& item) {
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item.handle));
    RECT rect;
    if (!CTreeView(tree).ItemTextRect(item.handle, rect)) return false;
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PostMessageW(tree, WM_LBUTTONUP, 0, point);
    const bool editing =
        WaitUntil([tree] { return TreeView_GetEditControl(tree) != nullptr; }, 1000);
    SendMessageW(tree, TVM_ENDEDITLABELNOW, TRUE, 0);
    return editing;
}

TEST(SheetStartup, ConfiguredHubsShowTheirLabelsAndColours) {
    CSheetThread sheet;
    std::wstring path;
    ASSERT_TRUE(StartWithTopology(sheet, ConfiguredLineTcf(), path));
    HWND tree = sheet.Tree();
    const std::vector<TreeItem> items = TreeItems(tree);
    const TreeItem* labelled = FindItem(items, L"Station A");
    ASSERT_NE(labelled, nullptr);
    EXPECT_EQ(FindItem(items, L"KX610x"), nullptr);
    struct Case {
        const TreeItem* item;
        int state;
        COLORREF colour;
    } cases[] = {
        {labelled, kTopologyConfigured, RGB(0, 73, 153)},
        {FindItem(items, L"VARN-7100"), kTopologyNoOperation, RGB(0, 0, 0)},
    };
    RedrawWindow(tree, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Sleep(300);
    const Capture capture = CaptureWindow(tree);
    for (const Case& c : cases) {
        ASSERT_NE(c.item, nullptr);
        SCOPED_TRACE(Narrow(c.item->text));
        EXPECT_EQ(reinterpret_cast<const CDeviceData*>(c.item->data)->GetTopoLogy(), c.state);
        RECT rect;
        ASSERT_TRUE(CTreeView(tree).ItemTextRect(c.item->handle, rect));
        EXPECT_GT(CountColour(tree, capture, rect, c.colour), 0);
        EXPECT_EQ(CountColour(tree, capture, rect, RGB(200, 10, 10)), 0);
    }
    WritePng(CaptureWindow(sheet.Sheet()),
             std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/config-page.png");
    EXPECT_TRUE(DoubleClickStartsEditing(tree, *labelled));

    // Execution view: status colours, removal marks, no label editing.
    sheet.ClickTab(kProgrammerPageIndex);
    ASSERT_EQ(sheet.ActivePage(), kProgrammerPageIndex);
    tree = sheet.Tree();
    RedrawWindow(tree, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Sleep(300);
    WritePng(CaptureWindow(sheet.Sheet()),
             std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/execution-page.png");
    SetFocus(tree);
    EXPECT_EQ(SendMessageW(tree, TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(labelled->handle)), 0);
    EXPECT_TRUE(sheet.Close());
}

}  // namespace
}  // namespace guitest
