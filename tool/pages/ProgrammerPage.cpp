#include "ProgrammerPage.h"

#include "../res/resource.h"
#include "Sheet.h"

CProgrammerPage::CProgrammerPage(CSheet& sheet)
    : CTreePage(sheet, IDD_PROGRAMMER_PAGE, IDC_EDIT_PROGRAM_STATUS, kExecutionView,
                {{IDC_LEGEND_1, RGB(0, 77, 153)},
                 {IDC_LEGEND_2, RGB(0, 224, 0)},
                 {IDC_LEGEND_3, RGB(255, 10, 10)},
                 {IDC_LEGEND_4, RGB(153, 153, 204)},
                 {IDC_LEGEND_5, RGB(255, 140, 0)},
                 {IDC_LEGEND_6, RGB(0, 0, 0)}}) {}

void CProgrammerPage::ShowStartButton() const {
    Window().ShowItem(IDC_BUTTON_STOP, false);
    Window().ShowItem(IDC_BUTTON_START, true);
}

bool CProgrammerPage::OnInitDialog() {
    const bool once = (GetMenuState(sheet_.Menu(), ID_PROGRAMOPTIONS_PROGRAMONCE, MF_BYCOMMAND) &
                       MF_CHECKED) != 0;
    Window().CheckItem(IDC_RADIO_ONCE, once);
    Window().CheckItem(IDC_RADIO_AUTOMATED, !once);
    return true;
}

bool CProgrammerPage::OnSetActive() {
    TakeTree();
    Window().SetItemText(IDC_EDIT_TOPOLOGYINUSE, sheet_.GetCurrentTopologyFile());
    sheet_.FitToActivePage();
    return true;
}
