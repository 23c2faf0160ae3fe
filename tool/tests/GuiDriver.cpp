#include "GuiDriver.h"

#include <cstdio>
#include <memory>

#include "Sheet.h"

namespace guitest {

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

// ---- the sheet on its own thread

namespace {

BOOL CALLBACK FindSheet(HWND window, LPARAM l) {
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (wcsncmp(caption, kSheetCaption, wcslen(kSheetCaption)) != 0) return TRUE;
    *reinterpret_cast<HWND*>(l) = window;
    return FALSE;
}

}  // namespace

CSheetThread::~CSheetThread() {
    if (IsRunning()) Close();
    if (callHook_) UnhookWindowsHookEx(callHook_);
    if (getMessageHook_) UnhookWindowsHookEx(getMessageHook_);
    if (thread_) CloseHandle(thread_);
}

DWORD WINAPI CSheetThread::Main(void* self) {
    CSheet sheet;
    static_cast<CSheetThread*>(self)->object_ = &sheet;
    sheet.Run();
    static_cast<CSheetThread*>(self)->object_ = nullptr;
    return 0;
}

namespace {

// A call for the sheet's thread, carried by a message the sheet does not know; a hook on that
// thread runs it as the message arrives.
const UINT kSheetCallMessage = RegisterWindowMessageW(L"ZrvTestSheetCall");

struct SheetCall {
    std::function<void(CSheet&)> call;
    CSheet* sheet;
};

// A posted marker: once the sheet's thread takes it off its queue, everything posted before it
// was taken off too.
const UINT kFlushMessage = RegisterWindowMessageW(L"ZrvTestSheetFlush");
volatile LONG flushedMarker = 0;
volatile LONG nextMarker = 0;

}  // namespace

LRESULT CALLBACK CSheetThread::GetMessageHook(int code, WPARAM w, LPARAM l) {
    const auto* message = reinterpret_cast<const MSG*>(l);
    if (code == HC_ACTION && w == PM_REMOVE && message->message == kFlushMessage) {
        InterlockedExchange(&flushedMarker, static_cast<LONG>(message->wParam));
    }
    return CallNextHookEx(nullptr, code, w, l);
}

bool CSheetThread::Flush(DWORD timeoutMs) const {
    const LONG marker = InterlockedIncrement(&nextMarker);
    if (!PostMessageW(sheet_, kFlushMessage, static_cast<WPARAM>(marker), 0)) return false;
    return WaitUntil(
        [marker] { return InterlockedCompareExchange(&flushedMarker, 0, 0) == marker; }, timeoutMs);
}

LRESULT CALLBACK CSheetThread::CallHook(int code, WPARAM w, LPARAM l) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(l);
    if (code == HC_ACTION && message->message == kSheetCallMessage) {
        std::unique_ptr<SheetCall> call(reinterpret_cast<SheetCall*>(message->lParam));
        call->call(*call->sheet);
    }
    return CallNextHookEx(nullptr, code, w, l);
}

void CSheetThread::OnSheetThread(const std::function<void(CSheet&)>& call) const {
    SendMessageW(sheet_, kSheetCallMessage, 0,
                 reinterpret_cast<LPARAM>(new SheetCall{call, object_}));
}

void CSheetThread::PostToSheetThread(const std::function<void(CSheet&)>& call) const {
    SendNotifyMessageW(sheet_, kSheetCallMessage, 0,
                       reinterpret_cast<LPARAM>(new SheetCall{call, object_}));
}

bool CSheetThread::Start(DWORD timeoutMs) {
    thread_ = CreateThread(nullptr, 0, Main, this, 0, &threadId_);
    if (!thread_) return false;
    // Calls for the sheet's thread arrive through this hook (OnSheetThread).
    callHook_ = SetWindowsHookExW(WH_CALLWNDPROC, CallHook, nullptr, threadId_);
    getMessageHook_ = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, threadId_);
    return WaitUntil(
        [this] {
            sheet_ = nullptr;
            EnumThreadWindows(threadId_, FindSheet, reinterpret_cast<LPARAM>(&sheet_));
            // The tree exists once the sheet's start-up has run.
            return sheet_ != nullptr && IsWindowVisible(sheet_) && Tree() != nullptr;
        },
        timeoutMs);
}

bool CSheetThread::IsRunning() const {
    return thread_ && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT;
}

bool CSheetThread::Close(DWORD timeoutMs) {
    if (!IsRunning()) return true;
    PostMessageW(sheet_, WM_SYSCOMMAND, SC_CLOSE, 0);
    return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
}

HWND CSheetThread::Page() const {
    return reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
}

