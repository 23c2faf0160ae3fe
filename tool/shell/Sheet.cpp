// CSheet: construction, start-up sequence, sheet-level commands and guards, teardown.
#include "Sheet.h"

#include "../res/resource.h"
#include "DefaultTcfRegistry.h"
#include "Logger.h"
#include "SimulatedLine.h"
#include "TopologyConfig.h"

const wchar_t kSheetCaption[] = L"VARN Quorvel ZRV Hub Tool";
// The tool's trace log, in the working directory.
extern const wchar_t kTraceLogFileName[] = L"HalvexZRVToolLog.txt";

namespace {

constexpr int kApplyButton = 0x3021;
constexpr DWORD kTreeExStyle = 0x201;
constexpr DWORD kTreeStyle = 0x5001903F;
constexpr int kFitMargin = 14;

// The sheet being shown; the platform's sheet callback carries no context of its own.
CSheet* shownSheet = nullptr;

}  // namespace

CSheet::CSheet() : configPage_(*this), programmerPage_(*this) {
    TraceWriter().SetLevel(2);
}

CSheet::~CSheet() {
    if (menu_) DestroyMenu(menu_);
}

INT_PTR CSheet::Run() {
    CLogger log(L"CSheet::Run");
    // The pages in order.
    CPropertyPage* pages[] = {&configPage_, &programmerPage_, &configEditor_};
    std::vector<PROPSHEETPAGEW> sheets(sizeof(pages) / sizeof(pages[0]));
    for (size_t i = 0; i < sheets.size(); ++i) pages[i]->Fill(sheets[i]);

    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
    header.hInstance = GetModuleHandleW(nullptr);
    header.pszCaption = kSheetCaption;
    header.nPages = static_cast<UINT>(sheets.size());
    header.ppsp = sheets.data();
    header.pfnCallback = SheetCallback;
    shownSheet = this;
    const INT_PTR result = PropertySheetW(&header);
    shownSheet = nullptr;
    return result;
}

int CALLBACK CSheet::SheetCallback(HWND window, UINT message, LPARAM) {
    if (message == PSCB_INITIALIZED && shownSheet) {
        shownSheet->window_.Attach(window);
        SetWindowSubclass(window, SheetProc, 1, reinterpret_cast<DWORD_PTR>(shownSheet));
        shownSheet->OnInitDialog();
    }
    return 0;
}

LRESULT CALLBACK CSheet::SheetProc(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                   DWORD_PTR data) {
    auto* self = reinterpret_cast<CSheet*>(data);
    bool handled = false;
    LRESULT result = 0;
    try {
        result = self->OnSheetMessage(message, w, l, handled);
    } catch (...) {
        handled = false;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, SheetProc, 1);
    return handled ? result : DefSubclassProc(window, message, w, l);
}

LRESULT CSheet::OnSheetMessage(UINT message, WPARAM w, LPARAM l, bool& handled) {
    handled = true;
    // A command, close or library event sent while a preparation lets this thread answer would
    // change the records under it: it goes back into the queue, handled after the preparation.
    if (holdCommands_ && WaitsForPreparation(message, w) && PostMessageW(window_, message, w, l)) {
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            // Enter and Escape arrive as OK and Cancel: neither closes the sheet.
            if ((LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) && !closing_) return 0;
            if (HIWORD(w) == 0 && l == 0 && OnCommand(LOWORD(w))) return 0;
            break;
        case WM_SYSCOMMAND:
            if ((w & 0xFFF0) != SC_CLOSE) break;
            [[fallthrough]];
        case WM_CLOSE:
            if (ConfirmQuit()) {
                closing_ = true;
                DefSubclassProc(window_, WM_COMMAND, IDCANCEL, 0);
            }
            return 0;
        case WM_KEYDOWN:
            if (w == VK_RETURN || w == VK_ESCAPE) return 0;
            break;
        case WM_NOTIFY: {
            NMHDR& header = *reinterpret_cast<NMHDR*>(l);
            if (header.idFrom == IDC_TOPOLOGY_TREE) {
                LRESULT answer = 0;
                if (OnTreeNotify(header, answer)) return answer;
                break;
            }
            if (header.hwndFrom != PropSheet_GetTabControl(window_)) break;
            if (header.code == TCN_SELCHANGING) {
                if (!OnPageChanging()) return TRUE;
                break;
            }
            if (header.code == TCN_SELCHANGE) {
                const LRESULT answer = DefSubclassProc(window_, message, w, l);
                OnPageChanged();
                return answer;
            }
            break;
        }
        case kDeviceEventMessage:
            DeviceEvent(w, l);
            return 0;
        case WM_DESTROY:
            OnDestroy();
            break;
    }
    handled = false;
    return 0;
}

