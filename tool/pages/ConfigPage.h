// CConfigPage: page 0 of the sheet, where the operator configures the node selected in the
// topology tree. The tree is shown here in configuration view. The page keeps no node data of
// its own: it reads and writes the selected device's topology entry, and after every change
// works out whether that entry is complete enough to be saved.
#pragma once

#include <string>

#include "SerialDlg.h"
#include "TreePage.h"

class CConfigPage : public CTreePage {
public:
    explicit CConfigPage(CSheet& sheet);

    // Debug controls shown by "Enable Debug options".
    void ShowDebugControls(bool show) const;
    // The tree selection changed: show the selected hub's settings, or grey everything.
    void UpdateCfgSettingUI();

    void OnProgramOnce();
    void OnAutomatedProgram();

protected:
    bool OnInitDialog() override;
    bool OnSetActive() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    void OnCbnSelchangeComboParttype();
    void OnCbnSelchangeComboMemtype();
    void OnBnClickedCheckProgram();
    void OnBnClickedCheckVerifyimage();
    void OnBnClickedButtonBrowse();
    void OnBnClickedButtonMore();
    void OnBnClickedButtonDumpOtp();
    void OnBnClickedButtonProgramRam();

    // The selected device's topology entry when a handler may change it (a device is selected
    // and the control exists); -1 otherwise.
    int EditableEntry(int controlId) const;
    // A setting changed: the topology is no longer saved, the page shows it, focus goes back.
    void AfterChange(int controlId);
    // Resets every setting control and disables the controls and their labels.
    void ResetControls() const;
    void FillMemoryTypes(int partFamily) const;
    // Shows the selected node and stores whether its configuration is complete.
    void RefreshFromNode();

    CSerialDlg serialDlg_;
};
