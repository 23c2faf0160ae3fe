#include "ConfigPage.h"

#include <commdlg.h>

#include "../res/resource.h"
#include "App.h"
#include "FileDialogs.h"
#include "Logger.h"
#include "NodeCompleteness.h"
#include "Sheet.h"
#include "TopologyConfig.h"

namespace {

const int kDebugControls[] = {IDC_BUTTON_DUMPOTP, IDC_BUTTON_PROGRAMRAM, IDC_STATIC_ADVANCED,
                              IDC_SEPARATOR_TOP, IDC_SEPARATOR_BOTTOM};
// Every setting control and label, disabled while no hub's settings are shown.
const int kSettingControls[] = {
    IDC_STATIC_PARTTYPE,   IDC_COMBO_PARTTYPE, IDC_STATIC_MEMTYPE,    IDC_COMBO_MEMTYPE,
    IDC_STATIC_OPERATION,  IDC_CHECK_PROGRAM,  IDC_CHECK_VERIFYIMAGE, IDC_STATIC_CHOOSEFILE,
    IDC_EDIT_FILEPATH,     IDC_BUTTON_BROWSE,  IDC_STATIC_ADVANCED,   IDC_BUTTON_MORE,
    IDC_BUTTON_PROGRAMRAM, IDC_BUTTON_DUMPOTP, IDC_STATIC_PORTSETTING};
const wchar_t* const kPartFamilyTexts[] = {L"KX610x", L"KX710x/8213/8413/9204/9224/9134",
                                           L"Not Recognized"};
constexpr int kDeviceTypeHub = 2;

}  // namespace

CConfigPage::CConfigPage(CSheet& sheet)
    : CTreePage(sheet, IDD_CONFIG_PAGE, IDC_EDIT_CONFIG_STATUS, kConfigurationView,
                {{IDC_LEGEND_1, RGB(255, 10, 10)},
                 {IDC_LEGEND_2, RGB(0, 77, 153)},
                 {IDC_LEGEND_3, RGB(0, 0, 0)},
                 {IDC_STATIC_BAND, RGB(100, 150, 200)}}),
      serialDlg_(sheet) {}

void CConfigPage::ShowDebugControls(bool show) const {
    for (int id : kDebugControls) Window().ShowItem(id, show);
}