bool CSheet::WaitsForPreparation(UINT message, WPARAM w) {
    return message == WM_COMMAND || message == WM_CLOSE || message == kDeviceEventMessage ||
           (message == WM_SYSCOMMAND && (w & 0xFFF0) == SC_CLOSE);
}

bool CSheet::OnInitDialog() {
    CLogger log(L"CSheet::OnInitDialog");
    icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    SetWindowLongPtrW(
        window_, GWL_STYLE,
        GetWindowLongPtrW(window_, GWL_STYLE) | WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX);
    window_.Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    if (HMENU system = GetSystemMenu(window_, FALSE)) {
        InsertMenuW(system, 1, MF_BYPOSITION | MF_STRING, SC_MINIMIZE, L"Mi&nimize");
    }
    for (int id : {IDOK, IDCANCEL, kApplyButton, IDHELP}) window_.ShowItem(id, false);

    menu_ = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU));
    SetMenu(window_, menu_);
    CheckMenuItem(menu_, ID_PROGRAMOPTIONS_PROGRAMONCE, MF_BYCOMMAND | MF_CHECKED);
    CheckMenuItem(menu_, ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM, MF_BYCOMMAND | MF_UNCHECKED);
    CheckMenuItem(menu_, ID_ADVANCED_DISABLEUUID,
                  MF_BYCOMMAND | (disableUuid_ ? MF_CHECKED : MF_UNCHECKED));

    const RECT treeRect = {10, 10, 300, 100};
    if (!tree_.Create(window_, kTreeExStyle, kTreeStyle, treeRect, IDC_TOPOLOGY_TREE)) {
        log.Write(1, L"Cannot create the topology tree (error %u)", GetLastError());
        return false;
    }
    PropSheet_SetCurSel(window_, nullptr, kConfigPageIndex);
    configPage_.TakeTree();
    FitToActivePage();

    LoadLastTopology();

    libraryModule_ = LoadLibraryW(kHubLibraryName);
    if (!libraryModule_) {
        MessageBoxW(window_, L"Error Loading programmer module\n", kSheetCaption, MB_OK);
        return false;
    }
    pfnCreateDeviceTreeUI_ = HubExport<PfnCreateDeviceTreeUI>(libraryModule_, "CreateDeviceTreeUI");
    if (!pfnCreateDeviceTreeUI_) {
        FatalStartupError(L"Cannot get the address of CreateDeviceTreeUI function");
    }
    pfnFinishedUsingDeviceTreeUI_ =
        HubExport<PfnFinishedUsingDeviceTreeUI>(libraryModule_, "FinishedUsingDeviceTreeUI");
    if (!pfnFinishedUsingDeviceTreeUI_) {
        FatalStartupError(L"Cannot get address of FinishedUsingDeviceTreeUI function");
    }
    ShowLineInCaption();
    if (!InitializeUsbTree()) return false;
    if (!EnumUSB()) return false;
    auto registerCallback =
        HubExport<PfnRegisterNotificationCallback>(libraryModule_, "RegisterNotificationCallback");
    if (!registerCallback) return false;
    registerCallback(DeviceStatusNotifier);
    return true;
}

