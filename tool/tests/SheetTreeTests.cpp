// The topology tree as the sheet builds it from a simulated line: items, positions, names,
// colours and marks, label editing.
#include <gtest/gtest.h>

#include "DeviceData.h"
#include "TreeView.h"
#include "GuiDriver.h"
#include "Sheet.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "resource.h"

namespace guitest {
namespace {

const CDeviceData* RecordOf(const TreeItem& item) {
    return reinterpret_cast<const CDeviceData*>(item.data);
}

class SheetTree : public ::testing::Test {
protected:
    void SetUp() override {
        SetDefaultTcfKey(nullptr);
        TopologyConfig().ClearTopology();
    }
};

TEST_F(SheetTree, ShowsEveryPortWithItsPositionAndName) {
    ASSERT_TRUE(UseLine(L"tool-line.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    const std::vector<TreeItem> items = TreeItems(sheet.Tree());
    struct Expected {
        const wchar_t* position;
        int depth;
        const wchar_t* name;  // null: the library's display name
    } expected[] = {
        {L"1-1", 1, nullptr},          {L"1-1-1", 2, nullptr},        {L"1-1-2", 2, L"KX610x"},
        {L"1-1-2-1", 3, L"1234-5678"}, {L"1-1-2-1-1", 4, nullptr},    {L"1-1-2-1-2", 4, nullptr},
        {L"1-1-2-2", 3, nullptr},      {L"1-1-2-3", 3, L"VARN-7100"}, {L"1-1-2-3-1", 4, nullptr},
        {L"1-1-2-3-2", 4, nullptr},    {L"1-1-2-4", 3, nullptr},      {L"1-1-3", 2, nullptr},
        {L"1-1-4", 2, nullptr},        {L"1-2", 1, nullptr},          {L"1-2-1", 2, nullptr},
        {L"1-2-2", 2, nullptr},
    };
    ASSERT_EQ(items.size(), 1 + sizeof(expected) / sizeof(expected[0]));
    EXPECT_EQ(Narrow(items[0].text), "My Computer");
    EXPECT_EQ(items[0].data, 0);
    for (size_t i = 0; i < sizeof(expected) / sizeof(expected[0]); ++i) {
        const TreeItem& item = items[i + 1];
        SCOPED_TRACE(Narrow(expected[i].position));
        ASSERT_NE(RecordOf(item), nullptr);
        EXPECT_EQ(Narrow(RecordOf(item)->GetInternalPortName()), Narrow(expected[i].position));
        EXPECT_EQ(item.depth, expected[i].depth);
        if (expected[i].name) {
            EXPECT_EQ(Narrow(item.text), Narrow(expected[i].name));
        }
        EXPECT_FALSE(item.text.empty());
    }
    // Every position got an entry of its own in the topology configuration.
    EXPECT_EQ(TopologyConfig().Count(), 16);
    EXPECT_EQ(TopologyConfig().GetPartType(TopologyConfig().GetTcfItem(L"1-1-2")), 0);
    EXPECT_EQ(TopologyConfig().GetPartType(TopologyConfig().GetTcfItem(L"1-1-2-3")), 2);
    EXPECT_TRUE(sheet.Close());
}

TEST_F(SheetTree, NewHubsAreRedAndReportedAndKeepTheExecutionPageClosed) {
    ASSERT_TRUE(UseLine(L"tool-line.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    const std::wstring status = sheet.StatusPaneText(IDC_EDIT_CONFIG_STATUS);
    for (const char* position : {"1-1-2", "1-1-2-1", "1-1-2-3"}) {
        EXPECT_NE(Narrow(status).find(std::string("Topoloy changed @ ") + position + "\r\n"),
                  std::string::npos)
            << Narrow(status);
    }
    EXPECT_EQ(Narrow(status).find("Topoloy changed @ 1-1-1"), std::string::npos);

    HWND tree = sheet.Tree();
    RedrawWindow(tree, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(tree) != 0; }));
    Sleep(300);
    const Capture capture = CaptureWindow(tree);
    const std::vector<TreeItem> items = TreeItems(tree);
    int hubsSeen = 0;
    for (const TreeItem& item : items) {
        RECT rect = {};
        if (!CTreeView(tree).ItemTextRect(item.handle, rect)) continue;  // collapsed
        const bool hub = RecordOf(item) && RecordOf(item)->GetDeviceType() == NODE_TYPE_HUB;
        hubsSeen += hub ? 1 : 0;
        SCOPED_TRACE(Narrow(item.text));
        EXPECT_EQ(CountColour(tree, capture, rect, RGB(200, 10, 10)) > 0, hub);
        EXPECT_EQ(CountColour(tree, capture, rect, RGB(127, 127, 127)) > 0, !hub);
    }
    EXPECT_EQ(hubsSeen, 3);

    sheet.ClickTab(kProgrammerPageIndex);
    std::wstring text;
    ASSERT_TRUE(AnswerMessageBox(sheet.ThreadId(), sheet.Sheet(), text));
    EXPECT_EQ(Narrow(text), "Save the topology before Programming");
    EXPECT_EQ(sheet.ActivePage(), kConfigPageIndex);
    EXPECT_TRUE(sheet.Close());
}

TEST_F(SheetTree, APortThatDoesNotAnswerMovesNoOtherPort) {
    ASSERT_TRUE(UseLine(L"tool-dead-port.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    const std::vector<TreeItem> items = TreeItems(sheet.Tree());
    const TreeItem* hub = FindItem(items, L"KX610x");
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(Narrow(RecordOf(*hub)->GetInternalPortName()), "1-1-3");
    // The dead port has no item; its neighbours keep their numbers.
    std::vector<std::string> positions;
    for (const TreeItem& item : items) {
        if (RecordOf(item)) positions.push_back(Narrow(RecordOf(item)->GetInternalPortName()));
    }
    EXPECT_EQ(positions,
              (std::vector<std::string>{"1-1", "1-1-1", "1-1-3", "1-1-3-1", "1-1-3-2", "1-1-4"}));
    EXPECT_TRUE(sheet.Close());
}

TEST_F(SheetTree, ALabelEditGoesIntoTheTopology) {
    ASSERT_TRUE(UseLine(L"tool-line.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    HWND tree = sheet.Tree();
    const HTREEITEM handle = ItemNamed(tree, L"KX610x").handle;
    ASSERT_NE(handle, nullptr);
    const int entry = TopologyConfig().GetTcfItem(L"1-1-2");

    struct Edit {
        const wchar_t* text;
        const char* shown;
    } edits[] = {{L"Station A", "Station A"}, {L"", "Station A"}};
    for (const Edit& edit : edits) {
        SCOPED_TRACE(Narrow(edit.text));
        SetFocus(tree);
        HWND editor = reinterpret_cast<HWND>(
            SendMessageW(tree, TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(handle)));
        ASSERT_NE(editor, nullptr);
        SendMessageW(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(edit.text));
        SendMessageW(tree, TVM_ENDEDITLABELNOW, FALSE, 0);
        const TreeItem item =
            ItemNamed(tree, std::wstring(edit.shown, edit.shown + strlen(edit.shown)));
        ASSERT_EQ(item.handle, handle);
        EXPECT_EQ(Narrow(RecordOf(item)->GetPortName()), edit.shown);
        EXPECT_EQ(Narrow(TopologyConfig().GetUILabel(entry)), edit.shown);
    }
    EXPECT_TRUE(sheet.Close());
}

}  // namespace
}  // namespace guitest
