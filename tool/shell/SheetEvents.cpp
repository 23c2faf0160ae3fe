// CSheet: the hub library's events. The library calls DeviceStatusNotifier on its own threads;
// the notifier only posts the event to the main window, where the user-interface thread handles
// it in DeviceEvent.
#include <cwchar>

#include "FileBytes.h"
#include "HubPreparer.h"
#include "HubStatusText.h"
#include "Logger.h"
#include "SerialGenerator.h"
#include "Sheet.h"
#include "TopologyConfig.h"

namespace {

const wchar_t* const kManagerStateTexts[] = {
    L"Programmer Ready",          L"Started Programming",
    L"Finish Programming",        L"No device available for operation",
    L"Programmer Status Unknown",
};

const wchar_t* ShownStatusText(int status) {
    const wchar_t* text = HubStatusDisplayText(status);
    return text ? text : L"Unknown status";
}

const wchar_t* ManagerStateText(int state) {
    return kManagerStateTexts[state >= 0 && state < 4 ? state : 4];
}

// Written once on the user-interface thread before the callback is registered, read by the
// library's threads afterwards.
std::wstring notifierCaption = kSheetCaption;

bool CarriesRecord(int event) {
    return event == EVENT_HUB_STATUS || event == EVENT_DEVICE_ARRIVED ||
           event == EVENT_DEVICE_REMOVED || event == EVENT_DEVICE_FINISHED ||
           event == EVENT_HUB_RELEASED;
}

void FreeRecord(uintptr_t data) {
    if (data) HeapFree(GetProcessHeap(), 0, reinterpret_cast<void*>(data));
}

}  // namespace

void SetNotifierCaption(const std::wstring& caption) {
    notifierCaption = caption;
}

bool __cdecl DeviceStatusNotifier(uintptr_t data, int32_t event) {
    HWND window = FindWindowW(nullptr, notifierCaption.c_str());
    const bool posted =
        window && PostMessageW(window, kDeviceEventMessage, static_cast<WPARAM>(data),
                               static_cast<LPARAM>(event));
    // A record nobody will receive is freed here, so the event is lost without a leak.
    if (!posted && CarriesRecord(event)) FreeRecord(data);
    return true;
}

void CSheet::DeviceEvent(WPARAM data, LPARAM event) {
    std::wstring arrived;
    {
        CSheetLockGuard guard(lock_);
        UpdateHubStatus(static_cast<int>(event), static_cast<uintptr_t>(data), arrived);
    }
    // Preparing the hub may read its identifier while this thread answers sent messages, which
    // is not done under the lock.
    if (!arrived.empty()) PrepareArrivedHub(arrived);
}

void CSheet::UpdateHubStatus(int event, uintptr_t data, std::wstring& arrived) {
    CLogger log(L"CSheet::UpdateHubStatus");
    CSheetLockGuard guard(lock_);
    const auto* record = reinterpret_cast<const NotificationRecord*>(data);
    switch (event) {
        case EVENT_HUB_STATUS: {
            if (!record) return;
            int controller = 0, device = 0;
            GetNodeIndexFromDevicePath(record->DevicePath, controller, device);
            CDeviceData* node = nullptr;
            if (controller < static_cast<int>(nodes_.size()) &&
                device < static_cast<int>(nodes_[controller].size())) {
                node = nodes_[controller][device];
            }
            NoteHubStatus(record->DevicePath, record->Value);
            if (node) {
                const int status = record->Value;
                const bool usedSerial = UsesUpSerial(TopologyConfig(), node->TcfIndex(), status);
                if (usedSerial) IncrementSerial(TopologyConfig(), node->TcfIndex());
                tree_.Invalidate();
                wchar_t text[512];
                swprintf(text, 512, L"Status of %ls : %ls", node->GetPortName().c_str(),
                         ShownStatusText(status));
                ShowStatus(text);
                if (usedSerial) SaveSerialCounters();
            }
            FreeRecord(data);
            return;
        }
        case EVENT_DEVICE_ARRIVED:
            if (!record) return;
            log.Write(2, L"Device Arrived : %s", record->DevicePath);
            ShowStatus(L"Device Arrived");
            EnumUSB();
            arrived = record->DevicePath;
            FreeRecord(data);
            return;
        case EVENT_DEVICE_REMOVED:
            if (!record) return;
            log.Write(2, L"Device Removed : %s", record->DevicePath);
            ShowStatus(L"Device Removed");
            EnumUSB();
            FreeRecord(data);
            return;
        case EVENT_MANAGER_STATE:
            ShowStatus(ManagerStateText(static_cast<int>(data)));
            tree_.Invalidate();
            return;
        case EVENT_DEVICE_FINISHED:
            if (record) RecordHubResult(record->DevicePath, record->Value);
            FreeRecord(data);
            return;
        case EVENT_HUB_RELEASED:
            tree_.Invalidate();
            FreeRecord(data);
            return;
        case EVENT_MANAGER_FINISHED: {
            counterSaveWarned_ = false;
            SaveSerialCounters();
            counterSaveWarned_ = false;
            const auto result = static_cast<int32_t>(data);
            if (result != 0 && result != 1) {
                MessageBoxW(window_, L"Operation on one or more device failed", kSheetCaption,
                            MB_OK | MB_ICONEXCLAMATION);
            }
            runRecord_.reset();
            programmerPage_.ShowStartButton();
            return;
        }
    }
}

// Counters are written back after every hub that used up a serial, not only when the run ends: an
// automated run may last a shift, and counters lost to a crash or a power cut would hand out the
// same serials again after a restart. A file that cannot take them is reported once per run and
// again when the run ends.
void CSheet::SaveSerialCounters() {
    unsigned long error = 0;
    if (currentTopologyFile_.empty() ||
        TopologyConfig().SaveSerialCurrent(currentTopologyFile_, &error) || counterSaveWarned_) {
        return;
    }
    counterSaveWarned_ = true;
    const std::wstring text = L"The serial counters could not be written to " +
                              currentTopologyFile_ + L"\n" + SystemErrorText(error) +
                              L"\nSerial numbers may repeat after a restart.";
    MessageBoxW(window_, text.c_str(), kSheetCaption, MB_OK | MB_ICONERROR);
}
