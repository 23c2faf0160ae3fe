#include "Dialog.h"

INT_PTR CModalDialog::Run(HWND parent) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId_), parent,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CModalDialog::OnCommand(int id, int) {
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(window_, id);
        return true;
    }
    return false;
}

INT_PTR CALLBACK CModalDialog::DialogProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, l);
    auto* self = reinterpret_cast<CModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    try {
        switch (message) {
            case WM_INITDIALOG:
                self->window_.Attach(window);
                return self->OnInitDialog() ? TRUE : FALSE;
            case WM_COMMAND:
                return self->OnCommand(LOWORD(w), HIWORD(w)) ? TRUE : FALSE;
            case WM_NCDESTROY:
                self->window_.Attach(nullptr);
                return FALSE;
        }
        INT_PTR result = 0;
        if (self->OnMessage(message, w, l, result)) return result;
    } catch (...) {
    }
    return FALSE;
}