void CSheet::ShowLineInCaption() {
    auto line = HubExport<PfnGetSimulatedLine>(libraryModule_, "GetSimulatedLine");
    wchar_t text[MAX_PATH] = {};
    const int32_t state = line ? line(text, MAX_PATH) : SIMULATED_LINE_NONE;
    std::wstring caption = kSheetCaption;
    if (state == SIMULATED_LINE_ACTIVE) {
        caption += std::wstring(L" - simulated line ") + text;
    } else if (state == SIMULATED_LINE_BROKEN) {
        caption += std::wstring(L" - simulated line not usable: ") + text;
    }
    // The library's events look the window up by this caption.
    SetNotifierCaption(caption);
    window_.SetText(caption);
}

void CSheet::LoadLastTopology() {
    CLogger log(L"CSheet::LoadLastTopology");
    std::wstring path;
    if (!ReadDefaultTcf(path)) {
        ShowStatus(L"Error loading last saved topology");
        ShowStatus(L"Enumeration current topology to configure");
        return;
    }
    TopologyConfig().ClearTopology();
    if (!IsCompatibleTcfVersion(CTCFData::GetTcfVersion(path))) {
        ShowStatus(L"No compatible last saved topology");
        ShowStatus(L"Enumeration current topology to configure");
        return;
    }
    if (TopologyConfig().LoadTopology(path)) {
        topologySaved_ = true;
        currentTopologyFile_ = path;
    } else {
        ShowStatus(L"Error loading last saved topology");
        ShowStatus(L"Enumeration current topology to configure");
    }
}

bool CSheet::InitializeUsbTree() {
    CLogger log(L"CSheet::InitializeUsbTree");
    if (!libraryModule_) {
        libraryModule_ = LoadLibraryW(kHubLibraryName);
        if (!libraryModule_) {
            MessageBoxW(window_, L"LoadLibrary Failed", kSheetCaption, MB_OK);
            return false;
        }
        ShowStatus(std::wstring(L"Loadlibrary ") + kHubLibraryName + L" succeeded");
    }
    return CDeviceData::SetLibraryHandle();
}

void CSheet::ShowStatus(const std::wstring& text) {
    CSheetLockGuard guard(lock_);
    switch (ActivePageIndex()) {
        case kConfigPageIndex:
            configPage_.AddStatus(text);
            break;
        case kProgrammerPageIndex:
            programmerPage_.AddStatus(text);
            break;
        default:
            break;
    }
}

int CSheet::ActivePageIndex() const {
    if (!window_.IsValid()) return kConfigPageIndex;
    return static_cast<int>(PropSheet_HwndToIndex(window_, PropSheet_GetCurrentPageHwnd(window_)));
}

void CSheet::FitToActivePage() {
    HWND page = PropSheet_GetCurrentPageHwnd(window_);
    if (!page) return;
    const RECT sheet = window_.WindowRect();
    const RECT pageRect = CWindow(page).WindowRect();
    SetWindowPos(window_, nullptr, 0, 0, sheet.right - sheet.left,
                 pageRect.bottom + kFitMargin - sheet.top, SWP_NOMOVE | SWP_NOZORDER);
}

void CSheet::InvalidateTree() {
    CSheetLockGuard guard(lock_);
    tree_.Invalidate();
}

bool CSheet::GetProgrammerStatus() const {
    auto running =
        HubExport<PfnIsProgrammerManagerRunning>(libraryModule_, "IsProgrammerManagerRunning");
    return running ? running() : false;
}

bool CSheet::OnCommand(int id) {
    switch (id) {
        case ID_PROGRAMOPTIONS_PROGRAMONCE:
            OnProgramoptionsProgramonce();
            return true;
        case ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM:
            OnProgramoptionsAutomatedprogram();
            return true;
        case ID_TOPOLOGY_VIEW:
            OnTopologyView();
            return true;
        case ID_TOPOLOGY_LOAD:
            OnTopologyLoad();
            return true;
        case ID_TOPOLOGY_SAVE:
            OnTopologySave();
            return true;
        case ID_ADVANCED_DISABLEUUID:
            OnDisableUuid();
            return true;
        case ID_ADVANCED_DEBUGOPTIONS:
            OnDebugOptions();
            return true;
        case ID_HELP_ABOUT:
            aboutBox_.Run(window_);
            return true;
    }
    return false;
}

