// The configuration page (node settings, completeness, file choice, debug buttons), the serial
// settings dialog and the execution page (radio mirror, record file choice), driven through
// window messages against the simulated line.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "DeviceData.h"
#include "HalvexZRVLib.h"
#include "RecordChoice.h"
#include "Sheet.h"
#include "SheetTestSupport.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "resource.h"

namespace guitest {
namespace {

constexpr int kFilterCombo = 0x470;  // cmb1 of the file dialogs

class Pages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartWithTopology(sheet_, ConfiguredLineTcf(), tcf_));
        ASSERT_TRUE(WaitForLateHubs());
    }
    void TearDown() override { EXPECT_TRUE(sheet_.Close()); }

    const CDeviceData* Select(const std::wstring& name) {
        const TreeItem item = ItemNamed(sheet_.Tree(), name);
        if (!item.handle) return nullptr;
        SendMessageW(sheet_.Tree(), TVM_SELECTITEM, TVGN_CARET,
                     reinterpret_cast<LPARAM>(item.handle));
        return reinterpret_cast<const CDeviceData*>(item.data);
    }
    // The line's two hubs of no known family are queued only when the library's wait for their
    // fifth endpoint runs out (10 s); each time the tree is rebuilt and the selection dropped. The
    // tests start after those rebuilds, so no click of theirs meets one.
    bool WaitForLateHubs() const {
        auto family = reinterpret_cast<int32_t(__cdecl*)(int32_t, int32_t)>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"HalvexZRVLib.dll"), "GetHubFamily")));
        if (!family) return false;
        const bool registered = WaitUntil(
            [&] {
                int generic = 0;
                for (int32_t node = 0; node < 16; ++node) {
                    if (family(0, node) == HUB_FAMILY_GENERIC) ++generic;
                }
                return generic == 2;
            },
            30000);
        // Their events are posted just after the family is set.
        Sleep(200);
        return registered && sheet_.Flush();
    }
    HWND Item(int id) const { return sheet_.PageItem(id); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != 0; }
    std::string Text(int id) const { return Narrow(CWindow(Item(id)).Text()); }
    std::vector<std::string> ListTexts(int id) const {
        std::vector<std::string> texts;
        const LRESULT count = SendMessageW(Item(id), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t text[128] = {};
            SendMessageW(Item(id), CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(text));
            texts.push_back(Narrow(text));
        }
        return texts;
    }
    // Chooses the list entry with that text as the operator would.
    void Choose(int id, const wchar_t* text) const {
        const LRESULT at = SendMessageW(Item(id), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text));
        ASSERT_GE(at, 0) << Narrow(text);
        SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        SendMessageW(sheet_.Page(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(id)));
    }
    // A click whose handler may open a modal window: posted, so this thread stays free.
    void Click(int id) const {
        PostMessageW(sheet_.Page(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Item(id)));
    }
    std::string Status() const { return Narrow(sheet_.StatusPaneText(IDC_EDIT_CONFIG_STATUS)); }

    CSheetThread sheet_;
    std::wstring tcf_;
};

