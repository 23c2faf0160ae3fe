#include "SerialDlg.h"

#include "../res/resource.h"
#include "Logger.h"
#include "SerialGenerator.h"
#include "Sheet.h"
#include "TopologyConfig.h"

namespace {

constexpr COLORREF kPrefixBackground = RGB(255, 255, 10);

const wchar_t* const kSerialTypeTexts[] = {L"Copy UUID", L"Custom (Hex)", L"Custom (Dec)",
                                           L"No Serial"};
const int kSerialFields[] = {IDC_EDIT_SERIALPREFIX, IDC_EDIT_SERIALSTART, IDC_EDIT_SERIALMAX,
                             IDC_EDIT_SERIALINCREMENT};
const int kSerialFieldLabels[] = {IDC_STATIC_SERIALPREFIX, IDC_STATIC_SERIALSTART,
                                  IDC_STATIC_SERIALMAX, IDC_STATIC_SERIALINCREMENT};

// Decimal digits from the start; the first other character ends the number, "" is 0. Values
// past 32 bits saturate so the validation refuses them instead of seeing a wrapped small step.
uint32_t DecimalPrefixValue(const std::wstring& text) {
    uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
        if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

CSerialDlg::CSerialDlg(CSheet& sheet)
    : CModalDialog(IDD_SERIAL_DIALOG),
      sheet_(sheet),
      prefixBrush_(CreateSolidBrush(kPrefixBackground)) {}

CSerialDlg::~CSerialDlg() {
    DeleteObject(prefixBrush_);
}

int CSerialDlg::SelectedEntry() const {
    const CDeviceData* device = sheet_.SelectedDevice();
    return device ? device->TcfIndex() : -1;
}

void CSerialDlg::ResetFields(bool enable) const {
    for (int id : kSerialFields) {
        Window().SetItemText(id, L"");
        Window().EnableItem(id, enable);
    }
    for (int id : kSerialFieldLabels) Window().EnableItem(id, enable);
    Window().EnableItem(IDC_BUTTON_SERIALRESET, enable);
}

bool CSerialDlg::OnInitDialog() {
    CLogger log(L"CSerialDlg::OnInitDialog");
    HWND list = Window().Item(IDC_COMBO_SERIALTYPE);
    for (const wchar_t* text : kSerialTypeTexts) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    const int entry = SelectedEntry();
    const CTCFData& tcf = TopologyConfig();
    int type = -1;
    if (sheet_.SelectedDevice()) {
        type = tcf.GetSerialType(entry);
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(type), 0);
    }
    if (IsCounterSerialType(type)) {
        // Stored values are shown greyed; "Reset" makes them editable.
        ResetFields(false);
        Window().SetItemText(IDC_EDIT_SERIALPREFIX, tcf.GetSerialParamAlphaVal(entry));
        Window().SetItemText(IDC_EDIT_SERIALSTART, tcf.GetSerialParamStartVal(entry));
        Window().SetItemText(IDC_EDIT_SERIALMAX, tcf.GetSerialParamMaxVal(entry));
        Window().SetItemText(IDC_EDIT_SERIALINCREMENT,
                             std::to_wstring(tcf.GetSerialParamIncrementVal(entry)));
        Window().EnableItem(IDC_BUTTON_SERIALRESET, true);
    } else {
        ResetFields(false);
    }
    SetFocus(list);
    // The focus was set here.
    return false;
}

void CSerialDlg::OnSerialTypeChanged() const {
    const LRESULT type = SendMessageW(Window().Item(IDC_COMBO_SERIALTYPE), CB_GETCURSEL, 0, 0);
    ResetFields(IsCounterSerialType(static_cast<int>(type)));
}

void CSerialDlg::OnOk() {
    CLogger log(L"CSerialDlg::OnOk");
    if (!sheet_.SelectedDevice()) return;
    const int entry = SelectedEntry();
    CTCFData& tcf = TopologyConfig();
    const int type =
        static_cast<int>(SendMessageW(Window().Item(IDC_COMBO_SERIALTYPE), CB_GETCURSEL, 0, 0));
    if (type >= 0 && type != tcf.GetSerialType(entry)) {
        sheet_.SetTopologySaved(false);
        tcf.SetSerialType(entry, type);
    }
    const int stored = tcf.GetSerialType(entry);
    if (!IsCounterSerialType(stored)) {
        EndDialog(Window(), IDOK);
        return;
    }
    auto text = [&](int id) { return CWindow(Window().Item(id)).Text(); };
    const std::wstring prefix = text(IDC_EDIT_SERIALPREFIX);
    const std::wstring start = text(IDC_EDIT_SERIALSTART);
    const std::wstring maximum = text(IDC_EDIT_SERIALMAX);
    const uint32_t increment = DecimalPrefixValue(text(IDC_EDIT_SERIALINCREMENT));
    const bool hex = stored == kSerialTypeHex;
    const int code = ValidateSerialParams(prefix, start, maximum, start, increment, hex);
    if (code != kSerialOk) {
        log.Write(1, L"Serial data refused: %s", SerialErrorText(code));
        const std::wstring message = std::wstring(L"Error Serial Data: ") + SerialErrorText(code);
        MessageBoxW(Window(), message.c_str(), kSheetCaption, MB_OK);
        return;
    }
    sheet_.SetTopologySaved(false);
    SetDeviceSerialParams(tcf, entry, prefix, start, maximum, increment, start);
    tcf.SetSerialConfirmed(entry, true);
    EndDialog(Window(), IDOK);
}

bool CSerialDlg::OnCommand(int id, int code) {
    switch (id) {
        case IDC_COMBO_SERIALTYPE:
            if (code == CBN_SELCHANGE) OnSerialTypeChanged();
            return true;
        case IDC_BUTTON_SERIALRESET:
            ResetFields(true);
            return true;
        case IDC_BUTTON_SERIALOK:
        case IDOK:
            OnOk();
            return true;
        case IDCANCEL:
            EndDialog(Window(), IDCANCEL);
            return true;
    }
    return false;
}

bool CSerialDlg::OnMessage(UINT message, WPARAM w, LPARAM l, INT_PTR& result) {
    if (message != WM_CTLCOLOREDIT && message != WM_CTLCOLORSTATIC) return false;
    if (GetDlgCtrlID(reinterpret_cast<HWND>(l)) != IDC_EDIT_SERIALPREFIX) return false;
    SetBkColor(reinterpret_cast<HDC>(w), kPrefixBackground);
    result = reinterpret_cast<INT_PTR>(prefixBrush_);
    return true;
}
