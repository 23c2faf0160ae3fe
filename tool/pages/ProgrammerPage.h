// CProgrammerPage: page 1 of the sheet, from which programming runs are started and followed.
// The tree is shown here in execution view. The page holds no programming logic: START and
// STOP ask the sheet, the radio buttons mirror the sheet's "Execution Options" menu. It also
// chooses the production record file, remembered per topology folder (RecordChoice.h).
#pragma once

#include "TreePage.h"

class CProgrammerPage : public CTreePage {
public:
    explicit CProgrammerPage(CSheet& sheet);

    void ShowStartButton() const;
    // The note about the selected device's SPI pseudo-OTP mode (when a device is selected).
    void UpdateDeviceNote() const;

protected:
    bool OnInitDialog() override;
    bool OnSetActive() override;
    bool OnCommand(int id, int code, HWND control) override;

private:
    void OnBnClickedButtonStart();
    void OnBnClickedStopProgramButton();
    void OnBnClickedRadioOnce();
    void OnBnClickedRadioAutomated();
    // Both radio buttons: chosen is the command of the option clicked.
    void OnExecutionOption(int chosen);
    void OnBnClickedButtonRecordFile();
    // The record file remembered for the current topology's folder, handed to the sheet.
    void LoadRecordChoice();
};