TEST_F(Pages, ConfigurationFollowsTheNodeRules) {
    CTCFData& tcf = TopologyConfig();
    // A hub the tool does not recognise: only the part number can be changed; it is complete.
    const CDeviceData* other = Select(L"VARN-7100");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Text(IDC_STATIC_PORTSETTING), "PORT CONFIGURATION:  VARN-7100 ");
    EXPECT_TRUE(Enabled(IDC_COMBO_PARTTYPE));
    EXPECT_FALSE(Enabled(IDC_COMBO_MEMTYPE));
    EXPECT_FALSE(Enabled(IDC_CHECK_PROGRAM));
    EXPECT_TRUE(tcf.IsConfigComplete(other->TcfIndex()));

    // A first-family hub on OTP with a confirmed counter: complete, "More..." offered.
    const CDeviceData* hub = Select(L"Station A");
    ASSERT_NE(hub, nullptr);
    const int entry = hub->TcfIndex();
    EXPECT_EQ(Text(IDC_STATIC_PORTSETTING), "PORT CONFIGURATION:  Station A ");
    EXPECT_EQ(ListTexts(IDC_COMBO_MEMTYPE),
              (std::vector<std::string>{"SPI Partial (Config)", "SPI Copy from OTP", "SPI", "OTP",
                                        "N/A"}));
    EXPECT_EQ(Text(IDC_COMBO_MEMTYPE), "OTP");
    EXPECT_TRUE(IsDlgButtonChecked(sheet_.Page(), IDC_CHECK_PROGRAM));
    EXPECT_TRUE(Enabled(IDC_BUTTON_MORE));
    EXPECT_TRUE(tcf.IsConfigComplete(entry));

    // Another memory type drops the operations, the file and the serial type.
    Choose(IDC_COMBO_MEMTYPE, L"SPI");
    EXPECT_EQ(tcf.GetMemoryType(entry), 2);
    EXPECT_FALSE(tcf.GetProgramRequiredOption(entry));
    EXPECT_FALSE(tcf.GetVerifyOption(entry));
    EXPECT_EQ(tcf.GetSerialType(entry), kSerialTypeNone);
    EXPECT_FALSE(tcf.IsConfigComplete(entry)) << "no operation";
    EXPECT_FALSE(Enabled(IDC_BUTTON_BROWSE));

    // Program: an SPI image is now needed; "..." offers binary files.
    SendMessageW(Item(IDC_CHECK_PROGRAM), BM_CLICK, 0, 0);
    EXPECT_TRUE(tcf.GetProgramRequiredOption(entry));
    EXPECT_FALSE(tcf.IsConfigComplete(entry)) << "no image";
    EXPECT_TRUE(Enabled(IDC_BUTTON_BROWSE));
    EXPECT_FALSE(Enabled(IDC_BUTTON_MORE));
    const std::wstring image = FreshFile(L"image.bin");
    WriteBytes(image, std::string(64, '\x5a'));
    Click(IDC_BUTTON_BROWSE);
    HWND dialog = WaitForDialog(sheet_.ThreadId(), sheet_.Sheet());
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return GetDlgItem(dialog, kFilterCombo) != nullptr; }));
    Sleep(200);
    EXPECT_EQ(Narrow(CWindow(GetDlgItem(dialog, kFilterCombo)).Text()), "Binary File (*.bin)");
    ASSERT_TRUE(AnswerFileDialog(sheet_.ThreadId(), sheet_.Sheet(), image));
    ASSERT_TRUE(WaitUntil([&] { return tcf.GetConfigFile(entry) == image; }));
    EXPECT_EQ(Text(IDC_EDIT_FILEPATH), Narrow(image));
    EXPECT_TRUE(tcf.IsConfigComplete(entry));

    // OTP with program and no file: incomplete until a serial is confirmed (checking
    // "Program Device" also set the serial type to "No Serial").
    Choose(IDC_COMBO_MEMTYPE, L"OTP");
    SendMessageW(Item(IDC_CHECK_PROGRAM), BM_CLICK, 0, 0);
    EXPECT_TRUE(Enabled(IDC_BUTTON_MORE));
    tcf.SetSerialConfirmed(entry, false);
    SendMessageW(Item(IDC_CHECK_VERIFYIMAGE), BM_CLICK, 0, 0);
    EXPECT_FALSE(tcf.IsConfigComplete(entry));
    tcf.SetSerialConfirmed(entry, true);
    SendMessageW(Item(IDC_CHECK_VERIFYIMAGE), BM_CLICK, 0, 0);
    EXPECT_TRUE(tcf.IsConfigComplete(entry));

    // The second family: its own memory types; the type goes back to "N/A", operations stay.
    Choose(IDC_COMBO_PARTTYPE, L"KX710x/8213/8413/9204/9224/9134");
    EXPECT_EQ(tcf.GetPartType(entry), 1);
    EXPECT_EQ(tcf.GetMemoryType(entry), kMemoryTypeUnknown);
    EXPECT_TRUE(tcf.GetProgramRequiredOption(entry));
    EXPECT_EQ(ListTexts(IDC_COMBO_MEMTYPE),
              (std::vector<std::string>{"SPI Partial (Config)", "SPI", "OTP", "N/A"}));
    EXPECT_TRUE(tcf.IsConfigComplete(entry));
    WritePng(CaptureWindow(sheet_.Sheet()),
             std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/config-page-hub.png");

    // The controller node is no hub: everything greyed.
    Select(L"Standard Enhanced PCI to USB Host Controller");
    EXPECT_EQ(Text(IDC_STATIC_PORTSETTING), "PORT CONFIGURATION:");
    EXPECT_FALSE(Enabled(IDC_COMBO_PARTTYPE));
    EXPECT_EQ(Text(IDC_COMBO_PARTTYPE), "Not Recognized");
}

