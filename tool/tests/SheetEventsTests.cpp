// The library's events as the sheet handles them: status lines, serial counters, records freed
// once, and a callback that never waits for the user-interface thread.
#include <gtest/gtest.h>

#include <cwchar>
#include <memory>

#include "DeviceData.h"
#include "Sheet.h"
#include "SheetTestSupport.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "resource.h"

namespace guitest {
namespace {

// A record as the library makes it: on the process heap, for the receiver to free.
NotificationRecord* NewRecord(const std::wstring& path, int32_t value) {
    auto* record = static_cast<NotificationRecord*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(NotificationRecord)));
    wcsncpy(record->DevicePath, path.c_str(), kDevicePathLength - 1);
    record->Length = static_cast<int32_t>(path.size());
    record->Value = value;
    return record;
}

std::wstring HubPath(const CSheetThread& sheet, const wchar_t* name) {
    const TreeItem item = ItemNamed(sheet.Tree(), name);
    return item.data ? reinterpret_cast<const CDeviceData*>(item.data)->GetDevicePath() : L"";
}

struct Call {
    uintptr_t data;
};

// A library thread raising an arrival.
DWORD WINAPI ReportArrival(void* call) {
    DeviceStatusNotifier(static_cast<Call*>(call)->data, EVENT_DEVICE_ARRIVED);
    return 0;
}

class SheetEvents : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartWithTopology(sheet_, ConfiguredLineTcf(), tcfPath_));
        entry_ = TopologyConfig().GetTcfItem(L"1-1-2");
    }
    std::string Status() { return Narrow(sheet_.StatusPaneText(IDC_EDIT_CONFIG_STATUS)); }
    void Post(uintptr_t data, int32_t event) {
        PostMessageW(sheet_.Sheet(), kDeviceEventMessage, data, event);
        sheet_.Send(WM_NULL);  // handled in order: the posted event is done after this
        Sleep(50);
    }

    CSheetThread sheet_;
    std::wstring tcfPath_;
    int entry_ = -1;
};

TEST_F(SheetEvents, HubStatusLinesAdvanceCountersOnlyForProgrammedHubs) {
    const std::wstring path = HubPath(sheet_, L"Station A");
    ASSERT_FALSE(path.empty());
    struct Case {
        int status;
        const char* line;
        const char* counter;
    } cases[] = {
        {HUB_STATUS_VERIFIED, "Status of Station A : Verified Successfully", "0005"},
        {HUB_STATUS_PROGRAMMED_VERIFIED,
         "Status of Station A : Programmed and Verified Successfully", "0006"},
        {HUB_STATUS_PROGRAMMED, "Status of Station A : Programmed Successfully", "0007"},
        {HUB_STATUS_PROGRAM_FAILED, "Status of Station A : Failed Programming", "0007"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Post(reinterpret_cast<uintptr_t>(NewRecord(path, c.status)), EVENT_HUB_STATUS);
        EXPECT_NE(Status().find(std::string(c.line) + "\r\n"), std::string::npos) << Status();
        EXPECT_EQ(Narrow(TopologyConfig().GetSerialParamCurrentVal(entry_)), c.counter);
        // Written back at once: a crash in a long automated run repeats no serial.
        EXPECT_NE(ReadBytes(tcfPath_).find(std::string("SERCURRENT=") + c.counter + "\r\n"),
                  std::string::npos);
    }
    // A file that cannot take the counters is reported at the first hub, not at every one.
    SetFileAttributesW(tcfPath_.c_str(), FILE_ATTRIBUTE_READONLY);
    PostMessageW(sheet_.Sheet(), kDeviceEventMessage,
                 reinterpret_cast<uintptr_t>(NewRecord(path, HUB_STATUS_PROGRAMMED)),
                 EVENT_HUB_STATUS);
    std::wstring text;
    EXPECT_TRUE(AnswerMessageBox(sheet_.ThreadId(), sheet_.Sheet(), text));
    EXPECT_NE(Narrow(text).find("The serial counters could not be written to"), std::string::npos)
        << Narrow(text);
    Post(reinterpret_cast<uintptr_t>(NewRecord(path, HUB_STATUS_PROGRAMMED)), EVENT_HUB_STATUS);
    EXPECT_EQ(WaitForDialog(sheet_.ThreadId(), sheet_.Sheet(), 300), nullptr);
    SetFileAttributesW(tcfPath_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Narrow(TopologyConfig().GetSerialParamCurrentVal(entry_)), "0009");
    // A path that names no hub changes nothing.
    Post(reinterpret_cast<uintptr_t>(NewRecord(L"\\\\?\\USB#VID_0000&PID_0000#none#{x}", 3)),
         EVENT_HUB_STATUS);
    EXPECT_EQ(Narrow(TopologyConfig().GetSerialParamCurrentVal(entry_)), "0009");
    EXPECT_TRUE(sheet_.Close());
}

TEST_F(SheetEvents, ManagerStatesAndEmptyEventsShowOrChangeNothing) {
    // The line's two unrecognised hubs are announced whenever their fifth-endpoint waits run
    // out, which a loaded machine may delay past any fixed wait: their lines are left out, so
    // only this test's events can change what is compared.
    auto shown = [&] {
        std::string text = Status();
        const std::string arrival = "Device Arrived\r\n";
        for (size_t at = text.find(arrival); at != std::string::npos; at = text.find(arrival, at)) {
            text.erase(at, arrival.size());
        }
        return text;
    };
    Post(PROGRAMMGR_NOTHING_TO_PROGRAM, EVENT_MANAGER_STATE);
    EXPECT_NE(Status().find("No device available for operation\r\n"), std::string::npos);
    Post(7, EVENT_MANAGER_STATE);
    EXPECT_NE(Status().find("Programmer Status Unknown\r\n"), std::string::npos);
    const std::string before = shown();
    const size_t items = TreeItems(sheet_.Tree()).size();
    for (int32_t event : {EVENT_HUB_STATUS, EVENT_DEVICE_ARRIVED, EVENT_DEVICE_REMOVED}) {
        Post(0, event);
    }
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(TreeItems(sheet_.Tree()).size(), items);
    Post(0, 99);
    EXPECT_TRUE(sheet_.IsRunning());
    EXPECT_TRUE(sheet_.Close());
}

TEST_F(SheetEvents, TheCallbackPostsWithoutWaitingForTheSheet) {
    // The sheet sits in a message box inside an event, holding its lock.
    PostMessageW(sheet_.Sheet(), kDeviceEventMessage, static_cast<WPARAM>(-1),
                 EVENT_MANAGER_FINISHED);
    HWND box = WaitForDialog(sheet_.ThreadId(), sheet_.Sheet());
    ASSERT_NE(box, nullptr);
    // A library thread reports an arrival meanwhile: the callback must return at once.
    Call call{reinterpret_cast<uintptr_t>(NewRecord(HubPath(sheet_, L"Station A"), 0))};
    HANDLE thread = CreateThread(nullptr, 0, ReportArrival, &call, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
    // The box's own loop handles the posted arrival: the tree is built again.
    EXPECT_TRUE(
        WaitUntil([&] { return Status().find("Device Arrived\r\n") != std::string::npos; }));
    EXPECT_TRUE(PressButton(box, IDOK));
    EXPECT_TRUE(sheet_.Close());
}

}  // namespace
}  // namespace guitest
