#include "MiravelTree.h"

#include "DeviceData.h"

namespace {

const COLORREF kConfigurationColours[] = {
    RGB(0, 73, 153),   // 1: in the topology, with an operation
    RGB(0, 0, 0),      // 2: in the topology, no operation
    RGB(200, 10, 10),  // 3: new to the topology, unconfigured
};

const COLORREF kStatusColours[] = {
    RGB(0, 77, 153),  RGB(153, 153, 204), RGB(255, 140, 0),   RGB(0, 224, 0),
    RGB(200, 0, 0),   RGB(0, 224, 0),     RGB(255, 10, 10),   RGB(0, 224, 0),
    RGB(255, 10, 10), RGB(255, 140, 0),   RGB(255, 140, 0),   RGB(200, 0, 0),
    RGB(200, 0, 0),   RGB(200, 0, 0),     RGB(127, 127, 127),  // 14: not a hub
};
constexpr int kNotAHub = 14;
const COLORREF kSelectedBackground = RGB(225, 233, 245);

}  // namespace

COLORREF ConfigurationColour(int topologyState) {
    if (topologyState < 1 || topologyState > 3) return kStatusColours[kNotAHub];
    return kConfigurationColours[topologyState - 1];
}

COLORREF StatusColour(int hubStatus) {
    if (hubStatus == kNotAHub) return kStatusColours[kNotAHub];
    return kStatusColours[hubStatus >= 0 && hubStatus < kNotAHub ? hubStatus : 0];
}

bool CMiravelTree::Create(HWND parent, DWORD exStyle, DWORD style, const RECT& rect, int id) {
    HWND tree = CreateWindowExW(exStyle, WC_TREEVIEWW, L"", style, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
    Attach(tree);
    if (!tree) return false;
    SendMessageW(tree, WM_SETFONT, SendMessageW(parent, WM_GETFONT, 0, 0), FALSE);
    SetWindowSubclass(tree, PaintProc, 1, 0);
    return true;
}

COLORREF CMiravelTree::ItemColour(const CDeviceData* record) const {
    if (!record || record->GetDeviceType() != NODE_TYPE_HUB) return kStatusColours[kNotAHub];
    if (viewMode_ == kConfigurationView) return ConfigurationColour(record->GetTopoLogy());
    if (record->GetTopoLogy() == kTopologyNoOperation ||
        record->GetTopoLogy() == kTopologyUnconfigured) {
        return RGB(0, 0, 0);
    }
    return StatusColour(record->GetHubStatus());
}

LRESULT CMiravelTree::OnCustomDraw(NMTVCUSTOMDRAW& draw) const {
    NMCUSTOMDRAW& item = draw.nmcd;
    const auto* record = reinterpret_cast<const CDeviceData*>(item.lItemlParam);
    switch (item.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            draw.clrText = ItemColour(record);
            draw.clrTextBk =
                (item.uItemState & CDIS_SELECTED) ? kSelectedBackground : GetSysColor(COLOR_WINDOW);
            return CDRF_NOTIFYPOSTPAINT;
        }
        case CDDS_ITEMPOSTPAINT: {
            const auto handle = reinterpret_cast<HTREEITEM>(item.dwItemSpec);
            RECT text = {};
            if (!ItemTextRect(handle, text)) return CDRF_DODEFAULT;
            const bool hub = record && record->GetDeviceType() == NODE_TYPE_HUB;
            if (viewMode_ == kExecutionView && hub) {
                const wchar_t* mark = record->IsSafeToRemove() ? L"   -   [R]" : L"   -   [X]";
                RECT markRect = text;
                markRect.left = text.right;
                markRect.right = item.rc.right;
                SetTextColor(item.hdc, ItemColour(record));
                SetBkMode(item.hdc, TRANSPARENT);
                DrawTextW(item.hdc, mark, -1, &markRect,
                          DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            }
            if (item.uItemState & CDIS_SELECTED) {
                RECT frame = text;
                InflateRect(&frame, 1, 0);
                if (viewMode_ == kExecutionView) DrawEdge(item.hdc, &frame, EDGE_RAISED, BF_RECT);
                HBRUSH brush = CreateSolidBrush(ItemColour(record));
                FrameRect(item.hdc, &frame, brush);
                DeleteObject(brush);
                InflateRect(&frame, -2, -2);
                DrawFocusRect(item.hdc, &frame);
            }
            return CDRF_DODEFAULT;
        }
    }
    return CDRF_DODEFAULT;
}

LRESULT CALLBACK CMiravelTree::PaintProc(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                         DWORD_PTR) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC screen = BeginPaint(window, &paint);
            RECT client;
            GetClientRect(window, &client);
            HDC memory = CreateCompatibleDC(screen);
            HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
            HGDIOBJ old = SelectObject(memory, bitmap);
            FillRect(memory, &client, GetSysColorBrush(COLOR_WINDOW));
            DefSubclassProc(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
            BitBlt(screen, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, PaintProc, 1);
            break;
    }
    return DefSubclassProc(window, message, w, l);
}
