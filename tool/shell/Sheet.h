// CSheet: the tool's main window, a modal property sheet with the configuration and execution
// pages (the configuration editor joins as page 2), a menu bar and the one topology tree that
// the active page shows. The sheet owns the binding to the hub library, the tree and its device
// records, the Topology menu and the handling of the library's device events.
//
// Everything here runs on the user-interface thread. The sheet window is the platform's property
// sheet, subclassed so its messages reach OnSheetMessage.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AboutDlg.h"
#include "ConfigEditor.h"
#include "ConfigPage.h"
#include "DeviceData.h"
#include "HubPreparer.h"
#include "HubUuidReads.h"
#include "MiravelTree.h"
#include "ProgrammerPage.h"
#include "RecordFile.h"
#include "SheetLock.h"

extern const wchar_t kSheetCaption[];
// Message the library's events arrive with: first parameter the data, second the event code.
constexpr UINT kDeviceEventMessage = 1163;

// Page indices, in the order the sheet adds them.
constexpr int kConfigPageIndex = 0;
constexpr int kProgrammerPageIndex = 1;
constexpr int kConfigEditorIndex = 2;

class CSheet {
public:
    CSheet();
    ~CSheet();
    CSheet(const CSheet&) = delete;
    CSheet& operator=(const CSheet&) = delete;

    // Shows the sheet modally until it closes.
    INT_PTR Run();

    // Operations the pages use.
    void ShowStatus(const std::wstring& text);
    void FitToActivePage();
    void InvalidateTree();
    CMiravelTree& GetTreeCtrl() { return tree_; }
    std::wstring GetCurrentTopologyFile() const { return currentTopologyFile_; }
    bool GetProgrammerStatus() const;
    HMENU Menu() const { return menu_; }
    CDeviceData* SelectedDevice() const { return selectedDevice_; }
    bool IsTopologySaved() const { return topologySaved_; }
    void SetTopologySaved(bool saved) { topologySaved_ = saved; }
    // Run control: START and STOP of the execution page, and the hubs' preparation (devicePath
    // null: every configured hub; otherwise the hub at that path).
    bool StartProgramming();
    bool StopProgramming();
    bool PrepareProgramming(const wchar_t* devicePath);
    // The production record file: one line per hub result of every run. Remembered in the
    // topology's folder; empty when none was chosen.
    void SetRecordFile(const std::wstring& path);
    std::wstring RecordFile() const;
    // Tree notifications, from whichever window is the tree's parent. True when handled, with
    // the answer in result.
    bool OnTreeNotify(NMHDR& header, LRESULT& result);

private:
    // Start-up.
    static int CALLBACK SheetCallback(HWND window, UINT message, LPARAM l);
    static LRESULT CALLBACK SheetProc(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR id,
                                      DWORD_PTR data);
    LRESULT OnSheetMessage(UINT message, WPARAM w, LPARAM l, bool& handled);
    // Messages that must wait while a preparation lets this thread answer in its middle.
    static bool WaitsForPreparation(UINT message, WPARAM w);
    bool OnInitDialog();
    void LoadLastTopology();
    bool InitializeUsbTree();
    void ShowLineInCaption();

    // Sheet-level commands and guards.
    bool OnCommand(int id);
    bool OnPageChanging();
    void OnPageChanged();
    void UpdateMenusForPage(int page);
    int ActivePageIndex() const;
    // Execution Options: "Execute Once" (32773) and "Automated Execution" (32774).
    void OnProgramoptionsProgramonce();
    void OnProgramoptionsAutomatedprogram();
    void ChooseRunMode(bool once);
    void OnDisableUuid();
    void OnDebugOptions();
    bool ConfirmQuit();
    void OnDestroy();

    // Tree and node table.
    bool EnumUSB();
    HTREEITEM AddTreeItem(HTREEITEM parent, const std::wstring& text, CDeviceData* record);
    std::wstring GetTopologyString(HTREEITEM item);
    void GetNodeIndexFromDevicePath(const wchar_t* devicePath, int& controller, int& device);
    void DeleteTreeItems(HTREEITEM item);
    void DeleteAllTreeItems();
    CDeviceData* Record(HTREEITEM item) const;
    void OnTreeDoubleClick();
    void OnTreeEndLabelEdit(NMTVDISPINFOW& info);
    void OnTreeSelectionChanged();

    // Topology menu.
    void OnTopologyView();
    void OnTopologyLoad();
    void OnTopologySave();

