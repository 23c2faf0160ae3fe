// CModalDialog: a modal dialog from a resource whose one dialog procedure keeps `this` in
// DWLP_USER and forwards to virtual member handlers. Nothing thrown in a handler leaves the
// procedure.
#pragma once

#include "Window.h"

class CModalDialog {
public:
    explicit CModalDialog(int resourceId) : resourceId_(resourceId) {}
    virtual ~CModalDialog() = default;
    CModalDialog(const CModalDialog&) = delete;
    CModalDialog& operator=(const CModalDialog&) = delete;

    INT_PTR Run(HWND parent);
    CWindow Window() const { return window_; }

protected:
    virtual bool OnInitDialog() { return true; }
    // True when the command was handled; OK and Cancel end the dialog by default.
    virtual bool OnCommand(int id, int code);
    // Any other message; true when handled, with the procedure's result in result.
    virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, INT_PTR& /*result*/) { return false; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM w, LPARAM l);

    int resourceId_;
    CWindow window_;
};