bool CConfigPage::OnInitDialog() {
    HWND parts = Window().Item(IDC_COMBO_PARTTYPE);
    for (const wchar_t* text : kPartFamilyTexts) {
        SendMessageW(parts, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendMessageW(parts, CB_SETCURSEL, kPartFamilyUnknown, 0);
    FillMemoryTypes(kPartFamilyUnknown);
    ShowDebugControls(false);
    if (DumpOtpEnabled()) Window().ShowItem(IDC_BUTTON_DUMPOTP, true);
    return true;
}

bool CConfigPage::OnSetActive() {
    TakeTree();
    sheet_.FitToActivePage();
    return true;
}

void CConfigPage::FillMemoryTypes(int partFamily) const {
    HWND memory = Window().Item(IDC_COMBO_MEMTYPE);
    SendMessageW(memory, CB_RESETCONTENT, 0, 0);
    for (int type : MemoryTypesOfFamily(partFamily)) {
        const LRESULT at =
            SendMessageW(memory, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(MemoryTypeText(type)));
        SendMessageW(memory, CB_SETITEMDATA, static_cast<WPARAM>(at), type);
    }
    SendMessageW(memory, CB_SETCURSEL,
                 static_cast<WPARAM>(SendMessageW(memory, CB_GETCOUNT, 0, 0) - 1), 0);
}

void CConfigPage::ResetControls() const {
    SendMessageW(Window().Item(IDC_COMBO_PARTTYPE), CB_SETCURSEL, kPartFamilyUnknown, 0);
    FillMemoryTypes(kPartFamilyUnknown);
    Window().SetItemText(IDC_EDIT_FILEPATH, L"");
    Window().CheckItem(IDC_CHECK_PROGRAM, false);
    Window().CheckItem(IDC_CHECK_VERIFYIMAGE, false);
    for (int id : kSettingControls) Window().EnableItem(id, false);
}

void CConfigPage::UpdateCfgSettingUI() {
    CLogger log(L"CConfigPage::UpdateCfgSettingUI");
    if (!Window().IsValid()) return;
    const CDeviceData* device = sheet_.SelectedDevice();
    if (device && device->GetDeviceType() == kDeviceTypeHub) {
        Window().SetItemText(IDC_STATIC_PORTSETTING,
                             L"PORT CONFIGURATION:  " + device->GetPortName() + L" ");
        RefreshFromNode();
        return;
    }
    Window().SetItemText(IDC_STATIC_PORTSETTING, L"PORT CONFIGURATION:");
    Window().EnableItem(IDC_BUTTON_DUMPOTP, false);
    ResetControls();
}

void CConfigPage::RefreshFromNode() {
    ResetControls();
    for (int id : {IDC_STATIC_PORTSETTING, IDC_STATIC_ADVANCED, IDC_BUTTON_DUMPOTP,
                   IDC_BUTTON_PROGRAMRAM, IDC_STATIC_PARTTYPE, IDC_COMBO_PARTTYPE}) {
        Window().EnableItem(id, true);
    }
    const CDeviceData* device = sheet_.SelectedDevice();
    if (!device) return;
    CTCFData& tcf = TopologyConfig();
    const int entry = device->TcfIndex();
    const TcfItem* item = tcf.Item(entry);
    if (!item) return;
    const NodeSettings node = {item->partType, item->memoryType, item->doProgram,
                               item->verify,   item->configFile, item->serialConfirmed};
    const NodeView view = ViewOfNode(node);
    SendMessageW(Window().Item(IDC_COMBO_PARTTYPE), CB_SETCURSEL,
                 static_cast<WPARAM>(node.partFamily), 0);
    if (view.memoryTypeShown) {
        Window().EnableItem(IDC_STATIC_MEMTYPE, true);
        Window().EnableItem(IDC_COMBO_MEMTYPE, true);
        FillMemoryTypes(node.partFamily);
        HWND memory = Window().Item(IDC_COMBO_MEMTYPE);
        const LRESULT at = SendMessageW(memory, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(MemoryTypeText(node.memoryType)));
        SendMessageW(memory, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
    if (view.operationsShown) {
        for (int id : {IDC_STATIC_OPERATION, IDC_CHECK_PROGRAM, IDC_CHECK_VERIFYIMAGE}) {
            Window().EnableItem(id, true);
        }
        Window().CheckItem(IDC_CHECK_PROGRAM, node.program);
        Window().CheckItem(IDC_CHECK_VERIFYIMAGE, node.verify);
    }
    if (view.fileShown) {
        for (int id : {IDC_STATIC_CHOOSEFILE, IDC_EDIT_FILEPATH, IDC_BUTTON_BROWSE}) {
            Window().EnableItem(id, true);
        }
        Window().SetItemText(IDC_EDIT_FILEPATH, node.configFile);
    }
    Window().EnableItem(IDC_BUTTON_MORE, view.serialSettingsShown);
    tcf.SetConfigComplete(entry, view.complete);
}

int CConfigPage::EditableEntry(int controlId) const {
    const CDeviceData* device = sheet_.SelectedDevice();
    if (!device || !Window().Item(controlId)) return -1;
    return TopologyConfig().Item(device->TcfIndex()) ? device->TcfIndex() : -1;
}

void CConfigPage::AfterChange(int controlId) {
    sheet_.SetTopologySaved(false);
    RefreshFromNode();
    SetFocus(Window().Item(controlId));
}

void CConfigPage::OnCbnSelchangeComboParttype() {
    CLogger log(L"CConfigPage::OnCbnSelchangeComboParttype");
    const int entry = EditableEntry(IDC_COMBO_PARTTYPE);
    if (entry < 0) return;
    const int family =
        static_cast<int>(SendMessageW(Window().Item(IDC_COMBO_PARTTYPE), CB_GETCURSEL, 0, 0));
    CTCFData& tcf = TopologyConfig();
    if (family < 0 || family == tcf.GetPartType(entry)) return;
    FillMemoryTypes(family);
    tcf.SetPartType(entry, family);
    tcf.SetMemoryType(entry, kMemoryTypeUnknown);
    AfterChange(IDC_COMBO_PARTTYPE);
}

void CConfigPage::OnCbnSelchangeComboMemtype() {
    CLogger log(L"CConfigPage::OnCbnSelchangeComboMemtype");
    const int entry = EditableEntry(IDC_COMBO_MEMTYPE);
    if (entry < 0) return;
    HWND memory = Window().Item(IDC_COMBO_MEMTYPE);
    const LRESULT at = SendMessageW(memory, CB_GETCURSEL, 0, 0);
    if (at < 0) return;
    const int type =
        static_cast<int>(SendMessageW(memory, CB_GETITEMDATA, static_cast<WPARAM>(at), 0));
    CTCFData& tcf = TopologyConfig();
    if (type == tcf.GetMemoryType(entry)) return;
    tcf.SetMemoryType(entry, type);
    tcf.SetProgramRequiredOption(entry, false);
    tcf.SetVerifyOption(entry, false);
    tcf.SetConfigFile(entry, L"");
    tcf.SetSerialType(entry, kSerialTypeNone);
    AfterChange(IDC_COMBO_MEMTYPE);
}

void CConfigPage::OnBnClickedCheckProgram() {
    CLogger log(L"CConfigPage::OnBnClickedCheckProgram");
    const int entry = EditableEntry(IDC_CHECK_PROGRAM);
    if (entry < 0) return;
    const bool checked = Window().IsItemChecked(IDC_CHECK_PROGRAM);
    CTCFData& tcf = TopologyConfig();
    if (checked == tcf.GetProgramRequiredOption(entry)) return;
    tcf.SetProgramRequiredOption(entry, checked);
    tcf.SetSerialType(entry, kSerialTypeNone);
    AfterChange(IDC_CHECK_PROGRAM);
}

void CConfigPage::OnBnClickedCheckVerifyimage() {
    CLogger log(L"CConfigPage::OnBnClickedCheckVerifyimage");
    const int entry = EditableEntry(IDC_CHECK_VERIFYIMAGE);
    if (entry < 0) return;
    const bool checked = Window().IsItemChecked(IDC_CHECK_VERIFYIMAGE);
    CTCFData& tcf = TopologyConfig();
    if (checked == tcf.GetVerifyOption(entry)) return;
    tcf.SetVerifyOption(entry, checked);
    AfterChange(IDC_CHECK_VERIFYIMAGE);
}

void CConfigPage::OnBnClickedButtonBrowse() {
    CLogger log(L"CConfigPage::OnBnClickedButtonBrowse");
    const int entry = EditableEntry(IDC_BUTTON_BROWSE);
    if (entry < 0) return;
    CTCFData& tcf = TopologyConfig();
    const bool binary = BrowsesForImage(tcf.GetPartType(entry), tcf.GetMemoryType(entry));
    std::wstring path;
    if (!AskOpenFile(
            Window(),
            binary ? L"Binary File (*.bin)|*.bin||" : L"Configuration File (*.cfg)|*.cfg||", L"",
            L"", path)) {
        return;
    }
    Window().SetItemText(IDC_EDIT_FILEPATH, path);
    if (path == tcf.GetConfigFile(entry)) return;
    tcf.SetConfigFile(entry, path);
    AfterChange(IDC_BUTTON_BROWSE);
}

void CConfigPage::OnBnClickedButtonMore() {
    if (EditableEntry(IDC_BUTTON_MORE) < 0) return;
    serialDlg_.Run(Window());
}

void CConfigPage::OnBnClickedButtonDumpOtp() {
    CLogger log(L"CConfigPage::OnBnClickedButtonDumpOtp");
    const CDeviceData* device = sheet_.SelectedDevice();
    if (!device) return;
    std::wstring path;
    if (!AskSaveFile(Window(), L"otp dump(*.bin)|*.bin||", L"bin", L"*.bin", path)) return;
    AddStatus(device->DumpOTP(path) ? L"OTP dumped to" + path : L"Failed to dump OTP");
}

void CConfigPage::OnBnClickedButtonProgramRam() {
    CLogger log(L"CConfigPage::OnBnClickedButtonProgramRam");
    const CDeviceData* device = sheet_.SelectedDevice();
    if (!device) return;
    std::wstring path;
    if (!AskOpenFile(Window(), L"configuration file(*.cfg)|*.cfg||", L"cfg", L"*.cfg", path)) {
        return;
    }
    AddStatus(device->WriteToRAM(path) ? L"Device Programmed Success" : L"Failed Program to RAM");
}

void CConfigPage::OnProgramOnce() {
    CLogger log(L"CConfigPage::OnProgramOnce");
}

void CConfigPage::OnAutomatedProgram() {
    CLogger log(L"CConfigPage::OnAutomatedProgram");
}

bool CConfigPage::OnCommand(int id, int code, HWND) {
    switch (id) {
        case IDC_COMBO_PARTTYPE:
            if (code == CBN_SELCHANGE) OnCbnSelchangeComboParttype();
            return true;
        case IDC_COMBO_MEMTYPE:
            if (code == CBN_SELCHANGE) OnCbnSelchangeComboMemtype();
            return true;
        case IDC_CHECK_PROGRAM:
            if (code == BN_CLICKED) OnBnClickedCheckProgram();
            return true;
        case IDC_CHECK_VERIFYIMAGE:
            if (code == BN_CLICKED) OnBnClickedCheckVerifyimage();
            return true;
        case IDC_BUTTON_BROWSE:
            if (code == BN_CLICKED) OnBnClickedButtonBrowse();
            return true;
        case IDC_BUTTON_MORE:
            if (code == BN_CLICKED) OnBnClickedButtonMore();
            return true;
        case IDC_BUTTON_DUMPOTP:
            if (code == BN_CLICKED) OnBnClickedButtonDumpOtp();
            return true;
        case IDC_BUTTON_PROGRAMRAM:
            if (code == BN_CLICKED) OnBnClickedButtonProgramRam();
            return true;
    }
    return false;
}
