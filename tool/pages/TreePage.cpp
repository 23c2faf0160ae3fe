#include "TreePage.h"

#include "../res/resource.h"
#include "Sheet.h"

namespace {
constexpr int kStatusPaneLimit = 15000;
constexpr int kStatusPaneCut = 14000;
}  // namespace

CTreePage::CTreePage(CSheet& sheet, int dialogId, int statusPaneId, int viewMode,
                     std::vector<LegendSample> legend)
    : CPropertyPage(dialogId),
      sheet_(sheet),
      statusPaneId_(statusPaneId),
      viewMode_(viewMode),
      legend_(legend) {
    for (const LegendSample& sample : legend_) brushes_.push_back(CreateSolidBrush(sample.colour));
}

CTreePage::~CTreePage() {
    for (HBRUSH brush : brushes_) DeleteObject(brush);
}

void CTreePage::AddStatus(const std::wstring& text) const {
    HWND pane = Window().Item(statusPaneId_);
    if (!pane) return;
    if (GetWindowTextLengthW(pane) > kStatusPaneLimit) {
        SendMessageW(pane, EM_SETSEL, 0, kStatusPaneCut);
        SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    const int end = GetWindowTextLengthW(pane);
    SendMessageW(pane, EM_SETSEL, end, end);
    const std::wstring line = text + L"\r\n";
    SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(pane, EM_SCROLLCARET, 0, 0);
}

void CTreePage::TakeTree() const {
    CMiravelTree& tree = sheet_.GetTreeCtrl();
    if (!tree.IsValid() || !Window().IsValid()) return;
    tree.SetViewMode(viewMode_);
    RECT frame = CWindow(Window().Item(IDC_TREE_FRAME)).WindowRect();
    MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&frame), 2);
    // Inside the group box, below its caption.
    RECT inset = {6, 14, 6, 6};
    MapDialogRect(Window(), &inset);
    SetParent(tree, Window());
    SetWindowPos(tree, HWND_TOP, frame.left + inset.left, frame.top + inset.top,
                 frame.right - frame.left - inset.left - inset.right,
                 frame.bottom - frame.top - inset.top - inset.bottom, SWP_SHOWWINDOW);
    sheet_.InvalidateTree();
}

bool CTreePage::OnNotify(NMHDR& header) {
    if (header.idFrom != IDC_TOPOLOGY_TREE) return false;
    LRESULT result = 0;
    if (!sheet_.OnTreeNotify(header, result)) return false;
    SetResult(result);
    return true;
}

bool CTreePage::OnMessage(UINT message, WPARAM w, LPARAM l, INT_PTR& result) {
    if (message != WM_CTLCOLORSTATIC) return false;
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(l));
    for (size_t i = 0; i < legend_.size(); ++i) {
        if (legend_[i].id == id) {
            SetBkColor(reinterpret_cast<HDC>(w), legend_[i].colour);
            result = reinterpret_cast<INT_PTR>(brushes_[i]);
            return true;
        }
    }
    return false;
}
