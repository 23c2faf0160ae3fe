// The configuration editor page in a test sheet: rows built from templates,
// label selection, scrolling, Save to File and Open File with the field
// library, the messages, and what ends up in the files.
#include "EditorTestFixture.h"
#include "IParser.h"
#include "Lorvath.h"

namespace {

using namespace editortest;

TEST_F(ConfigEditor, StartsWithThePartListAndTheHint) {
    Open();
    EXPECT_TRUE(shown_.empty()) << "the template folder was read";
    EXPECT_EQ(folder_, Page().TemplateFolder());
    HWND list = Host().Item(IDC_EDITOR_PART_NUMBER);
    ASSERT_EQ(12, SendMessageW(list, CB_GETCOUNT, 0, 0));
    const wchar_t* order[] = {L"KX7102", L"KX7103", L"KX7104",  L"KX8213",  L"KX8413",  L"KX9124",
                              L"KX9204", L"KX9224", L"KX6102B", L"KX6103B", L"KX6104B", L"KX6107B"};
    for (int i = 0; i < 12; ++i) {
        wchar_t text[32] = {};
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(order[i], text);
    }
    EXPECT_EQ(CB_ERR, SendMessageW(list, CB_GETCURSEL, 0, 0));
    // The cue text "Select SKU" is not checked: Wine's combo box has no cue banner.
    HWND hint = Host().Item(IDC_EDITOR_MESSAGE);
    EXPECT_EQ(kHint, Host().Text(hint));
    EXPECT_TRUE(Host().Visible(hint));
    EXPECT_FALSE(IsWindowEnabled(Host().Item(IDC_EDITOR_OPEN_FILE)));
    EXPECT_FALSE(IsWindowEnabled(Host().Item(IDC_EDITOR_SAVE_FILE)));
    EXPECT_FALSE(IsWindowEnabled(Host().Item(IDC_EDITOR_RESET_FIELDS)));
    wchar_t caption[64] = {};
    TCITEMW tab = {};
    tab.mask = TCIF_TEXT;
    tab.pszText = caption;
    tab.cchTextMax = 64;
    SendMessageW(PropSheet_GetTabControl(Host().Sheet()), TCM_GETITEMW, 0,
                 reinterpret_cast<LPARAM>(&tab));
    EXPECT_STREQ(L"VARN Quorvel Configuration Editor", caption);
}

TEST_F(ConfigEditor, UnreadableTemplateFolderIsReportedAndTemplatesThenFail) {
    const struct {
        const char* what;
        std::function<void()> prepare;
        std::wstring expected;
    } cases[] = {
        {"no key", [] { RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot); }, L"2:Error"},
        {"no value", [] { RegDeleteKeyValueW(HKEY_CURRENT_USER, kScratchKey, L"Path"); },
         L"2:Error"},
        {"not text", [this] { SetPath(REG_BINARY, L"ab"); }, L"1630:Error"},
        {"too long", [this] { SetPath(REG_SZ, std::wstring(260, L'a')); }, L"234:Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.prepare();
        shown_.clear();
        Open();
        ASSERT_EQ(1u, shown_.size());
        EXPECT_EQ(c.expected, shown_[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_OK), shown_[0].type);

        Host().SelectPart(kFirstFamily);
        const std::wstring message = Host().Text(Host().Item(IDC_EDITOR_MESSAGE));
        EXPECT_NE(std::wstring::npos, message.find(L"Cannot open KX6103B.xml")) << message;
        EXPECT_TRUE(Host().Visible(Host().Item(IDC_EDITOR_MESSAGE)));
        EXPECT_EQ(CB_ERR, SendMessageW(Host().Item(IDC_EDITOR_PART_NUMBER), CB_GETCURSEL, 0, 0));
        EXPECT_FALSE(ButtonsEnabled());
        EXPECT_EQ(nullptr, GetWindow(Host().FieldArea(), GW_CHILD));
    }
}

TEST_F(ConfigEditor, RowsOfATemplate) {
    Open();
    Host().SelectPart(kTestPart);
    EXPECT_FALSE(Host().Visible(Host().Item(IDC_EDITOR_MESSAGE)));
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_EQ(Host().Item(IDC_EDITOR_PART_NUMBER), GetFocus());

    EXPECT_EQ(nullptr, Label(1)) << "display No: no row";
    EXPECT_EQ(nullptr, Label(4)) << "unknown display type: no row";
    EXPECT_EQ(nullptr, Value(1));
    const struct {
        int field;
        const wchar_t* label;
        int top;
        bool checked;
    } labels[] = {
        {0, L"Vendor ID: ", 10, true},
        {2, L"Port Power Switching: ", 40, false},
        {3, L"Self-Powered: ", 160, true},
        {5, L"Name: ", 190, true},
    };
    for (const auto& l : labels) {
        SCOPED_TRACE(l.field);
        HWND label = Label(l.field);
        ASSERT_NE(nullptr, label);
        EXPECT_EQ(l.label, Host().Text(label));
        const RECT rect = Host().RectOf(label);
        EXPECT_EQ(10, rect.left);
        EXPECT_EQ(l.top, rect.top);
        EXPECT_EQ(300, rect.right - rect.left);
        EXPECT_EQ(20, rect.bottom - rect.top);
        EXPECT_EQ(l.checked, Host().Checked(label));
        EXPECT_EQ(l.checked, IsWindowEnabled(Value(l.field)) != FALSE) << "enabled with the label";
        EXPECT_EQ(410, Host().RectOf(Value(l.field)).left);
        EXPECT_EQ(l.top, Host().RectOf(Value(l.field)).top);
    }
    EXPECT_EQ(L"0x2D3A", Host().Text(Value(0)));
    EXPECT_EQ(L"Hub", Host().Text(Value(5)));
    EXPECT_TRUE(Host().Checked(Value(3)));

    // The radio field: three options a row apart, the first starting a group.
    const wchar_t* options[] = {L"Ganged", L"Individual", L"Always On"};
    for (int i = 0; i < 3; ++i) {
        HWND option = Value(2, i);
        ASSERT_NE(nullptr, option);
        EXPECT_EQ(options[i], Host().Text(option));
        EXPECT_EQ(40 + 30 * i, Host().TopOf(option));
        EXPECT_EQ(300, Host().RectOf(option).right - Host().RectOf(option).left);
        EXPECT_EQ(i == 0, (GetWindowLongW(option, GWL_STYLE) & WS_GROUP) != 0);
        EXPECT_EQ(i == 1, Host().Checked(option)) << "the option equal to the value";
    }
    EXPECT_EQ(nullptr, Value(2, 3));

    // Six fields, one hidden, three options: rows 0 to 7.
    const SCROLLINFO info = ScrollInfo();
    EXPECT_EQ(0, info.nMin);
    EXPECT_EQ(7, info.nMax);
    EXPECT_EQ(0, info.nPos);
    RECT area;
    GetClientRect(Host().FieldArea(), &area);
    const UINT page = static_cast<UINT>((area.bottom - 10) / 30);
    EXPECT_EQ(page < 8 ? page : 8, info.nPage) << "the scroll bar clamps the page to the range";

    // Help texts become the labels' tooltips; a field without help has none.
    HWND tooltip = nullptr;
    for (HWND w = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); w;
         w = FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr)) {
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() &&
            SendMessageW(w, TTM_GETTOOLCOUNT, 0, 0) > 0) {
            tooltip = w;
        }
    }
    ASSERT_NE(nullptr, tooltip);
    EXPECT_EQ(3, SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
    wchar_t help[300] = {};
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Host().FieldArea();
    tool.uId = reinterpret_cast<UINT_PTR>(Label(2));
    tool.lpszText = help;
    SendMessageW(tooltip, TTM_GETTEXTW, 300, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(L"Switching help", help);
}

TEST_F(ConfigEditor, ScrollingMovesTheRowsWithinTheRange) {
    Open(true);             // the system scrolls only what is shown
    Host().SelectPart(10);  // KX6104B: more rows than the area shows
    const SCROLLINFO info = ScrollInfo();
    ASSERT_GT(info.nMax + 1, static_cast<int>(info.nPage));
    const int last = info.nMax - static_cast<int>(info.nPage) + 1;
    HWND first = Label(0);
    const struct {
        int request;
        int position;
    } steps[] = {
        {SB_LINEDOWN, 1},
        {SB_LINEDOWN, 2},
        {SB_LINEUP, 1},
        {SB_PAGEDOWN, 1 + static_cast<int>(info.nPage)},
        {SB_BOTTOM, last},
        {SB_LINEDOWN, last},
        {SB_PAGEUP, last - static_cast<int>(info.nPage)},
        {SB_TOP, 0},
        {SB_LINEUP, 0},
    };
    for (const auto& s : steps) {
        Scroll(s.request);
        const int expected = s.position > last ? last : s.position < 0 ? 0 : s.position;
        EXPECT_EQ(expected, ScrollInfo().nPos) << "request " << s.request;
        EXPECT_EQ(10 - 30 * expected, Host().TopOf(first)) << "request " << s.request;
    }
}

TEST_F(ConfigEditor, UncheckedLabelDisablesItsControlsAndKeepsTheFieldOutOfTheFile) {
    Open();
    Host().SelectPart(kTestPart);
    ClickLabel(0);
    EXPECT_FALSE(Host().Checked(Label(0)));
    EXPECT_FALSE(IsWindowEnabled(Value(0)));
    EXPECT_STREQ("No", GetFieldSubchildren("program", 0));
    ClickLabel(2);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(IsWindowEnabled(Value(2, i))) << i;
    SendMessageW(Value(2, 2), BM_CLICK, 0, 0);

    Save(folder_ + L"A.cfg");
    EXPECT_EQ(L"File generated successfully!", LastMessage());
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), shown_.back().type);
    // Switching (now selected), Self and Name; not the vendor ID.
    EXPECT_EQ((std::vector<unsigned>{0x3008, 0x3006, 0x3100}), ItemAddresses(folder_ + L"A.cfg"));
    const std::vector<uint8_t> block = ReadBytes(folder_ + L"A.cfg");
    const auto items = cfgblock::ReadItems({block.data(), block.size()});
    ASSERT_TRUE(items.has_value());
    EXPECT_EQ(2, (*items)[0].data.data[2]) << "Always On";
}

