// The test host sheet and a small PNG writer for screenshots.
#include "EditorHost.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "ConfigEditorIds.h"

namespace {

// The head of an extended dialog template (the headers lack it).
#pragma pack(push, 1)
struct DialogTemplateExHead {
    WORD version;
    WORD signature;  // 0xFFFF
    DWORD helpId;
    DWORD exStyle;
    DWORD style;
};
#pragma pack(pop)

// The sheet is made hidden; it is shown only when asked for.
int CALLBACK HiddenSheet(HWND, UINT message, LPARAM data) {
    if (message == PSCB_PRECREATE) {
        auto* extended = reinterpret_cast<DialogTemplateExHead*>(data);
        if (extended->signature == 0xFFFF) {
            extended->style &= ~WS_VISIBLE;
        } else {
            reinterpret_cast<DLGTEMPLATE*>(data)->style &= ~WS_VISIBLE;
        }
    }
    return 0;
}

}  // namespace

CEditorHost::CEditorHost(CConfigEditor& page, bool shown) : page_(page) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    PROPSHEETPAGEW pageInfo;
    page_.Fill(pageInfo);
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags =
        PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP | PSH_USECALLBACK;
    header.pfnCallback = HiddenSheet;
    header.pszCaption = L"Configuration editor test host";
    header.nPages = 1;
    header.ppsp = &pageInfo;
    sheet_ = reinterpret_cast<HWND>(PropertySheetW(&header));
    SetWindowPos(sheet_, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
    if (shown) ShowWindow(sheet_, SW_SHOW);
    Pump();
}

CEditorHost::~CEditorHost() {
    if (sheet_) DestroyWindow(sheet_);
    Pump();
}

HWND CEditorHost::FieldArea() const {
    return Item(IDC_EDITOR_FIELD_AREA);
}

void CEditorHost::Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void CEditorHost::SelectPart(int index) const {
    HWND list = Item(IDC_EDITOR_PART_NUMBER);
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(Page(), WM_COMMAND, MAKEWPARAM(IDC_EDITOR_PART_NUMBER, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void CEditorHost::Click(int id) const {
    SendMessageW(Item(id), BM_CLICK, 0, 0);
}

HWND CEditorHost::FieldControl(int id, int n) const {
    for (HWND child = GetWindow(FieldArea(), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == id && n-- == 0) return child;
    }
    return nullptr;
}

RECT CEditorHost::RectOf(HWND child) const {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, FieldArea(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int CEditorHost::TopOf(HWND child) const {
    return RectOf(child).top;
}

std::wstring CEditorHost::Text(HWND window) const {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

bool CEditorHost::Checked(HWND button) const {
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

namespace {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    PutBigEndian(png, Crc32(body.data(), body.size()));
}

// zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t offset = 0;
    do {
        const size_t length = raw.size() - offset < 65535 ? raw.size() - offset : 65535;
        out.push_back(offset + length == raw.size() ? 1 : 0);
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + offset, raw.begin() + offset + length);
        offset += length;
    } while (offset < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(out, (b << 16) | a);
    return out;
}

}  // namespace

bool SaveWindowPng(HWND window, const std::wstring& path) {
    // The client area: without a window manager the display has no frame to show.
    RECT rect;
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    std::vector<uint8_t> raw;
    const uint8_t* pixels = static_cast<const uint8_t*>(bits);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const uint8_t* bgra = pixels + (static_cast<size_t>(y) * width + x) * 4;
            raw.insert(raw.end(), {bgra[2], bgra[1], bgra[0]});
        }
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", StoredZlib(raw));
    PutChunk(png, "IEND", {});
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const bool written = fwrite(png.data(), 1, png.size(), file) == png.size();
    return fclose(file) == 0 && written;
}
