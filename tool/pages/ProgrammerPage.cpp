#include "ProgrammerPage.h"

#include "../res/resource.h"
#include "FileDialogs.h"
#include "Logger.h"
#include "Sheet.h"

namespace {

const wchar_t kPseudoOtpNote[] =
    L"Note: This device redirects OTP commands to SPI region (if its SPI boot).";

bool IsMenuChecked(HMENU menu, int command) {
    return (GetMenuState(menu, static_cast<UINT>(command), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

}  // namespace

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
    const bool once = IsMenuChecked(sheet_.Menu(), ID_PROGRAMOPTIONS_PROGRAMONCE);
    Window().CheckItem(IDC_RADIO_ONCE, once);
    Window().CheckItem(IDC_RADIO_AUTOMATED, !once);
    return true;
}

void CProgrammerPage::UpdateDeviceNote() const {
    const CDeviceData* device = sheet_.SelectedDevice();
    if (!device || !Window().IsValid()) return;
    Window().SetItemText(IDC_STATIC_DEVICENOTE,
                         device->IsSPIPseudoOTPEnabled() ? kPseudoOtpNote : L"");
}

bool CProgrammerPage::OnSetActive() {
    CLogger log(L"CProgrammerPage::OnSetActive");
    TakeTree();
    UpdateDeviceNote();
    Window().SetItemText(IDC_EDIT_TOPOLOGYINUSE, sheet_.GetCurrentTopologyFile());
    LoadRecordChoice();
    sheet_.FitToActivePage();
    return true;
}

void CProgrammerPage::LoadRecordChoice() {
    Window().SetItemText(IDC_EDIT_RECORDFILE, sheet_.RecordFile());
}

void CProgrammerPage::OnBnClickedButtonStart() {
    CLogger log(L"CProgrammerPage::OnBnClickedButtonStart");
    if (!sheet_.StartProgramming()) return;
    Window().ShowItem(IDC_BUTTON_START, false);
    Window().ShowItem(IDC_BUTTON_STOP, true);
}

void CProgrammerPage::OnBnClickedStopProgramButton() {
    CLogger log(L"CProgrammerPage::OnBnClickedStopProgramButton");
    if (!sheet_.StopProgramming()) return;
    Window().ShowItem(IDC_BUTTON_STOP, false);
    AddStatus(L"Stopping the execution engine. Please wait..");
}

void CProgrammerPage::OnExecutionOption(int chosen) {
    const int other = chosen == ID_PROGRAMOPTIONS_PROGRAMONCE ? ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM
                                                              : ID_PROGRAMOPTIONS_PROGRAMONCE;
    const bool once = chosen == ID_PROGRAMOPTIONS_PROGRAMONCE;
    HMENU menu = sheet_.Menu();
    if (IsMenuChecked(menu, chosen)) return;
    if (sheet_.GetProgrammerStatus()) {
        // The running mode stays; the buttons go back to it.
        Window().CheckItem(IDC_RADIO_ONCE, !once);
        Window().CheckItem(IDC_RADIO_AUTOMATED, once);
        return;
    }
    CheckMenuItem(menu, static_cast<UINT>(other), MF_BYCOMMAND | MF_UNCHECKED);
    CheckMenuItem(menu, static_cast<UINT>(chosen), MF_BYCOMMAND | MF_CHECKED);
}

void CProgrammerPage::OnBnClickedRadioOnce() {
    CLogger log(L"CProgrammerPage::OnBnClickedRadioOnce");
    OnExecutionOption(ID_PROGRAMOPTIONS_PROGRAMONCE);
}

void CProgrammerPage::OnBnClickedRadioAutomated() {
    CLogger log(L"CProgrammerPage::OnBnClickedRadioAutomated");
    OnExecutionOption(ID_PROGRAMOPTIONS_AUTOMATEDPROGRAM);
}

void CProgrammerPage::OnBnClickedButtonRecordFile() {
    CLogger log(L"CProgrammerPage::OnBnClickedButtonRecordFile");
    if (sheet_.GetProgrammerStatus()) return;
    std::wstring path;
    if (!AskSaveFileAllowExisting(Window(), L"Production record (*.csv)|*.csv||", L"csv", L"*.csv",
                                  path)) {
        return;
    }
    sheet_.SetRecordFile(path);  // remembered beside the topology file
    Window().SetItemText(IDC_EDIT_RECORDFILE, path);
}

bool CProgrammerPage::OnCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) return false;
    switch (id) {
        case IDC_BUTTON_START:
            OnBnClickedButtonStart();
            return true;
        case IDC_BUTTON_STOP:
            OnBnClickedStopProgramButton();
            return true;
        case IDC_RADIO_ONCE:
            OnBnClickedRadioOnce();
            return true;
        case IDC_RADIO_AUTOMATED:
            OnBnClickedRadioAutomated();
            return true;
        case IDC_BUTTON_RECORDFILE:
            OnBnClickedButtonRecordFile();
            return true;
    }
    return false;
}
