// CSheet: the topology tree and the node table, rebuilt from the hub library's snapshot.
#include <cwchar>
#include <memory>

#include "../res/resource.h"
#include "Logger.h"
#include "Sheet.h"
#include "TopologyPosition.h"

namespace {

// Merges a new record with the topology configuration as the current view asks.
void Merge(CDeviceData& record, int type, int viewMode) {
    if (viewMode == kExecutionView) {
        record.ValidateAndSetDeviceData(type);
    } else {
        record.ValidateAndModifyDeviceData(type);
    }
}

}  // namespace

bool CSheet::EnumUSB() {
    CLogger log(L"CSheet::EnumUSB");
    CSheetLockGuard guard(lock_);
    if (pfnFinishedUsingDeviceTreeUI_) pfnFinishedUsingDeviceTreeUI_();
    deviceTree_ = nullptr;
    nodes_.clear();
    DeleteAllTreeItems();
    log.Write(2, L"Cleared existing USB information");

    HTREEITEM root = AddTreeItem(nullptr, L"My Computer", nullptr);
    if (pfnCreateDeviceTreeUI_) deviceTree_ = pfnCreateDeviceTreeUI_();
    const int controllers = deviceTree_ ? deviceTree_->GetControllerCount() : 0;
    nodes_.resize(static_cast<size_t>(controllers > 0 ? controllers : 0));
    for (int c = 0; c < controllers; ++c) {
        const int count = deviceTree_->GetNodeCount(c);
        if (count <= 0) continue;
        // Positions end in the port number, so a port that gave no node moves no other port.
        const std::vector<std::wstring> positions = NodePositions(*deviceTree_, c);
        std::vector<HTREEITEM> items(static_cast<size_t>(count), nullptr);
        // nodes_[c][d] is the record of node d, or null for a node that has none.
        nodes_[c].assign(static_cast<size_t>(count), nullptr);

        auto* controller = new CDeviceData(c, 0, ControllerPosition(c));
        Merge(*controller, NODE_TYPE_HOST_CONTROLLER, tree_.ViewMode());
        items[0] = AddTreeItem(root, controller->GetPortName(), controller);
        if (items[0]) nodes_[c][0] = controller;

        for (int d = 1; d < count; ++d) {
            std::unique_ptr<IUsbNode> node(deviceTree_->GetNode(c, d));
            if (!node) continue;
            const int parent = node->GetParentIndex();
            if (parent < 0 || parent >= d || !items[parent] || positions[d].empty()) {
                log.Write(2, L"Node %d of controller %d has no place in the tree", d, c);
                continue;
            }
            const int type = node->GetNodeType();
            auto* record = new CDeviceData(c, d, positions[d]);
            Merge(*record, type, tree_.ViewMode());
            items[d] = AddTreeItem(items[parent], record->GetPortName(), record);
            if (!items[d]) continue;
            nodes_[c][d] = record;
            if (type == NODE_TYPE_HUB) {
                tree_.Expand(items[parent]);
                if (tree_.ViewMode() == kConfigurationView &&
                    record->GetTopoLogy() == kTopologyUnconfigured) {
                    topologySaved_ = false;
                    wchar_t text[300];
                    swprintf(text, 300, L"Topoloy changed @ %ls", positions[d].c_str());
                    ShowStatus(text);
                }
            }
        }
    }
    tree_.Expand(root);
    return true;
}

void CSheet::PrepareArrivedHub(const std::wstring& devicePath) {
    CLogger log(L"CSheet::PrepareArrivedHub");
    // In automated execution a hub that arrives is prepared for the running manager.
    if (!GetProgrammerStatus() || IsExecuteOnce()) return;
    if (PrepareProgramming(devicePath.c_str())) {
        log.Write(2, L"%s : Device Prepared for operation", devicePath.c_str());
    } else {
        log.Write(2, L"%s : Error Preparing Device", devicePath.c_str());
    }
}

HTREEITEM CSheet::AddTreeItem(HTREEITEM parent, const std::wstring& text, CDeviceData* record) {
    CSheetLockGuard guard(lock_);
    HTREEITEM item = tree_.InsertItem(parent, text, 0, reinterpret_cast<LPARAM>(record));
    // The item owns its record; without an item nobody would.
    if (!item) delete record;
    return item;
}

