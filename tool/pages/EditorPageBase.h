// CEditorPageBase: a property page built from a dialog resource, for the
// configuration editor. Same shape as the sheet's common page base (Fill,
// Window, the virtual handlers), so the editor can move onto that base by
// changing its base class. The dialog procedure keeps `this` in DWLP_USER and
// forwards; nothing thrown in a handler leaves the procedure.
#pragma once

#include <windows.h>

#include <commctrl.h>

class CEditorPageBase {
public:
    explicit CEditorPageBase(int dialogId) : dialogId_(dialogId) {}
    virtual ~CEditorPageBase() = default;
    CEditorPageBase(const CEditorPageBase&) = delete;
    CEditorPageBase& operator=(const CEditorPageBase&) = delete;

    // Prepares the page for PropertySheetW or PSM_ADDPAGE (template from this program's resources).
    void Fill(PROPSHEETPAGEW& page);
    // The page's window; null before the sheet created the page.
    HWND Window() const { return window_; }
    int DialogId() const { return dialogId_; }

protected:
    virtual bool OnInitDialog() { return true; }
    // PSN_SETACTIVE; false refuses the activation.
    virtual bool OnSetActive() { return true; }
    virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    virtual bool OnNotify(NMHDR& /*header*/) { return false; }
    // Any other message; true when handled, with the procedure's result in result.
    virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, INT_PTR& /*result*/) { return false; }
    void SetResult(LONG_PTR result) const { SetWindowLongPtrW(window_, DWLP_MSGRESULT, result); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM w, LPARAM l);
    INT_PTR Dispatch(UINT message, WPARAM w, LPARAM l);

    int dialogId_;
    HWND window_ = nullptr;
};
