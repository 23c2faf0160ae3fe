// The Topology menu: Save (completeness check, file, registry default, reload, and a failed
// save that must leave the old file alone), Load (version check), New; and the write-back of
// serial counters at the end of a run.
#include <gtest/gtest.h>

#include "DeviceData.h"
#include "Sheet.h"
#include "SheetTestSupport.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "resource.h"

namespace guitest {
namespace {

class SheetTopology : public ::testing::Test {
protected:
    void SetUp() override {
        TopologyConfig().ClearTopology();
        ASSERT_TRUE(UseLine(L"tool-line.json"));
    }
    bool Start(bool withKey) {
        if (withKey) {
            SetEmptyToolKey();
        } else {
            SetDefaultTcfKey(nullptr);
        }
        return sheet_.Start();
    }
    std::string Status() { return Narrow(sheet_.StatusPaneText(IDC_EDIT_CONFIG_STATUS)); }

    CSheetThread sheet_;
};

TEST_F(SheetTopology, SaveWritesTheFileReloadsItAndRegistersItAsDefault) {
    for (bool withKey : {true, false}) {
        SCOPED_TRACE(withKey ? "tool key present" : "no tool key");
        ASSERT_TRUE(Start(withKey));
        const std::wstring path = FreshFile(L"saved.tcf");
        sheet_.PostCommand(ID_TOPOLOGY_SAVE);
        ASSERT_TRUE(AnswerFileDialog(sheet_.ThreadId(), sheet_.Sheet(), path));
        ASSERT_TRUE(WaitUntil([&] {
            return Status().find("Cleared existing topology information") != std::string::npos;
        }));
        const std::string file = ReadBytes(path);
        EXPECT_NE(file.find("Version=2.1"), std::string::npos) << file;
        EXPECT_NE(file.find("[1-1-2-3]"), std::string::npos) << file;
        EXPECT_NE(file.find("Count=16"), std::string::npos) << file;
        // The registry default is stored only where the installer made the key.
        EXPECT_EQ(Narrow(StoredDefaultTcf()), withKey ? Narrow(path) : "");
        // Reloaded: every hub is now part of the topology, the execution page opens.
        sheet_.ClickTab(kProgrammerPageIndex);
        EXPECT_EQ(sheet_.ActivePage(), kProgrammerPageIndex);
        EXPECT_EQ(Narrow(CWindow(sheet_.PageItem(IDC_EDIT_TOPOLOGYINUSE)).Text()), Narrow(path));
        EXPECT_TRUE(sheet_.Close());
    }
}

TEST_F(SheetTopology, SaveRefusesAnIncompleteHubNamingIt) {
    ASSERT_TRUE(Start(true));
    const int entry = TopologyConfig().GetTcfItem(L"1-1-2-3");
    ASSERT_GE(entry, 0);
    TopologyConfig().SetConfigComplete(entry, false);
    sheet_.PostCommand(ID_TOPOLOGY_SAVE);
    std::wstring text;
    ASSERT_TRUE(AnswerMessageBox(sheet_.ThreadId(), sheet_.Sheet(), text));
    EXPECT_EQ(Narrow(text),
              "Configuration Error\nPlease fill all required information of node "
              "VARN-7100");
    EXPECT_EQ(WaitForDialog(sheet_.ThreadId(), sheet_.Sheet(), 500), nullptr) << "no file dialog";
    EXPECT_TRUE(sheet_.Close());
}

TEST_F(SheetTopology, AFailedSaveLeavesTheOldFileAsItWasAndSaysSo) {
    const std::string old = ConfiguredLineTcf();
    struct Case {
        const char* name;
        bool readOnly;  // else: held open by another program
    } cases[] = {{"read-only file", true}, {"file in use", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = FreshFile(L"kept.tcf");
        WriteBytes(path, old);
        const std::wstring other = L"Z:\\elsewhere\\other.tcf";
        SetDefaultTcfKey(&other);
        TopologyConfig().ClearTopology();
        ASSERT_TRUE(sheet_.Start());
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.readOnly) {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        } else {
            held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        sheet_.PostCommand(ID_TOPOLOGY_SAVE);
        ASSERT_TRUE(AnswerFileDialog(sheet_.ThreadId(), sheet_.Sheet(), path));
        std::wstring text;
        ASSERT_TRUE(AnswerMessageBox(sheet_.ThreadId(), sheet_.Sheet(), text));
        EXPECT_NE(Narrow(text).find("The topology could not be saved to " + Narrow(path)),
                  std::string::npos)
            << Narrow(text);
        EXPECT_NE(Narrow(text).find("A file already there was left as it was."), std::string::npos);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadBytes(path), old);
        EXPECT_EQ(Narrow(StoredDefaultTcf()), Narrow(other));
        EXPECT_EQ(Status().find("Cleared existing topology information"), std::string::npos);
        EXPECT_TRUE(sheet_.Close());
    }
}

TEST_F(SheetTopology, LoadTakesOnlyVersionTwoPointOne) {
    ASSERT_TRUE(Start(false));
    const int before = TopologyConfig().Count();
    for (const char* version : {"2.0", "2.1.0"}) {
        SCOPED_TRACE(version);
        const std::wstring path = FreshFile(L"old.tcf");
        WriteBytes(path, ConfiguredLineTcf(version));
        sheet_.PostCommand(ID_TOPOLOGY_LOAD);
        ASSERT_TRUE(AnswerFileDialog(sheet_.ThreadId(), sheet_.Sheet(), path));
        std::wstring text;
        ASSERT_TRUE(AnswerMessageBox(sheet_.ThreadId(), sheet_.Sheet(), text));
        EXPECT_EQ(Narrow(text), "TCF file is not compatible with current version of Tool");
        EXPECT_EQ(TopologyConfig().Count(), before);
        EXPECT_EQ(FindItem(TreeItems(sheet_.Tree()), L"Station A"), nullptr);
    }

    const std::wstring path = FreshFile(L"good.tcf");
    WriteBytes(path, ConfiguredLineTcf());
    sheet_.PostCommand(ID_TOPOLOGY_LOAD);
    ASSERT_TRUE(AnswerFileDialog(sheet_.ThreadId(), sheet_.Sheet(), path));
    ASSERT_TRUE(WaitUntil([&] { return FindItem(TreeItems(sheet_.Tree()), L"Station A"); }));
    EXPECT_NE(Status().find("Cleared existing topology information"), std::string::npos);
    sheet_.ClickTab(kProgrammerPageIndex);
    EXPECT_EQ(sheet_.ActivePage(), kProgrammerPageIndex);
    sheet_.ClickTab(kConfigPageIndex);

    // New forgets the loaded labels and starts every position afresh.
    sheet_.Send(WM_COMMAND, ID_TOPOLOGY_VIEW, 0);
    EXPECT_EQ(FindItem(TreeItems(sheet_.Tree()), L"Station A"), nullptr);
    EXPECT_NE(FindItem(TreeItems(sheet_.Tree()), L"KX610x"), nullptr);
    EXPECT_EQ(TopologyConfig().Count(), 16);
    EXPECT_TRUE(TopologyConfig().GetUILabel(TopologyConfig().GetTcfItem(L"1-1-2")).empty());
    EXPECT_TRUE(sheet_.Close());
}

TEST_F(SheetTopology, TheEndOfARunWritesSerialCountersBackOrSaysWhyNot) {
    CSheetThread& sheet = sheet_;
    std::wstring path;
    ASSERT_TRUE(StartWithTopology(sheet, ConfiguredLineTcf(), path));
    const int entry = TopologyConfig().GetTcfItem(L"1-1-2");
    TopologyConfig().SetSerialParamCurrentVal(entry, L"0007");

    // A run that ended normally: the counter goes to the file, no message.
    sheet.Send(kDeviceEventMessage, 0, EVENT_MANAGER_FINISHED);
    EXPECT_NE(ReadBytes(path).find("SERCURRENT=0007"), std::string::npos);
    EXPECT_EQ(WaitForDialog(sheet.ThreadId(), sheet.Sheet(), 300), nullptr);

    // The file cannot take it: the operator hears of it, then of the failed run.
    TopologyConfig().SetSerialParamCurrentVal(entry, L"0008");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    PostMessageW(sheet.Sheet(), kDeviceEventMessage, 0, EVENT_MANAGER_FINISHED);
    std::wstring text;
    ASSERT_TRUE(AnswerMessageBox(sheet.ThreadId(), sheet.Sheet(), text));
    EXPECT_NE(Narrow(text).find("The serial counters could not be written to " + Narrow(path)),
              std::string::npos)
        << Narrow(text);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(ReadBytes(path).find("SERCURRENT=0007"), std::string::npos);

    PostMessageW(sheet.Sheet(), kDeviceEventMessage, static_cast<WPARAM>(-1),
                 EVENT_MANAGER_FINISHED);
    ASSERT_TRUE(AnswerMessageBox(sheet.ThreadId(), sheet.Sheet(), text));
    EXPECT_EQ(Narrow(text), "Operation on one or more device failed");
    EXPECT_TRUE(sheet.Close());
}

}  // namespace
}  // namespace guitest