HWND CSheetThread::Tree() const {
    HWND tree = GetDlgItem(sheet_, 4101);
    if (tree) return tree;
    for (HWND child = GetWindow(sheet_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (HWND inPage = GetDlgItem(child, 4101)) return inPage;
    }
    return nullptr;
}

void CSheetThread::PostCommand(int id) const {
    PostMessageW(sheet_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

LRESULT CSheetThread::Send(UINT message, WPARAM w, LPARAM l) const {
    return SendMessageW(sheet_, message, w, l);
}

void CSheetThread::ClickTab(int index) const {
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETTABCONTROL, 0, 0));
    RECT rect = {};
    if (!SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect))) return;
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    const int before = ActivePage();
    // Posted, as the mouse does: the sheet may answer the click with a message box.
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(tab, WM_LBUTTONUP, 0, point);
    WaitUntil([&] { return ActivePage() != before || WaitForDialog(threadId_, sheet_, 0); }, 2000);
}

int CSheetThread::ActivePage() const {
    return static_cast<int>(
        SendMessageW(sheet_, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(Page()), 0));
}

UINT CSheetThread::MenuState(int command) const {
    return GetMenuState(GetMenu(sheet_), command, MF_BYCOMMAND);
}

UINT CSheetThread::MenuPopupState(int position) const {
    return GetMenuState(GetMenu(sheet_), position, MF_BYPOSITION);
}

std::wstring CSheetThread::StatusPaneText(int paneId) const {
    HWND pane = PageItem(paneId);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(pane)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(pane, &text[0], static_cast<int>(text.size()))));
    return text;
}

// ---- dialogs

namespace {

bool IsDialogWindow(HWND window) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return wcscmp(name, L"#32770") == 0 && IsWindowVisible(window);
}

struct DialogSearch {
    HWND except;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindThreadDialog(HWND window, LPARAM l) {
    auto& s = *reinterpret_cast<DialogSearch*>(l);
    if (window == s.except || !IsDialogWindow(window)) return TRUE;
    s.found = window;
    return FALSE;
}

BOOL CALLBACK FindProcessDialog(HWND window, LPARAM l) {
    auto& s = *reinterpret_cast<DialogSearch*>(l);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != s.processId || window == s.except || !IsDialogWindow(window)) return TRUE;
    if (!GetDlgItem(window, 0xFFFF)) return TRUE;  // not a message box
    s.found = window;
    return FALSE;
}

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM l) {
    auto& s = *reinterpret_cast<DialogSearch*>(l);
    if (GetWindow(window, GW_OWNER) != s.except || !IsDialogWindow(window)) return TRUE;
    s.found = window;
    return FALSE;
}

struct CaptionSearch {
    DWORD processId;
    const std::wstring* prefix;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM l) {
    auto& s = *reinterpret_cast<CaptionSearch*>(l);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t caption[512] = {};
    GetWindowTextW(window, caption, 512);
    if (owner != s.processId || !IsWindowVisible(window) ||
        std::wstring(caption).rfind(*s.prefix, 0) != 0) {
        return TRUE;
    }
    s.found = window;
    return FALSE;
}

}  // namespace