    // Library events.
    void DeviceEvent(WPARAM data, LPARAM event);
    // Called under the lock; arrived receives the path of a hub that arrived, to be prepared
    // once the lock is let go.
    void UpdateHubStatus(int event, uintptr_t data, std::wstring& arrived);
    // In automated execution, prepares a hub that arrived during the run.
    void PrepareArrivedHub(const std::wstring& devicePath);

    // Run control.
    bool IsExecuteOnce() const;
    // Finds the node of the hub at devicePath; false when the library does not know the path.
    bool FindNode(const wchar_t* devicePath, int32_t& controller, int32_t& device);
    // The record of node (controller, device) when it is a hub taking part in a run, with its
    // storage mode; null otherwise. valid is false when the node is not in the node table.
    CDeviceData* RunHubAt(int32_t controller, int32_t device, int& storageMode, bool& valid);
    // Prepares the hub at devicePath, found at node (controller, device).
    bool PrepareOneHub(const wchar_t* devicePath, int32_t controller, int32_t device,
                       CreateParserFn parser);
    // uuid: the hub's identifier read beforehand, or null to let preparation read it.
    bool PrepareRecord(CDeviceData& record, int storageMode, bool single, CreateParserFn parser,
                       const HubUuid* uuid);
    PrepareSettings PreparationSettings(bool single) const;
    // Adds record's node to hubs when preparing it makes its serial from its identifier.
    void AddUuidToRead(const CDeviceData& record, int storageMode, bool single,
                       std::vector<HubUuid>& hubs) const;
    // Reads the identifiers of hubs on a worker thread while this thread keeps its windows
    // answering; commands and library events wait in the queue until then. Never under the
    // lock: hubs comes back empty when the lock is held here, and preparation reads them itself.
    void ReadUuidsAnswering(std::vector<HubUuid>& hubs);
    // The identifiers an all-hubs preparation will make serials from, read as above.
    std::vector<HubUuid> ReadUuidsForPreparation();
    // Lets the window answer between two hubs of the preparation pass.
    void AnswerBetweenHubs();
    // Posts a click of the execution page's START button.
    void ReplayStartClick();
    bool OpenRunRecord();
    void NoteHubStatus(const std::wstring& path, int status);
    void RecordHubResult(const std::wstring& path, int result);
    void SaveSerialCounters();
    // What the production record says about a hub of the current run, by its path.
    struct HubRunNote {
        std::wstring position;
        std::wstring family;
        std::wstring uuid;
        std::wstring serial;
        std::wstring storageMode;
        int status = 0;
        ULONGLONG started = 0;
    };

    std::wstring currentTopologyFile_;
    CSheetLock lock_;
    bool topologySaved_ = false;
    int previousPage_ = kConfigPageIndex;
    CConfigPage configPage_;
    HMENU menu_ = nullptr;
    HMODULE libraryModule_ = nullptr;
    IDeviceTree* deviceTree_ = nullptr;
    CMiravelTree tree_;
    CAboutDlg aboutBox_;
    std::vector<std::vector<CDeviceData*>> nodes_;
    CDeviceData* selectedDevice_ = nullptr;
    CProgrammerPage programmerPage_;
    CConfigEditor configEditor_;
    HICON icon_ = nullptr;
    bool disableUuid_ = false;
    std::wstring recordFile_;
    std::unique_ptr<CRecordFile> runRecord_;
    std::map<std::wstring, HubRunNote> runNotes_;
    // While a preparation lets this thread answer (the identifiers' reads, between hubs), it
    // answers sent messages only; sent commands and events are put back into its queue.
    bool holdCommands_ = false;
    bool preparingAll_ = false;       // StartProgramming is preparing every hub
    bool startDeferred_ = false;      // START arrived meanwhile
    bool counterSaveWarned_ = false;  // a failed counter write-back was reported in this run

    CWindow window_;
    bool closing_ = false;
    PfnCreateDeviceTreeUI pfnCreateDeviceTreeUI_ = nullptr;
    PfnFinishedUsingDeviceTreeUI pfnFinishedUsingDeviceTreeUI_ = nullptr;
};

// The callback the library calls on its own threads: posts the event to the main window.
bool __cdecl DeviceStatusNotifier(uintptr_t data, int32_t event);
// The caption DeviceStatusNotifier looks for; set before the callback is registered.
void SetNotifierCaption(const std::wstring& caption);