CDeviceData* CSheet::Record(HTREEITEM item) const {
    return item ? reinterpret_cast<CDeviceData*>(tree_.ItemData(item)) : nullptr;
}

std::wstring CSheet::GetTopologyString(HTREEITEM item) {
    CSheetLockGuard guard(lock_);
    CDeviceData* record = Record(item);
    return record ? record->GetInternalPortName() : L"";
}

void CSheet::GetNodeIndexFromDevicePath(const wchar_t* devicePath, int& controller, int& device) {
    CSheetLockGuard guard(lock_);
    controller = 0;
    device = 0;
    if (!libraryModule_ || !pfnCreateDeviceTreeUI_ || !devicePath) return;
    deviceTree_ = pfnCreateDeviceTreeUI_();
    if (!deviceTree_) return;
    const int controllers = deviceTree_->GetControllerCount();
    for (int c = 0; c < controllers; ++c) {
        const int count = deviceTree_->GetNodeCount(c);
        for (int d = 0; d < count; ++d) {
            std::unique_ptr<IUsbNode> node(deviceTree_->GetNode(c, d));
            const wchar_t* path = node ? node->GetDevicePath() : nullptr;
            if (path && _wcsicmp(path, devicePath) == 0) {
                controller = c;
                device = d;
                return;
            }
        }
    }
}

void CSheet::DeleteTreeItems(HTREEITEM item) {
    CSheetLockGuard guard(lock_);
    while (item) {
        HTREEITEM next = tree_.NextSibling(item);
        if (HTREEITEM child = tree_.FirstChild(item)) DeleteTreeItems(child);
        delete Record(item);
        tree_.DeleteItem(item);
        item = next;
    }
}

void CSheet::DeleteAllTreeItems() {
    CSheetLockGuard guard(lock_);
    if (!tree_.IsValid()) return;
    // No selection may point at a record while the records go.
    tree_.Send(TVM_SELECTITEM, TVGN_CARET, 0);
    selectedDevice_ = nullptr;
    DeleteTreeItems(tree_.Root());
    tree_.DeleteAllItems();
    selectedDevice_ = nullptr;
}

bool CSheet::OnTreeNotify(NMHDR& header, LRESULT& result) {
    CSheetLockGuard guard(lock_);
    result = 0;
    switch (header.code) {
        case NM_CUSTOMDRAW:
            result = tree_.OnCustomDraw(reinterpret_cast<NMTVCUSTOMDRAW&>(header));
            return true;
        case NM_DBLCLK:
            OnTreeDoubleClick();
            result = 1;
            return true;
        case TVN_SELCHANGINGW:
            return true;
        case TVN_SELCHANGEDW:
            OnTreeSelectionChanged();
            return true;
        case TVN_BEGINLABELEDITW:
            result = tree_.ViewMode() == kExecutionView ? TRUE : FALSE;
            return true;
        case TVN_ENDLABELEDITW:
            OnTreeEndLabelEdit(reinterpret_cast<NMTVDISPINFOW&>(header));
            result = FALSE;
            return true;
    }
    return false;
}

void CSheet::OnTreeDoubleClick() {
    TVHITTESTINFO hit = {};
    const DWORD position = GetMessagePos();
    hit.pt = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(tree_, &hit.pt);
    auto item =
        reinterpret_cast<HTREEITEM>(tree_.Send(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (item && (hit.flags & TVHT_ONITEM)) {
        tree_.Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    }
    HTREEITEM selected = tree_.Selection();
    if (tree_.ViewMode() != kConfigurationView || !selected) return;
    tree_.SetFocus();
    tree_.EditLabel(selected);
}

void CSheet::OnTreeEndLabelEdit(NMTVDISPINFOW& info) {
    CLogger log(L"CSheet::OnTreeEndLabelEdit");
    if (!info.item.pszText || info.item.pszText[0] == L'\0') return;
    const std::wstring text = info.item.pszText;
    tree_.SetItemText(info.item.hItem, text);
    if (CDeviceData* record = Record(info.item.hItem)) {
        record->SetPortName(text);
        record->UpdateUILabel();
    }
}

void CSheet::OnTreeSelectionChanged() {
    HTREEITEM selected = tree_.Selection();
    if (!selected) return;
    selectedDevice_ = Record(selected);
    if (ActivePageIndex() == kProgrammerPageIndex) programmerPage_.UpdateDeviceNote();
    configPage_.UpdateCfgSettingUI();
}