struct OwnedSearch {
    HWND owner;
    const wchar_t* caption;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM l) {
    auto* s = reinterpret_cast<OwnedSearch*>(l);
    if (GetWindow(window, GW_OWNER) != s->owner) return TRUE;
    if (s->visibleOnly && !IsWindowVisible(window)) return TRUE;
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (wcscmp(className, L"#32770") != 0) return TRUE;
    if (s->caption && CWindow(window).Text() != s->caption) return TRUE;
    s->found = window;
    return FALSE;
}

// A visible dialog of the thread owned by owner (a message box over a dialog), with that
// caption when one is given; null when none.
HWND OwnedWindow(DWORD threadId, HWND owner, const wchar_t* caption = nullptr,
                 bool visibleOnly = true) {
    OwnedSearch search{owner, caption, visibleOnly, nullptr};
    EnumThreadWindows(threadId, FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Selects the hub and clicks "More..."; the dialog's window. The line's late hub (a fifth-endpoint
// wait running out) rebuilds the tree once, and a click handled just after that finds nothing
// selected and opens nothing: once the click has been handled and no dialog exists, select and
// click again.
HWND OpenSerialDialog(const CSheetThread& sheet, const std::function<bool()>& select) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!select()) return nullptr;
        PostMessageW(sheet.Page(), WM_COMMAND, MAKEWPARAM(IDC_BUTTON_MORE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(sheet.PageItem(IDC_BUTTON_MORE)));
        // The dialog's modal loop takes the marker too, after the dialog was made.
        if (!sheet.Flush()) return nullptr;
        if (!OwnedWindow(sheet.ThreadId(), sheet.Sheet(), L"Serial Setting", false)) continue;
        HWND dialog = nullptr;
        WaitUntil([&] {
            return (dialog = OwnedWindow(sheet.ThreadId(), sheet.Sheet(), L"Serial Setting"));
        });
        return dialog;
    }
    return nullptr;
}

TEST_F(Pages, SerialDialogValidatesAndStoresTheCounter) {
    CTCFData& tcf = TopologyConfig();
    const CDeviceData* hub = Select(L"Station A");
    ASSERT_NE(hub, nullptr);
    const int entry = hub->TcfIndex();
    auto selectHub = [&] { return Select(L"Station A") != nullptr; };
    HWND dialog = OpenSerialDialog(sheet_, selectHub);
    ASSERT_NE(dialog, nullptr);
    auto text = [&](int id) { return Narrow(CWindow(GetDlgItem(dialog, id)).Text()); };
    auto enabled = [&](int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; };
    EXPECT_EQ(Narrow(CWindow(dialog).Text()), "Serial Setting");
    EXPECT_EQ(text(IDC_STATIC_SERIALPREFIX), "Alpha Prefix\n\r(Max 4 chars)");
    // Stored values, greyed until "Reset"; "OK" stores them again and restarts the counter.
    EXPECT_EQ(text(IDC_COMBO_SERIALTYPE), "Custom (Hex)");
    EXPECT_EQ(text(IDC_EDIT_SERIALPREFIX), "AB");
    EXPECT_EQ(text(IDC_EDIT_SERIALSTART), "0001");
    EXPECT_EQ(text(IDC_EDIT_SERIALMAX), "00FF");
    EXPECT_EQ(text(IDC_EDIT_SERIALINCREMENT), "1");
    EXPECT_FALSE(enabled(IDC_EDIT_SERIALSTART));
    EXPECT_FALSE(enabled(IDC_STATIC_SERIALSTART));
    EXPECT_TRUE(enabled(IDC_BUTTON_SERIALRESET));
    EXPECT_EQ(Narrow(tcf.GetSerialParamCurrentVal(entry)), "0005");
    ASSERT_TRUE(PressButton(dialog, IDC_BUTTON_SERIALOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(Narrow(tcf.GetSerialParamCurrentVal(entry)), "0001");

    // Each opening: "Reset", type the values, "OK".
    auto enter = [&](const wchar_t* prefix, const wchar_t* start, const wchar_t* maximum,
                     const wchar_t* increment) {
        dialog = OpenSerialDialog(sheet_, selectHub);
        if (!dialog) {
            ADD_FAILURE() << "no dialog; More... enabled " << Enabled(IDC_BUTTON_MORE);
            return false;
        }
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_BUTTON_SERIALRESET, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_BUTTON_SERIALRESET)));
        if (!WaitUntil([&] { return enabled(IDC_EDIT_SERIALSTART); })) {
            ADD_FAILURE() << "not reset";
            return false;
        }
        SetDlgItemTextW(dialog, IDC_EDIT_SERIALPREFIX, prefix);
        SetDlgItemTextW(dialog, IDC_EDIT_SERIALSTART, start);
        SetDlgItemTextW(dialog, IDC_EDIT_SERIALMAX, maximum);
        SetDlgItemTextW(dialog, IDC_EDIT_SERIALINCREMENT, increment);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_BUTTON_SERIALOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_BUTTON_SERIALOK)));
        return true;
    };
    struct Case {
        const wchar_t *prefix, *start, *maximum, *increment;
        const char* message;
    } refused[] = {
        {L"ABCDE", L"0001", L"00FF", L"1", "Error Serial Data: Invalid Alpha value"},
        {L"AB", L"0100", L"00FF", L"1", "Error Serial Data: Start greater than Max"},
        {L"AB", L"00G1", L"00FF", L"1", "Error Serial Data: Invalid Start value"},
        {L"AB", L"0001", L"00FF", L"", "Error Serial Data: Invalid Increment value"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.message);
        ASSERT_TRUE(enter(c.prefix, c.start, c.maximum, c.increment));
        HWND box = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (box = OwnedWindow(sheet_.ThreadId(), dialog)); }));
        EXPECT_EQ(Narrow(MessageBoxText(box)), c.message);
        ASSERT_TRUE(PressButton(box, IDOK));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
        EXPECT_TRUE(IsWindow(dialog)) << "the dialog stays open";
        ASSERT_TRUE(PressButton(dialog, IDCANCEL));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
        EXPECT_EQ(Narrow(tcf.GetSerialParamAlphaVal(entry)), "AB") << "nothing stored";
    }
    ASSERT_TRUE(enter(L"CD", L"0010", L"0020", L"2"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }))
        << Narrow(MessageBoxText(OwnedWindow(sheet_.ThreadId(), dialog)));
    EXPECT_EQ(Narrow(tcf.GetSerialParamAlphaVal(entry)), "CD");
    EXPECT_EQ(Narrow(tcf.GetSerialParamStartVal(entry)), "0010");
    EXPECT_EQ(Narrow(tcf.GetSerialParamMaxVal(entry)), "0020");
    EXPECT_EQ(Narrow(tcf.GetSerialParamCurrentVal(entry)), "0010");
    EXPECT_EQ(tcf.GetSerialParamIncrementVal(entry), 2);
    EXPECT_TRUE(tcf.IsSerialConfirmed(entry));

    // "No Serial" is stored on OK at once; the counter fields stay as they were.
    dialog = OpenSerialDialog(sheet_, selectHub);
    ASSERT_NE(dialog, nullptr);
    SendMessageW(GetDlgItem(dialog, IDC_COMBO_SERIALTYPE), CB_SETCURSEL, kSerialTypeNone, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_COMBO_SERIALTYPE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_COMBO_SERIALTYPE)));
    EXPECT_FALSE(enabled(IDC_EDIT_SERIALSTART));
    EXPECT_EQ(text(IDC_EDIT_SERIALSTART), "");
    ASSERT_TRUE(PressButton(dialog, IDC_BUTTON_SERIALOK));
    EXPECT_EQ(tcf.GetSerialType(entry), kSerialTypeNone);
}