TEST_F(ConfigEditor, SaveLeavesTheIntermediateXmlAndABlockThatValidates) {
    Open();
    Host().SelectPart(kFirstFamily);
    Save(folder_ + L"A.cfg");
    ASSERT_EQ(1u, chosen_.size());
    EXPECT_TRUE(chosen_[0].save);
    EXPECT_FALSE(chosen_[0].part->binaryOutput) << "KX6103B makes .cfg files";
    EXPECT_EQ(L"File generated successfully!", LastMessage());
    EXPECT_TRUE(Exists(folder_ + L"A.cfg_intrmediatte.xml"));

    const std::vector<uint8_t> block = ReadBytes(folder_ + L"A.cfg");
    HMODULE parser = LoadLibraryW(L"Pellvane.dll");
    ASSERT_NE(nullptr, parser);
    auto create = reinterpret_cast<CreateParserFn>(
        reinterpret_cast<void*>(GetProcAddress(parser, "CreateParser")));
    ASSERT_NE(nullptr, create);
    IParser* validator = create(nullptr, 0, nullptr, 0, 0);
    ASSERT_NE(nullptr, validator);
    EXPECT_EQ(kParserOk, validator->ValidateConfigurationBlock(
                             block.data(), static_cast<uint32_t>(block.size())));
    delete validator;
    FreeLibrary(parser);
    // The template's selection: vendor and product ID, self-powered, the hidden revision.
    EXPECT_EQ((std::vector<unsigned>{0x3000, 0x3002, 0x3006, 0x30F0}),
              ItemAddresses(folder_ + L"A.cfg"));

    // Nothing else is left beside the file.
    int files = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder_ + L"A.cfg*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do ++files;
    while (FindNextFileW(find, &found));
    FindClose(find);
    EXPECT_EQ(2, files);
    find = FindFirstFileW((folder_ + L"*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST_F(ConfigEditor, FailedSavesLeaveTheExistingFileAsItWas) {
    const std::string old = "operator's file \x01\x02";
    const struct {
        const char* what;
        int part;
        std::function<void(ConfigEditor&)> act;
        std::wstring message;
        UINT type;
        bool fileDialog;
    } cases[] = {
        {"refused value", kTestPart, [](ConfigEditor& t) { t.SetValue(0, L"0xZZZ"); },
         L"Error Setting Value to Field : Vendor ID\nInvalid Data", MB_OK, false},
        {"string too long", kTestPart, [](ConfigEditor& t) { t.SetValue(5, L"A name too long"); },
         L"Error Setting Value to Field : Name\nInvalid Data", MB_OK, false},
        {"nothing selected", kTestPart,
         [](ConfigEditor& t) {
             t.ClickLabel(0);
             t.ClickLabel(3);
             t.ClickLabel(5);
         },
         L"No Valid input for generating configuration file", MB_OK | MB_ICONSTOP, true},
        {"the converter's own message", kTooManyFieldsPart, [](ConfigEditor&) {},
         L"More than 255 fields are selected; a configuration block holds at most 255",
         MB_OK | MB_ICONSTOP, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        shown_.clear();
        chosen_.clear();
        Open();
        WriteBytes(folder_ + L"A.bin", old);
        Host().SelectPart(c.part);
        c.act(*this);
        Save(folder_ + L"A.bin");
        EXPECT_EQ(c.message, LastMessage());
        EXPECT_EQ(c.type, shown_.back().type);
        EXPECT_EQ(c.fileDialog, !chosen_.empty());
        EXPECT_EQ(std::vector<uint8_t>(old.begin(), old.end()), ReadBytes(folder_ + L"A.bin"));
        EXPECT_EQ(c.fileDialog, Exists(folder_ + L"A.bin_intrmediatte.xml"));
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder_ + L"*.tmp").c_str(), &found);
        EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "no temporary file left";
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
    }
}

TEST_F(ConfigEditor, SaveIntoAMissingFolderSaysItCouldNotSave) {
    Open();
    Host().SelectPart(kTestPart);
    Save(folder_ + L"missing\\A.bin");
    EXPECT_EQ(L"Error saving the file", LastMessage());
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONSTOP), shown_.back().type);
}

