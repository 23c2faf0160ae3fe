#include "AboutDlg.h"

#include "../res/resource.h"

const wchar_t kVersionText[] = L"Version 4.1.9.0";

CAboutDlg::CAboutDlg() : CModalDialog(IDD_ABOUTBOX) {}

bool CAboutDlg::OnInitDialog() {
    Window().SetItemText(IDC_STATIC_VERSION, kVersionText);
    return true;
}
