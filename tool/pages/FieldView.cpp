// Rows of the field area, built from the field library's current field set.
#include "FieldView.h"

#include <commctrl.h>

#include "ConfigEditorIds.h"
#include "EditorText.h"
#include "Lorvath.h"

namespace {

constexpr UINT_PTR kAreaSubclassId = 1;
constexpr int kLabelLeft = 10;
constexpr int kLabelWidth = 300;
constexpr int kValueLeft = 410;
constexpr int kValueWidth = 150;
constexpr int kRadioWidth = 300;
constexpr int kControlHeight = 20;
constexpr int kRadioHeight = 18;
constexpr int kMaxHelpText = 260;

bool EqualsNoCase(const std::string& a, const char* b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b, -1) == CSTR_EQUAL;
}

std::string Attribute(const char* name, int field) {
    const char* text = GetFieldSubchildren(name, field);
    return text ? text : "";
}

BOOL CALLBACK DestroyChild(HWND child, LPARAM area) {
    if (GetParent(child) == reinterpret_cast<HWND>(area)) DestroyWindow(child);
    return TRUE;
}

}  // namespace

CFieldView::~CFieldView() {
    Detach();
}

void CFieldView::Attach(HWND area, HWND scrollBar) {
    area_ = area;
    scrollBar_ = scrollBar;
    SetWindowSubclass(area_, AreaProc, kAreaSubclassId, reinterpret_cast<DWORD_PTR>(this));
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, area_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    if (tooltip_) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
}

void CFieldView::Detach() {
    if (!area_) return;
    Clear();
    if (tooltip_) DestroyWindow(tooltip_);
    RemoveWindowSubclass(area_, AreaProc, kAreaSubclassId);
    tooltip_ = nullptr;
    area_ = nullptr;
}

