// The sheet's menu and guards: greying by page, the two toggles, the About box, keys that must
// not close the sheet, and closing while the programmer runs.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "DeviceData.h"
#include "IParser.h"
#include "Sheet.h"
#include "SheetTestSupport.h"
#include "ToolTestLine.h"
#include "ConfigEditorIds.h"
#include "DefaultTcfRegistry.h"
#include "resource.h"

namespace guitest {
namespace {

constexpr UINT kGreyed = MF_GRAYED | MF_DISABLED;

TEST(SheetMenu, MenusFollowTheActivePage) {
    CSheetThread sheet;
    std::wstring path;
    ASSERT_TRUE(StartWithTopology(sheet, ConfiguredLineTcf(), path));
    // The editor page reads its template folder when it is first shown.
    const std::string source = ZRV_FIXTURE_DIR;
    const std::wstring templates =
        L"Z:" + std::wstring(source.begin(), source.end()) + L"/templates/";
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, kToolRegistryKey, L"Path", REG_SZ, templates.c_str(),
                        static_cast<DWORD>((templates.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    EXPECT_TRUE(sheet.MenuState(ID_PROGRAMOPTIONS_PROGRAMONCE) & MF_CHECKED);
    EXPECT_FALSE(sheet.MenuState(ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM) & MF_CHECKED);
    EXPECT_FALSE(sheet.MenuState(ID_ADVANCED_DISABLEUUID) & MF_CHECKED);
    struct Step {
        int page;
        bool execution, topology, advanced;
    } steps[] = {{kConfigPageIndex, true, true, true},
                 {kProgrammerPageIndex, true, false, false},
                 {kConfigEditorIndex, false, false, false},
                 {kConfigPageIndex, true, true, true}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.page);
        sheet.ClickTab(step.page);
        ASSERT_EQ(sheet.ActivePage(), step.page);
        EXPECT_EQ((sheet.MenuPopupState(0) & kGreyed) == 0, step.execution);
        EXPECT_EQ((sheet.MenuPopupState(1) & kGreyed) == 0, step.topology);
        EXPECT_EQ((sheet.MenuPopupState(2) & kGreyed) == 0, step.advanced);
        EXPECT_EQ(sheet.MenuPopupState(3) & kGreyed, 0u);
        if (step.page == kConfigEditorIndex) {
            EXPECT_EQ(SendMessageW(sheet.PageItem(IDC_EDITOR_PART_NUMBER), CB_GETCOUNT, 0, 0), 12);
        }
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

// The library's programmer manager kept running: one hub prepared, automated execution.
class CRunningManager {
public:
    explicit CRunningManager(const std::wstring& hubPath) {
        HMODULE library = GetModuleHandleW(L"HalvexZRVLib.dll");
        HMODULE parserLibrary = LoadLibraryW(L"Pellvane.dll");
        auto indices =
            Bind<bool(__cdecl*)(const wchar_t*, int32_t*, int32_t*)>(library, "GetDeviceIndicesUI");
        auto setMode =
            Bind<int32_t(__cdecl*)(int32_t, int32_t, int32_t)>(library, "SetStorageMode");
        auto setRequired =
            Bind<bool(__cdecl*)(int32_t, int32_t, bool)>(library, "SetProgrammingRequired");
        auto setBlock = Bind<int32_t(__cdecl*)(int32_t, int32_t, const uint8_t*, uint32_t)>(
            library, "SetConfigurationBlock");
        auto start = Bind<int32_t(__cdecl*)(bool)>(library, "StartProgrammerManager");
        stop_ = Bind<int32_t(__cdecl*)()>(library, "StopProgrammerManager");
        running_ = Bind<bool(__cdecl*)()>(library, "IsProgrammerManagerRunning");
        auto createParser = Bind<CreateParserFn>(parserLibrary, "CreateParser");
        int32_t controller = -1, node = -1;
        if (!indices || !setMode || !setRequired || !setBlock || !start || !createParser ||
            !indices(hubPath.c_str(), &controller, &node)) {
            return;
        }
        // A block made of a serial number alone.
        std::unique_ptr<IParser> parser(createParser(nullptr, 0, nullptr, 0, 0));
        const wchar_t serial[] = L"0a0b0c0d0e";
        std::vector<uint8_t> block;
        if (parser && parser->SetConfigurationBlock(nullptr, 0, serial, 10) == 0) {
            block.resize(parser->GetConfigBlockSize());
            parser->GetConfigBlock(static_cast<uint32_t>(block.size()), block.data());
        }
        parser.reset();
        FreeLibrary(parserLibrary);
        // Each step needs the hub in the library's registry.
        if (setMode(controller, node, STORAGE_OTP) != 0 ||
            setBlock(controller, node, block.data(), static_cast<uint32_t>(block.size())) != 0 ||
            !setRequired(controller, node, true)) {
            return;
        }
        started_ = start(false) == 0 && WaitUntil([this] { return running_(); });
    }
    ~CRunningManager() { Stop(); }
    bool Started() const { return started_; }
    bool Running() const { return running_ && running_(); }
    bool Stop() {
        if (!stop_ || !running_) return true;
        stop_();
        return WaitUntil([this] { return !running_(); });
    }

private:
    template <typename F>
    static F Bind(HMODULE module, const char* name) {
        return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                      : nullptr;
    }

    int32_t(__cdecl* stop_)() = nullptr;
    bool(__cdecl* running_)() = nullptr;
    bool started_ = false;
};

TEST(SheetMenu, WhileTheProgrammerRunsThePageStaysAndClosingAsksFirst) {
    CSheetThread sheet;
    std::wstring path;
    ASSERT_TRUE(StartWithTopology(sheet, ConfiguredLineTcf(), path));
    const TreeItem hub = ItemNamed(sheet.Tree(), L"Station A");
    ASSERT_NE(hub.handle, nullptr);
    sheet.ClickTab(kProgrammerPageIndex);
    ASSERT_EQ(sheet.ActivePage(), kProgrammerPageIndex);
    CRunningManager manager(reinterpret_cast<const CDeviceData*>(hub.data)->GetDevicePath());
    ASSERT_TRUE(manager.Started());

    sheet.ClickTab(kConfigPageIndex);
    std::wstring text;
    ASSERT_TRUE(AnswerMessageBox(sheet.ThreadId(), sheet.Sheet(), text));
    EXPECT_EQ(Narrow(text), "Stop Programming before modifying the configuration");
    EXPECT_EQ(sheet.ActivePage(), kProgrammerPageIndex);

    PostMessageW(sheet.Sheet(), WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = WaitForDialog(sheet.ThreadId(), sheet.Sheet());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Narrow(CWindow(box).Text()), "Quit Tool?");
    EXPECT_EQ(Narrow(MessageBoxText(box)),
              "Programmer thread is still running.\r\nClick Yes to Quit anyway");
    EXPECT_TRUE(PressButton(box, IDNO));
    Sleep(200);
    EXPECT_TRUE(sheet.IsRunning());
    EXPECT_TRUE(manager.Running());

    EXPECT_TRUE(manager.Stop());
    // The end of the run may bring the notice of a failed hub (the line's hub cannot be opened):
    // once the run's last events were taken off the queue, it is open if it comes at all.
    EXPECT_TRUE(sheet.Flush());
    if (HWND notice = WaitForDialog(sheet.ThreadId(), sheet.Sheet(), 1000)) {
        EXPECT_EQ(Narrow(MessageBoxText(notice)), "Operation on one or more device failed");
        PressButton(notice, IDOK);
    }
    EXPECT_TRUE(sheet.Close());
}

}  // namespace
}  // namespace guitest