bool CSheet::OnPageChanging() {
    previousPage_ = ActivePageIndex();
    if (previousPage_ == kProgrammerPageIndex && GetProgrammerStatus()) {
        MessageBoxW(window_, L"Stop Programming before modifying the configuration", kSheetCaption,
                    MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

void CSheet::OnPageChanged() {
    const int page = ActivePageIndex();
    if (page == kProgrammerPageIndex && !topologySaved_) {
        MessageBoxW(window_, L"Save the topology before Programming", kSheetCaption,
                    MB_OK | MB_ICONEXCLAMATION);
        PropSheet_SetCurSel(window_, nullptr, previousPage_);
        return;
    }
    UpdateMenusForPage(page);
}

void CSheet::UpdateMenusForPage(int page) {
    // Popups by position: Execution Options, Topology, Advanced Settings.
    const bool enabled[][3] = {{true, true, true}, {true, false, false}, {false, false, false}};
    if (page < 0 || page > 2) return;
    for (UINT popup = 0; popup < 3; ++popup) {
        EnableMenuItem(menu_, popup,
                       MF_BYPOSITION | (enabled[page][popup] ? MF_ENABLED : MF_GRAYED));
    }
    DrawMenuBar(window_);
}

void CSheet::OnProgramoptionsProgramonce() {
    CLogger log(L"CSheet::OnProgramoptionsProgramonce");
    ChooseRunMode(true);
}

void CSheet::OnProgramoptionsAutomatedprogram() {
    CLogger log(L"CSheet::OnProgramoptionsAutomatedprogram");
    ChooseRunMode(false);
}

void CSheet::ChooseRunMode(bool once) {
    if (GetProgrammerStatus()) return;
    if (!topologySaved_) {
        MessageBoxW(window_, L"Save the topology before Programming", kSheetCaption,
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    CheckMenuItem(menu_, ID_PROGRAMOPTIONS_PROGRAMONCE,
                  MF_BYCOMMAND | (once ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu_, ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM,
                  MF_BYCOMMAND | (once ? MF_UNCHECKED : MF_CHECKED));
    if (programmerPage_.Window().IsValid()) {
        programmerPage_.Window().CheckItem(IDC_RADIO_ONCE, once);
        programmerPage_.Window().CheckItem(IDC_RADIO_AUTOMATED, !once);
    }
    previousPage_ = ActivePageIndex();
    PropSheet_SetCurSel(window_, nullptr, kProgrammerPageIndex);
    UpdateMenusForPage(kProgrammerPageIndex);
}

void CSheet::OnDisableUuid() {
    const bool checked =
        (GetMenuState(menu_, ID_ADVANCED_DISABLEUUID, MF_BYCOMMAND) & MF_CHECKED) != 0;
    CheckMenuItem(menu_, ID_ADVANCED_DISABLEUUID,
                  MF_BYCOMMAND | (checked ? MF_UNCHECKED : MF_CHECKED));
    disableUuid_ = !checked;
}

void CSheet::OnDebugOptions() {
    const bool checked =
        (GetMenuState(menu_, ID_ADVANCED_DEBUGOPTIONS, MF_BYCOMMAND) & MF_CHECKED) != 0;
    CheckMenuItem(menu_, ID_ADVANCED_DEBUGOPTIONS,
                  MF_BYCOMMAND | (checked ? MF_UNCHECKED : MF_CHECKED));
    configPage_.ShowDebugControls(!checked);
}

bool CSheet::ConfirmQuit() {
    if (!GetProgrammerStatus()) return true;
    return MessageBoxW(window_, L"Programmer thread is still running.\r\nClick Yes to Quit anyway",
                       L"Quit Tool?", MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

void CSheet::OnDestroy() {
    CLogger log(L"CSheet::OnDestroy");
    CSheetLockGuard guard(lock_);
    nodes_.clear();
    CDeviceData::FreeLibraryHandle();
    pfnCreateDeviceTreeUI_ = nullptr;
    pfnFinishedUsingDeviceTreeUI_ = nullptr;
    deviceTree_ = nullptr;
    if (libraryModule_) {
        FreeLibrary(libraryModule_);
        libraryModule_ = nullptr;
    }
    DeleteAllTreeItems();
}