std::string ChipArea(const std::wstring& instanceId, const char* area) {
    auto read = reinterpret_cast<int(__cdecl*)(const wchar_t*, const char*, unsigned char*, int)>(
        reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimReadChipMemory")));
    if (!read) return "";
    std::string bytes(8192, '\0');
    const int size = read(instanceId.c_str(), area, reinterpret_cast<unsigned char*>(&bytes[0]),
                          static_cast<int>(bytes.size()));
    bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return bytes;
}

TEST(DebugButtons, DumpOtpWritesTheChipsOtpAndProgramRamLoadsAFile) {
    SetDefaultTcfKey(nullptr);
    TopologyConfig().ClearTopology();
    ASSERT_TRUE(UseLine(L"line-small.json"));
    CSheetThread sheet;
    ASSERT_TRUE(sheet.Start());
    auto status = [&] { return Narrow(sheet.StatusPaneText(IDC_EDIT_CONFIG_STATUS)); };
    sheet.PostCommand(ID_ADVANCED_DEBUGOPTIONS);
    ASSERT_TRUE(
        WaitUntil([&] { return IsWindowVisible(sheet.PageItem(IDC_BUTTON_PROGRAMRAM)) != 0; }));
    const TreeItem item = ItemNamed(sheet.Tree(), L"KX610x");
    ASSERT_NE(item.handle, nullptr);
    SendMessageW(sheet.Tree(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item.handle));
    const std::wstring instance =
        reinterpret_cast<const CDeviceData*>(item.data)->GetDeviceInstanceID();

    const std::wstring dump = FreshFile(L"otp-dump.bin");
    PostMessageW(sheet.PageItem(IDC_BUTTON_DUMPOTP), BM_CLICK, 0, 0);
    ASSERT_TRUE(AnswerFileDialog(sheet.ThreadId(), sheet.Sheet(), dump));
    ASSERT_TRUE(WaitUntil([&] { return status().find("OTP dumped to") != std::string::npos; }))
        << status();
    EXPECT_NE(status().find("OTP dumped to" + Narrow(dump) + "\r\n"), std::string::npos)
        << status();
    // The chip's memory is known to the simulator once the chip was opened.
    const std::string otp = ChipArea(instance, "otp");
    ASSERT_EQ(otp.size(), 2048u) << Narrow(instance);
    EXPECT_EQ(ReadBytes(dump), otp);

    const std::wstring config = FreshFile(L"ram.cfg");
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<char>(i * 7 + 1));
    WriteBytes(config, bytes);
    PostMessageW(sheet.PageItem(IDC_BUTTON_PROGRAMRAM), BM_CLICK, 0, 0);
    ASSERT_TRUE(AnswerFileDialog(sheet.ThreadId(), sheet.Sheet(), config));
    ASSERT_TRUE(WaitUntil([&] {
        return status().find("Device Programmed Success") != std::string::npos;
    })) << status();
    EXPECT_EQ(ChipArea(instance, "ram").substr(30, bytes.size()), bytes);
    EXPECT_TRUE(sheet.Close());
}

