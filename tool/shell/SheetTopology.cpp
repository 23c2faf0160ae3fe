// CSheet: the Topology menu (New, Load, Save).
#include <windows.h>

#include <commdlg.h>

#include "DefaultTcfRegistry.h"
#include "FileBytes.h"
#include "Logger.h"
#include "Sheet.h"
#include "TopologyConfig.h"

namespace {

constexpr wchar_t kSaveVersion[] = L"2.1";

}  // namespace

void CSheet::OnTopologyView() {
    CLogger log(L"CSheet::OnTopologyView");
    CSheetLockGuard guard(lock_);
    DeleteAllTreeItems();
    TopologyConfig().ClearTopology();
    EnumUSB();
}

void CSheet::OnTopologyLoad() {
    CLogger log(L"CSheet::OnTopologyLoad");
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = L"Tolopoly Config (*.tcf)\0*.tcf\0All Files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = L"Load Tolopology Config File";
    dialog.lpstrDefExt = L"tcf";
    dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
    if (!GetOpenFileNameW(&dialog)) return;
    if (!IsCompatibleTcfVersion(CTCFData::GetTcfVersion(path))) {
        MessageBoxW(window_, L"TCF file is not compatible with current version of Tool",
                    kSheetCaption, MB_OK | MB_ICONINFORMATION);
        return;
    }
    CSheetLockGuard guard(lock_);
    DeleteAllTreeItems();
    TopologyConfig().ClearTopology();
    if (TopologyConfig().LoadTopology(path)) {
        topologySaved_ = true;
        currentTopologyFile_ = path;
    } else {
        MessageBoxW(window_, L"Error loading topology\nEnumerating current Topology", kSheetCaption,
                    MB_OK | MB_ICONINFORMATION);
    }
    ShowStatus(L"Cleared existing topology information");
    EnumUSB();
}

void CSheet::OnTopologySave() {
    CLogger log(L"CSheet::OnTopologySave");
    CSheetLockGuard guard(lock_);
    CTCFData& tcf = TopologyConfig();
    for (const auto& controller : nodes_) {
        for (const CDeviceData* record : controller) {
            if (!record || record->GetDeviceType() != NODE_TYPE_HUB) continue;
            if (!tcf.IsConfigComplete(record->TcfIndex())) {
                MessageBoxW(window_,
                            (L"Configuration Error\nPlease fill all required information of node " +
                             record->GetPortName())
                                .c_str(),
                            kSheetCaption, MB_OK);
                return;
            }
        }
    }

    wchar_t path[MAX_PATH] = L"NewTopology";
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = L"TopologyConfig File (*.tcf)\0*.tcf\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"tcf";
    dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
    if (!GetSaveFileNameW(&dialog)) return;

    // The old file stays in place until the new one is complete (SaveTopology writes a
    // temporary file beside it and replaces it last), so a failed save loses nothing.
    for (const auto& controller : nodes_) {
        for (const CDeviceData* record : controller) {
            if (!record || record->TcfIndex() < 0) continue;
            tcf.SetSaveStatus(record->TcfIndex());
            tcf.SetAsHubItem(record->TcfIndex(), record->GetDeviceType() == NODE_TYPE_HUB);
        }
    }
    unsigned long error = 0;
    if (!tcf.SaveTopology(path, kSaveVersion, &error)) {
        const std::wstring text = std::wstring(L"The topology could not be saved to ") + path +
                                  L"\n" + SystemErrorText(error) +
                                  L"\nA file already there was left as it was.";
        MessageBoxW(window_, text.c_str(), kSheetCaption, MB_OK | MB_ICONERROR);
        return;
    }
    StoreDefaultTcf(path);
    topologySaved_ = true;
    currentTopologyFile_ = path;

    DeleteAllTreeItems();
    tcf.ClearTopology();
    if (tcf.LoadTopology(path)) {
        topologySaved_ = true;
        currentTopologyFile_ = path;
    } else {
        MessageBoxW(window_, L"Error using topology\nEnumerating New Topology", kSheetCaption,
                    MB_OK | MB_ICONINFORMATION);
        topologySaved_ = false;
        currentTopologyFile_.clear();
    }
    ShowStatus(L"Cleared existing topology information");
    EnumUSB();
}