HWND WaitForDialog(DWORD threadId, HWND sheet, DWORD timeoutMs) {
    DialogSearch search{sheet, 0, nullptr};
    WaitUntil(
        [&] {
            EnumThreadWindows(threadId, FindThreadDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

HWND WaitForProcessDialog(DWORD processId, HWND except, DWORD timeoutMs) {
    DialogSearch search{except, processId, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(FindProcessDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

HWND WaitForProcessWindow(DWORD processId, const std::wstring& captionPrefix, DWORD timeoutMs) {
    CaptionSearch search{processId, &captionPrefix, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

std::wstring MessageBoxText(HWND box) {
    // The message is the static control 0xFFFF of the box.
    wchar_t text[2048] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 2048);
    return text;
}

bool PressButton(HWND dialog, int id, DWORD timeoutMs) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return WaitUntil([dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, timeoutMs);
}

bool AnswerMessageBox(DWORD threadId, HWND sheet, std::wstring& text, int button) {
    HWND box = WaitForDialog(threadId, sheet);
    if (!box) return false;
    text = MessageBoxText(box);
    return PressButton(box, button);
}

bool AnswerFileDialog(DWORD threadId, HWND sheet, const std::wstring& path) {
    HWND dialog = WaitForDialog(threadId, sheet);
    if (!dialog) return false;
    // The file name box: edt1 (0x480) or the combo box cmb13 (0x47c) around an edit.
    HWND name = GetDlgItem(dialog, 0x480);
    if (!name) name = GetDlgItem(dialog, 0x47c);
    if (!name) return false;
    // Wine answers after its dialog finished initialising.
    Sleep(200);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    // Either the dialog goes, or it asks whether to replace the file.
    if (!WaitUntil([dialog] { return !IsWindow(dialog); }, 1500)) {
        DialogSearch search{dialog, 0, nullptr};
        EnumThreadWindows(threadId, FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) PressButton(search.found, IDYES);
    }
    return WaitUntil([dialog] { return !IsWindow(dialog); }, 5000);
}

// ---- tree

namespace {

std::vector<TreeItem> ReadTreeItems(HWND tree) {
    std::vector<TreeItem> items;
    std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
        for (; item; item = TreeView_GetNextSibling(tree, item)) {
            wchar_t text[512] = {};
            TVITEMW tv = {};
            tv.mask = TVIF_TEXT | TVIF_PARAM | TVIF_HANDLE;
            tv.hItem = item;
            tv.pszText = text;
            tv.cchTextMax = 512;
            SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
            items.push_back({item, text, depth, tv.lParam});
            walk(TreeView_GetChild(tree, item), depth + 1);
        }
    };
    walk(TreeView_GetRoot(tree), 0);
    return items;
}

bool SameItems(const std::vector<TreeItem>& a, const std::vector<TreeItem>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].handle != b[i].handle || a[i].data != b[i].data || a[i].text != b[i].text) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<TreeItem> TreeItems(HWND tree) {
    // The library's events rebuild the tree on the sheet's thread at any time: wait until it
    // held still for a moment, so the records read afterwards are the ones shown.
    std::vector<TreeItem> items = ReadTreeItems(tree);
    for (int attempt = 0; attempt < 25; ++attempt) {
        Sleep(100);
        std::vector<TreeItem> again = ReadTreeItems(tree);
        if (SameItems(items, again)) break;
        items.swap(again);
    }
    return items;
}

const TreeItem* FindItem(const std::vector<TreeItem>& items, const std::wstring& text) {
    for (const TreeItem& item : items) {
        if (item.text == text) return &item;
    }
    return nullptr;
}

TreeItem ItemNamed(HWND tree, const std::wstring& text) {
    const std::vector<TreeItem> items = TreeItems(tree);
    const TreeItem* item = FindItem(items, text);
    return item ? *item : TreeItem{nullptr, L"", 0, 0};
}

// ---- pixels

Capture CaptureWindow(HWND window) {
    Capture capture;
    RECT rect;
    GetWindowRect(window, &rect);
    capture.width = rect.right - rect.left;
    capture.height = rect.bottom - rect.top;
    if (capture.width <= 0 || capture.height <= 0) return capture;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, capture.width, capture.height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    capture.pixels.assign(pixels, pixels + static_cast<size_t>(capture.width) * capture.height);
    for (uint32_t& pixel : capture.pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return capture;
}

Capture CapturePainted(HWND window) {
    // Paints what is pending, on the window's own thread, before the screen is read.
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return CaptureWindow(window);
}

int CountColour(HWND window, const Capture& capture, const RECT& rect, COLORREF colour) {
    RECT windowRect;
    GetWindowRect(window, &windowRect);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const int dx = origin.x - windowRect.left;
    const int dy = origin.y - windowRect.top;
    const uint32_t wanted =
        (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    int count = 0;
    for (int y = rect.top + dy; y < rect.bottom + dy; ++y) {
        for (int x = rect.left + dx; x < rect.right + dx; ++x) {
            if (x >= 0 && y >= 0 && x < capture.width && y < capture.height &&
                capture.At(x, y) == wanted) {
                ++count;
            }
        }
    }
    return count;
}

namespace {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBig32(out, Crc32(body.data(), body.size()));
}

}  // namespace

bool WritePng(const Capture& capture, const std::wstring& path) {
    if (capture.width <= 0 || capture.height <= 0) return false;
    // Raw scanlines (filter 0, RGB) in stored deflate blocks: no compressor needed.
    std::vector<uint8_t> raw;
    for (int y = 0; y < capture.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < capture.width; ++x) {
            const uint32_t pixel = capture.At(x, y);
            raw.push_back(static_cast<uint8_t>(pixel >> 16));
            raw.push_back(static_cast<uint8_t>(pixel >> 8));
            raw.push_back(static_cast<uint8_t>(pixel));
        }
    }
    std::vector<uint8_t> zlib = {0x78, 0x01};
    for (size_t offset = 0; offset < raw.size() || offset == 0;) {
        const size_t length = std::min<size_t>(65535, raw.size() - offset);
        const bool last = offset + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(length));
        zlib.push_back(static_cast<uint8_t>(length >> 8));
        zlib.push_back(static_cast<uint8_t>(~length));
        zlib.push_back(static_cast<uint8_t>(~length >> 8));
        zlib.insert(zlib.end(), raw.begin() + offset, raw.begin() + offset + length);
        offset += length;
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(zlib, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    PutBig32(header, static_cast<uint32_t>(capture.width));
    PutBig32(header, static_cast<uint32_t>(capture.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const bool ok = fwrite(png.data(), 1, png.size(), file) == png.size();
    return fclose(file) == 0 && ok;
}

}  // namespace guitest