TEST_F(Pages, ExecutionPageMirrorsTheRunModeAndRemembersTheRecordFile) {
    sheet_.ClickTab(kProgrammerPageIndex);
    ASSERT_EQ(sheet_.ActivePage(), kProgrammerPageIndex);
    const bool once = (sheet_.MenuState(ID_PROGRAMOPTIONS_PROGRAMONCE) & MF_CHECKED) != 0;
    const int other = once ? IDC_RADIO_AUTOMATED : IDC_RADIO_ONCE;
    SendMessageW(Item(other), BM_CLICK, 0, 0);
    EXPECT_EQ((sheet_.MenuState(ID_PROGRAMOPTIONS_PROGRAMONCE) & MF_CHECKED) != 0, !once);
    EXPECT_EQ((sheet_.MenuState(ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM) & MF_CHECKED) != 0, once);

    DeleteFileW(RecordChoicePath(tcf_).c_str());
    const std::wstring record = FreshFile(L"line-record.csv");
    Click(IDC_BUTTON_RECORDFILE);
    ASSERT_TRUE(AnswerFileDialog(sheet_.ThreadId(), sheet_.Sheet(), record));
    ASSERT_TRUE(WaitUntil([&] { return Text(IDC_EDIT_RECORDFILE) == Narrow(record); }));
    EXPECT_EQ(Narrow(RememberedRecordFile(tcf_)), Narrow(record));
    WritePng(CaptureWindow(sheet_.Sheet()),
             std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/execution-page-record.png");

    // The next start with the same topology shows it again.
    ASSERT_TRUE(sheet_.Close());
    CSheetThread again;
    ASSERT_TRUE(again.Start());
    again.ClickTab(kProgrammerPageIndex);
    ASSERT_EQ(again.ActivePage(), kProgrammerPageIndex);
    EXPECT_EQ(Narrow(CWindow(again.PageItem(IDC_EDIT_RECORDFILE)).Text()), Narrow(record));
    EXPECT_TRUE(again.Close());
    ASSERT_TRUE(sheet_.Start());
}

TEST(RecordChoice, RememberedBesideTheTopologyFile) {
    EXPECT_EQ(Narrow(RecordChoicePath(L"")), "");
    EXPECT_EQ(Narrow(RecordChoicePath(L"C:\\lines\\a.tcf")), "C:\\lines\\ProductionRecord.ini");
    EXPECT_EQ(Narrow(RecordChoicePath(L"Z:/tmp/b.tcf")), "Z:/tmp/ProductionRecord.ini");
    EXPECT_EQ(Narrow(RecordChoicePath(L"c.tcf")), ".\\ProductionRecord.ini");
    EXPECT_FALSE(RememberRecordFile(L"", L"x.csv"));
}

}  // namespace
}  // namespace guitest