TEST_F(ConfigEditor, CancelledDialogsDoNothing) {
    Open();
    Host().SelectPart(kTestPart);
    Save(L"");
    OpenFile(L"");
    EXPECT_EQ(2u, chosen_.size());
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(L"0x2D3A", Host().Text(Value(0)));
}

TEST_F(ConfigEditor, ASavedFileOpensWithTheSameValues) {
    Open();
    Host().SelectPart(10);  // KX6104B
    // Fields by template order: 0 VendorID, 1 ProductID, 3 ManufacturerString, 5 SelfPowered,
    // 7 PowerSwitching, 12 BatteryCharging.
    SetValue(0, L"0x1111");
    ClickLabel(1);  // product ID out
    ClickLabel(3);
    SetValue(3, L"Q&A <Hubs>");
    ClickLabel(7);
    SendMessageW(Value(7, 2), BM_CLICK, 0, 0);
    SendMessageW(Value(5, 0), BM_CLICK, 0, 0);  // self-powered off
    ClickLabel(12);
    SendMessageW(Value(12, 0), BM_CLICK, 0, 0);  // battery charging on
    Save(folder_ + L"B.cfg");
    ASSERT_EQ(L"File generated successfully!", LastMessage());

    Host().Click(IDC_EDITOR_RESET_FIELDS);
    EXPECT_EQ(L"0x2D3A", Host().Text(Value(0))) << "reset shows the template again";
    EXPECT_TRUE(Host().Checked(Label(1)));

    OpenFile(folder_ + L"B.cfg");
    ASSERT_FALSE(chosen_.back().save);
    EXPECT_EQ(L"0x1111", Host().Text(Value(0)));
    EXPECT_FALSE(Host().Checked(Label(1)));
    EXPECT_FALSE(IsWindowEnabled(Value(1)));
    EXPECT_TRUE(Host().Checked(Label(3)));
    EXPECT_EQ(L"Q&A <Hubs>", Host().Text(Value(3)));
    EXPECT_TRUE(Host().Checked(Value(7, 2)));
    EXPECT_FALSE(Host().Checked(Value(7, 1)));
    EXPECT_FALSE(Host().Checked(Value(5, 0)));
    EXPECT_TRUE(Host().Checked(Value(12, 0)));
    EXPECT_TRUE(Exists(folder_ + L"tempxmlfileview.xml"));
    EXPECT_EQ(1u, shown_.size()) << "only the success message";
}

