#include "PropertyPage.h"

void CPropertyPage::Fill(PROPSHEETPAGEW& page) {
    page = {};
    page.dwSize = sizeof(page);
    page.dwFlags = PSP_DEFAULT;
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(dialogId_);
    page.pfnDlgProc = DialogProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
}

INT_PTR CALLBACK CPropertyPage::DialogProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        auto* page = reinterpret_cast<PROPSHEETPAGEW*>(l);
        SetWindowLongPtrW(window, DWLP_USER, page->lParam);
        reinterpret_cast<CPropertyPage*>(page->lParam)->window_.Attach(window);
    }
    auto* self = reinterpret_cast<CPropertyPage*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    try {
        return self->Dispatch(message, w, l);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR CPropertyPage::Dispatch(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog() ? TRUE : FALSE;
        case WM_COMMAND:
            return OnCommand(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l)) ? TRUE : FALSE;
        case WM_NOTIFY: {
            NMHDR& header = *reinterpret_cast<NMHDR*>(l);
            if (header.code == PSN_SETACTIVE) {
                SetResult(OnSetActive() ? 0 : -1);
                return TRUE;
            }
            if (header.code == PSN_KILLACTIVE) {
                SetResult(OnKillActive() ? FALSE : TRUE);
                return TRUE;
            }
            return OnNotify(header) ? TRUE : FALSE;
        }
        case WM_NCDESTROY:
            window_.Attach(nullptr);
            return FALSE;
    }
    INT_PTR result = FALSE;
    return OnMessage(message, w, l, result) ? result : FALSE;
}
