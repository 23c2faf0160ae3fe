#include "ConfigPage.h"

#include "../res/resource.h"
#include "App.h"
#include "Sheet.h"

namespace {
const int kDebugControls[] = {IDC_BUTTON_DUMPOTP, IDC_BUTTON_PROGRAMRAM, IDC_STATIC_ADVANCED,
                              IDC_SEPARATOR_TOP, IDC_SEPARATOR_BOTTOM};
}  // namespace

CConfigPage::CConfigPage(CSheet& sheet)
    : CTreePage(sheet, IDD_CONFIG_PAGE, IDC_EDIT_CONFIG_STATUS, kConfigurationView,
                {{IDC_LEGEND_1, RGB(200, 10, 10)},
                 {IDC_LEGEND_2, RGB(0, 73, 153)},
                 {IDC_LEGEND_3, RGB(0, 0, 0)},
                 {IDC_STATIC_BAND, RGB(0, 73, 153)}}) {}

void CConfigPage::ShowDebugControls(bool show) const {
    for (int id : kDebugControls) Window().ShowItem(id, show);
}

bool CConfigPage::OnInitDialog() {
    HWND parts = Window().Item(IDC_COMBO_PARTTYPE);
    for (const wchar_t* text : {L"KX610x", L"KX710x/8213/8413/9204/9224/9134", L"Not Recognized"}) {
        SendMessageW(parts, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendMessageW(parts, CB_SETCURSEL, 2, 0);
    HWND memory = Window().Item(IDC_COMBO_MEMTYPE);
    const LRESULT na = SendMessageW(memory, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"N/A"));
    SendMessageW(memory, CB_SETITEMDATA, na, 4);
    SendMessageW(memory, CB_SETCURSEL, na, 0);
    ShowDebugControls(false);
    if (DumpOtpEnabled()) Window().ShowItem(IDC_BUTTON_DUMPOTP, true);
    return true;
}

bool CConfigPage::OnSetActive() {
    TakeTree();
    sheet_.FitToActivePage();
    return true;
}
