// CPropertyPage: the common base of the sheet's pages.
//
// A page is built from a dialog resource. Fill() prepares the PROPSHEETPAGEW that the sheet
// passes to the platform; the page's one dialog procedure stores `this` (from the page's lParam)
// in DWLP_USER and forwards to the virtual handlers below. A handler that answers a
// notification with a value sets it with SetResult (DWLP_MSGRESULT) and returns true.
// Nothing thrown in a handler leaves the procedure.
//
// To add a page: derive from CPropertyPage with the page's dialog id, override the handlers the
// page needs, and add the page where the sheet builds its page list (CSheet::CreatePages).
#pragma once

#include "Window.h"

#include <commctrl.h>

class CPropertyPage {
public:
    explicit CPropertyPage(int dialogId) : dialogId_(dialogId) {}
    virtual ~CPropertyPage() = default;
    CPropertyPage(const CPropertyPage&) = delete;
    CPropertyPage& operator=(const CPropertyPage&) = delete;

    void Fill(PROPSHEETPAGEW& page);
    // The page's window; not valid before the sheet created the page.
    CWindow Window() const { return window_; }
    int DialogId() const { return dialogId_; }

protected:
    virtual bool OnInitDialog() { return true; }
    // PSN_SETACTIVE; false refuses the activation.
    virtual bool OnSetActive() { return true; }
    // PSN_KILLACTIVE; false keeps the page active.
    virtual bool OnKillActive() { return true; }
    virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    // Notifications other than PSN_SETACTIVE and PSN_KILLACTIVE.
    virtual bool OnNotify(NMHDR& /*header*/) { return false; }
    // Any other message; true when handled, with the procedure's result in result.
    virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, INT_PTR& /*result*/) { return false; }
    void SetResult(LONG_PTR result) const { SetWindowLongPtrW(window_, DWLP_MSGRESULT, result); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM w, LPARAM l);
    INT_PTR Dispatch(UINT message, WPARAM w, LPARAM l);

    int dialogId_;
    CWindow window_;
};
