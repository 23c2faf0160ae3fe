// Test support for the tool's windows: runs the sheet on a thread of its own (or the program as
// a process), finds the windows it opens, answers message boxes and file dialogs, reads the
// topology tree and takes screenshots. Everything goes through window messages, as a user's
// clicks would.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

class CSheet;

namespace guitest {

// Waits until condition holds, pumping nothing; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

// The sheet, run modally on its own user-interface thread as the program runs it.
class CSheetThread {
public:
    CSheetThread() = default;
    ~CSheetThread();  // closes the sheet if it is still open
    CSheetThread(const CSheetThread&) = delete;
    CSheetThread& operator=(const CSheetThread&) = delete;

    // Starts the sheet and waits for its window; false when it did not appear in time.
    bool Start(DWORD timeoutMs = 10000);
    // Sends the close command and waits for the thread; false when the sheet stayed open.
    bool Close(DWORD timeoutMs = 10000);
    bool IsRunning() const;

    HWND Sheet() const { return sheet_; }
    DWORD ThreadId() const { return threadId_; }
    HWND Page() const;  // the active page
    HWND Tree() const;  // control 4101, wherever it is
    HWND PageItem(int id) const { return GetDlgItem(Page(), id); }

    // Runs a menu command the way the menu does; returns at once (the command may open a box).
    void PostCommand(int id) const;
    // Sends a message to the sheet from this thread, waiting for it to be handled.
    LRESULT Send(UINT message, WPARAM w = 0, LPARAM l = 0) const;
    // Activates page index through its tab, as a click on the tab does.
    void ClickTab(int index) const;
    int ActivePage() const;
    // Menu item state flags (MF_CHECKED, MF_GRAYED ...) by command or by top-level position.
    UINT MenuState(int command) const;
    UINT MenuPopupState(int position) const;
    std::wstring StatusPaneText(int paneId) const;

    // Runs call on the sheet's thread with the sheet object, as a handler of the sheet would,
    // and waits for it. For operations whose buttons live on a page.
    void OnSheetThread(const std::function<void(CSheet&)>& call) const;
    // The same without waiting: for calls that open a message box.
    void PostToSheetThread(const std::function<void(CSheet&)>& call) const;
    // Waits until the sheet's thread has taken every message posted to the sheet before this
    // call (the library's events among them) off its queue; false after timeoutMs.
    bool Flush(DWORD timeoutMs = 10000) const;

private:
    static DWORD WINAPI Main(void* self);
    static LRESULT CALLBACK CallHook(int code, WPARAM w, LPARAM l);
    static LRESULT CALLBACK GetMessageHook(int code, WPARAM w, LPARAM l);

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND sheet_ = nullptr;
    CSheet* object_ = nullptr;
    HHOOK callHook_ = nullptr;
    HHOOK getMessageHook_ = nullptr;
};

// A dialog (message box, file dialog) that the given thread opened besides the sheet.
HWND WaitForDialog(DWORD threadId, HWND sheet, DWORD timeoutMs = 10000);
// A message box of that process other than `except` (the sheet, itself a dialog window, and its
// pages never count).
HWND WaitForProcessDialog(DWORD processId, HWND except, DWORD timeoutMs = 10000);
// A top-level window of the process whose caption begins with prefix.
HWND WaitForProcessWindow(DWORD processId, const std::wstring& captionPrefix,
                          DWORD timeoutMs = 20000);
// The message text of a message box.
std::wstring MessageBoxText(HWND box);
// Presses a button of a dialog (IDOK, IDYES ...), and waits for the dialog to go.
bool PressButton(HWND dialog, int id, DWORD timeoutMs = 5000);
// Answers the dialog the thread opened with the message box text it shows; the text goes into
// text. Returns false when no box appeared.
bool AnswerMessageBox(DWORD threadId, HWND sheet, std::wstring& text, int button = IDOK);
// Types path into the thread's open/save dialog and confirms it; a question whether to
// replace the file is answered with Yes.
bool AnswerFileDialog(DWORD threadId, HWND sheet, const std::wstring& path);

struct TreeItem {
    HTREEITEM handle;
    std::wstring text;
    int depth;  // 0 for the root
    LPARAM data;
};
// Every item of an in-process tree control, in display order, once the tree stopped changing.
std::vector<TreeItem> TreeItems(HWND tree);
const TreeItem* FindItem(const std::vector<TreeItem>& items, const std::wstring& text);
// The item of the tree with that text, by value; its handle is null when there is none.
TreeItem ItemNamed(HWND tree, const std::wstring& text);

// Pixels of a window as shown on the screen, top-down, 0x00RRGGBB.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Capture CaptureWindow(HWND window);
// The same once every part of the window waiting to be painted was painted: a window whose
// thread is busy with events shows half-painted areas otherwise.
Capture CapturePainted(HWND window);
// How many pixels of rect (window client coordinates of `window`) have the colour.
int CountColour(HWND window, const Capture& capture, const RECT& rect, COLORREF colour);
// Writes the capture as a PNG file.
bool WritePng(const Capture& capture, const std::wstring& path);

}  // namespace guitest
