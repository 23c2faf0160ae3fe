// CAboutDlg: the About box (dialog 142) with the program's version.
#pragma once

#include "Dialog.h"

extern const wchar_t kVersionText[];

class CAboutDlg : public CModalDialog {
public:
    CAboutDlg();

protected:
    bool OnInitDialog() override;
};
