// The page's dialog procedure and its dispatch to the virtual handlers.
#include "EditorPageBase.h"

void CEditorPageBase::Fill(PROPSHEETPAGEW& page) {
    page = {};
    page.dwSize = sizeof(page);
    page.dwFlags = PSP_DEFAULT;
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(dialogId_);
    page.pfnDlgProc = DialogProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
}

INT_PTR CALLBACK CEditorPageBase::DialogProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        auto* page = reinterpret_cast<PROPSHEETPAGEW*>(l);
        SetWindowLongPtrW(window, DWLP_USER, page->lParam);
        reinterpret_cast<CEditorPageBase*>(page->lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<CEditorPageBase*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    try {
        return self->Dispatch(message, w, l);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR CEditorPageBase::Dispatch(UINT message, WPARAM w, LPARAM l) {
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
            return OnNotify(header) ? TRUE : FALSE;
        }
        case WM_NCDESTROY:
            window_ = nullptr;
            return FALSE;
    }
    INT_PTR result = FALSE;
    return OnMessage(message, w, l, result) ? result : FALSE;
}