void CFieldView::Clear() {
    if (!area_) return;
    for (const Row& row : rows_) {
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.hwnd = area_;
        tool.uId = reinterpret_cast<UINT_PTR>(row.labelWindow);
        if (tooltip_) SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    rows_.clear();
    EnumChildWindows(area_, DestroyChild, reinterpret_cast<LPARAM>(area_));
    SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
    SetScrollInfo(scrollBar_, SB_CTL, &info, TRUE);
}

bool CFieldView::Build(const std::wstring& xmlPath, std::wstring& message) {
    Clear();
    char error[LORVATH_TEXT_SIZE] = "";
    if (!LoadXML(LibraryFromWide(xmlPath).c_str(), error)) {
        message = WideFromLibrary(error);
        return false;
    }
    SetFocus(area_);
    RECT client;
    GetClientRect(area_, &client);
    const int count = GetFieldCount();
    int rangeEnd = count - 1;
    int rowIndex = 0;
    for (int field = 0; field < count; ++field) {
        if (EqualsNoCase(Attribute("display", field), "No")) {
            --rangeEnd;
            continue;
        }
        const std::string type = Attribute("displaytype", field);
        if (EqualsNoCase(type, "editbox")) {
            AddRow(field, RowKind::Edit, rowIndex, rangeEnd);
        } else if (EqualsNoCase(type, "radiobutton")) {
            AddRow(field, RowKind::Radio, rowIndex, rangeEnd);
        } else if (EqualsNoCase(type, "checkbox")) {
            AddRow(field, RowKind::Check, rowIndex, rangeEnd);
        }
    }
    SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
    info.nMax = rangeEnd > 0 ? rangeEnd : 0;
    info.nPage = static_cast<UINT>((client.bottom - kFirstRowTop) / kRowHeight);
    SetScrollInfo(scrollBar_, SB_CTL, &info, TRUE);
    return true;
}

HWND CFieldView::CreateChild(const wchar_t* className, const std::wstring& text, DWORD style,
                             DWORD exStyle, int x, int y, int width, int height, int id) {
    HWND child = CreateWindowExW(
        exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height, area_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    const LRESULT font = SendMessageW(GetParent(area_), WM_GETFONT, 0, 0);
    if (child && font) SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return child;
}

void CFieldView::AddRow(int field, RowKind kind, int& rowIndex, int& rangeEnd) {
    Row row;
    row.field = field;
    row.kind = kind;
    row.label = WideFromLibrary(GetFieldSubchildren("displaystrings", field));
    const std::string value = Attribute("value", field);
    const bool selected = EqualsNoCase(Attribute("program", field), "Yes");
    const int top = kFirstRowTop + kRowHeight * rowIndex;
    const int valueId = IDC_EDITOR_FIELD_VALUE_BASE + field;

    row.labelWindow = CreateChild(L"BUTTON", row.label + L": ",
                                  WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0, kLabelLeft, top,
                                  kLabelWidth, kControlHeight, IDC_EDITOR_FIELD_LABEL_BASE + field);
    SendMessageW(row.labelWindow, BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
    switch (kind) {
        case RowKind::Edit:
            row.values.push_back(CreateChild(
                L"EDIT", WideFromLibrary(value.c_str()), WS_TABSTOP | ES_AUTOHSCROLL,
                WS_EX_CLIENTEDGE, kValueLeft, top, kValueWidth, kControlHeight, valueId));
            ++rowIndex;
            break;
        case RowKind::Check: {
            HWND box = CreateChild(L"BUTTON", L"Enable", WS_TABSTOP | BS_AUTOCHECKBOX, 0,
                                   kValueLeft, top, kValueWidth, kControlHeight, valueId);
            SendMessageW(box, BM_SETCHECK, EqualsNoCase(value, "Enable") ? BST_CHECKED : 0, 0);
            row.values.push_back(box);
            ++rowIndex;
            break;
        }
        case RowKind::Radio: {
            std::vector<char> buffer(LORVATH_MAX_OPTIONS * LORVATH_OPTION_SIZE, '\0');
            int options = GetDisplayOptions(field, buffer.data());
            if (options > LORVATH_MAX_OPTIONS) options = LORVATH_MAX_OPTIONS;
            for (int i = 0; i < options; ++i) {
                char* slot = &buffer[static_cast<size_t>(i) * LORVATH_OPTION_SIZE];
                slot[LORVATH_OPTION_SIZE - 1] = '\0';
                row.options.emplace_back(slot);
                const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
                HWND option = CreateChild(L"BUTTON", WideFromLibrary(slot), style, 0, kValueLeft,
                                          top + kRowHeight * i, kRadioWidth, kRadioHeight, valueId);
                if (EqualsNoCase(row.options.back(), value.c_str())) {
                    SendMessageW(option, BM_SETCHECK, BST_CHECKED, 0);
                }
                row.values.push_back(option);
            }
            rowIndex += options + 1;
            rangeEnd += options;
            break;
        }
    }
    for (HWND control : row.values) EnableWindow(control, selected);
    const char* help = GetFieldSubchildren("HELP", field);
    if (help && *help) AddTooltip(row.labelWindow, WideFromLibrary(help).substr(0, kMaxHelpText));
    rows_.push_back(std::move(row));
}

void CFieldView::AddTooltip(HWND label, const std::wstring& help) {
    if (!tooltip_ || !label) return;
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = area_;
    tool.uId = reinterpret_cast<UINT_PTR>(label);
    tool.lpszText = const_cast<wchar_t*>(help.c_str());
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CFieldView::OnLabelClicked(int id) {
    for (const Row& row : rows_) {
        if (IDC_EDITOR_FIELD_LABEL_BASE + row.field != id) continue;
        const bool checked = SendMessageW(row.labelWindow, BM_GETCHECK, 0, 0) == BST_CHECKED;
        SetFieldSubchildren("program", row.field, checked ? "Yes" : "No");
        for (HWND control : row.values) EnableWindow(control, checked);
        return;
    }
}

bool CFieldView::StoreValues(std::wstring& refusedLabel) {
    for (const Row& row : rows_) {
        if (EqualsNoCase(Attribute("program", row.field), "No")) continue;
        std::string value;
        switch (row.kind) {
            case RowKind::Edit: {
                const int length = GetWindowTextLengthW(row.values.front());
                std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                GetWindowTextW(row.values.front(), &text[0], length + 1);
                text.resize(static_cast<size_t>(length));
                if (!SetFieldSubchildren("value", row.field, LibraryFromWide(text).c_str())) {
                    refusedLabel = row.label;
                    return false;
                }
                continue;
            }
            case RowKind::Radio:
                for (size_t i = 0; i < row.values.size(); ++i) {
                    if (SendMessageW(row.values[i], BM_GETCHECK, 0, 0) == BST_CHECKED) {
                        value = row.options[i];
                    }
                }
                if (value.empty()) continue;  // no option chosen: the field keeps its value
                break;
            case RowKind::Check:
                value = SendMessageW(row.values.front(), BM_GETCHECK, 0, 0) == BST_CHECKED
                            ? "Enable"
                            : "Disable";
                break;
        }
        SetFieldSubchildren("value", row.field, value.c_str());
    }
    return true;
}

void CFieldView::Scroll(int request) {
    SCROLLINFO info = {sizeof(info), SIF_ALL, 0, 0, 0, 0, 0};
    if (!GetScrollInfo(scrollBar_, SB_CTL, &info)) return;
    const int old = info.nPos;
    int wanted = old;
    switch (request) {
        case SB_LINEUP:
            wanted = old - 1;
            break;
        case SB_LINEDOWN:
            wanted = old + 1;
            break;
        case SB_PAGEUP:
            wanted = old - static_cast<int>(info.nPage);
            break;
        case SB_PAGEDOWN:
            wanted = old + static_cast<int>(info.nPage);
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            wanted = info.nTrackPos;
            break;
        case SB_TOP:
            wanted = info.nMin;
            break;
        case SB_BOTTOM:
            wanted = info.nMax;
            break;
        default:
            return;
    }
    SCROLLINFO position = {sizeof(position), SIF_POS, 0, 0, 0, wanted, 0};
    SetScrollInfo(scrollBar_, SB_CTL, &position, TRUE);
    const int now = GetScrollPos(scrollBar_, SB_CTL);  // clamped by the scroll bar
    if (now == old) return;
    ScrollWindowEx(area_, 0, (old - now) * kRowHeight, nullptr, nullptr, nullptr, nullptr,
                   SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
}

LRESULT CALLBACK CFieldView::AreaProc(HWND window, UINT message, WPARAM w, LPARAM l,
                                      UINT_PTR /*subclassId*/, DWORD_PTR self) {
    if (message == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
        const int id = LOWORD(w);
        if (id >= IDC_EDITOR_FIELD_LABEL_BASE && id < IDC_EDITOR_FIELD_VALUE_BASE) {
            reinterpret_cast<CFieldView*>(self)->OnLabelClicked(id);
            return 0;
        }
    }
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
        // The rows take the page's background, as the page's own controls do.
        return SendMessageW(GetParent(window), message, w, l);
    }
    return DefSubclassProc(window, message, w, l);
}