TEST_F(ConfigEditor, AFileThatDoesNotDecodeShowsTheMessageAndTheTemplate) {
    Open();
    Host().SelectPart(kTestPart);
    SetValue(0, L"0x4444");
    WriteBytes(folder_ + L"bad.bin", "not a configuration block");
    OpenFile(folder_ + L"bad.bin");
    ASSERT_EQ(1u, shown_.size());
    EXPECT_NE(std::wstring::npos, shown_[0].text.find(L"no CFGB signature")) << shown_[0].text;
    EXPECT_EQ(static_cast<UINT>(MB_OK), shown_[0].type);
    EXPECT_EQ(L"0x2D3A", Host().Text(Value(0)));
    EXPECT_FALSE(Exists(folder_ + L"tempxmlfileview.xml"));
}

TEST_F(ConfigEditor, ScreenshotWithATemplateLoaded) {
    Open(true);
    Host().SelectPart(10);  // KX6104B
    Scroll(SB_LINEDOWN);
    Scroll(SB_LINEUP);
    RedrawWindow(Host().Sheet(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    for (int i = 0; i < 20; ++i) {
        CEditorHost::Pump();
        Sleep(10);
    }
    const std::string dir = ZRV_SCREENSHOT_DIR;
    const std::wstring folder = L"Z:" + std::wstring(dir.begin(), dir.end());
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_TRUE(SaveWindowPng(Host().Sheet(), folder + L"/config-editor.png"));
}

}  // namespace
