// How notifications travel: never inside the call that changed the model,
// from a thread of the simulator's own, in the order of the changes, and
// UsbSimWaitIdle waits for them even when the waiting thread owns the window.
#include <vector>

#include "NotificationWindow.h"
#include "SimTestSupport.h"

using simtest::CNotificationWindow;
using simtest::FixturePath;
using simtest::kHubGuid;
using simtest::LastSimError;
using simtest::LoadFixture;
using simtest::Narrow;
using simtest::WaitDelivered;

namespace {

const char kDevice[] = R"({"device": {"vid": "1234", "pid": "0001", "serial": "D"}})";

// A window on the test's own thread, which pumps only while it waits.
class CWindowOnThisThread {
public:
    explicit CWindowOnThisThread(const HardwareApi& api) : api_(api) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"SimTestSameThreadWindow";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kHubGuid;
        registration_ = api_.RegisterDeviceNotificationW(window_, &filter, 0);
    }
    ~CWindowOnThisThread() {
        api_.UnregisterDeviceNotification(registration_);
        DestroyWindow(window_);
    }

    struct Received {
        WPARAM event;
        bool fromAnotherThread;
    };
    std::vector<Received> received;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self =
            reinterpret_cast<CWindowOnThisThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_DEVICECHANGE && self != nullptr) {
            self->received.push_back(
                Received{wParam, (InSendMessageEx(nullptr) & ISMEX_SEND) != 0});
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    const HardwareApi& api_;
    HWND window_ = nullptr;
    HDEVNOTIFY registration_ = nullptr;
};

// True once another thread waits in SendMessage to a window of this thread
// (the message is seen, not handled).
bool SentMessageWaits() {
    const ULONGLONG end = GetTickCount64() + 10000;
    while ((LOWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) == 0) {
        if (GetTickCount64() > end) return false;
        Sleep(1);
    }
    return true;
}

TEST(Delivery, NotInsideTheChangingCallButFromTheSimulatorsThread) {
    const HardwareApi& api = LoadFixture(L"tests/sim-basic.json");
    CWindowOnThisThread window(api);
    ASSERT_EQ(UsbSimAttach(L"1-1-3", FixturePath(L"tests/board-three-hubs.json").c_str()),
              USBSIM_OK)
        << Narrow(LastSimError());
    EXPECT_TRUE(window.received.empty()) << "delivered re-entrantly inside UsbSimAttach";

    // This thread owns the window: the wait handles the messages sent to it
    // (without that it would time out with the delivery stuck).
    ASSERT_EQ(UsbSimWaitIdle(10000), USBSIM_OK);
    ASSERT_EQ(window.received.size(), 3u);
    for (const auto& r : window.received) {
        EXPECT_EQ(r.event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
        EXPECT_TRUE(r.fromAnotherThread);
    }
}

TEST(Delivery, ALoadDropsWhatIsStillQueuedForTheOldModel) {
    const HardwareApi& api = LoadFixture(L"tests/sim-basic.json");
    CWindowOnThisThread window(api);
    // The first batch waits in SendMessage until this thread pumps; the
    // second is still queued when the fixture is loaded again.
    ASSERT_EQ(UsbSimAttach(L"1-1-3", FixturePath(L"tests/board-three-hubs.json").c_str()),
              USBSIM_OK);
    ASSERT_TRUE(SentMessageWaits()) << "the first arrival never came";
    ASSERT_EQ(UsbSimDetach(L"1-1-3"), USBSIM_OK);
    LoadFixture(L"tests/sim-basic.json");
    ASSERT_EQ(UsbSimWaitIdle(10000), USBSIM_OK);
    ASSERT_EQ(window.received.size(), 3u) << "the board's arrivals, and no removal";
    for (const auto& r : window.received)
        EXPECT_EQ(r.event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
}

TEST(Delivery, QuickChangesArriveInTheirOrder) {
    const HardwareApi& api = LoadFixture(L"tests/sim-basic.json");
    CNotificationWindow everything(api, kHubGuid, true);
    const std::wstring board = FixturePath(L"tests/board-three-hubs.json");
    ASSERT_EQ(UsbSimAttach(L"1-1-3", board.c_str()), USBSIM_OK);
    ASSERT_EQ(UsbSimDetach(L"1-1-3"), USBSIM_OK);
    ASSERT_EQ(UsbSimAttachJson(L"1-1-3", kDevice), USBSIM_OK);
    ASSERT_EQ(UsbSimDetach(L"1-1-2"), USBSIM_OK);
    WaitDelivered();

    // 7 interfaces of the board, the same 7 leaving, the device, then the
    // first-family hub at 1-1-2 with the hub and the storage device below it.
    std::vector<WPARAM> expected(7, DBT_DEVICEARRIVAL);
    expected.insert(expected.end(), 7, DBT_DEVICEREMOVECOMPLETE);
    expected.push_back(DBT_DEVICEARRIVAL);
    expected.insert(expected.end(), 5, DBT_DEVICEREMOVECOMPLETE);
    std::vector<WPARAM> got;
    for (const auto& b : everything.Take()) got.push_back(b.event);
    EXPECT_EQ(got, expected);
}

TEST(Delivery, NotifyMsHoldsEachChangesNewsBackByTheScaledTime) {
    // 1000 ms at time scale 10: 100 ms.
    ASSERT_EQ(UsbSimLoadJson(R"({"timeScale": 10, "latency": {"notifyMs": 1000},
                                 "controllers": [{"description": "HC", "ports": 2}]})",
                             nullptr),
              USBSIM_OK)
        << Narrow(LastSimError());
    CNotificationWindow everything(*UsbSimGetHardwareApi(), kHubGuid, true);
    const ULONGLONG start = GetTickCount64();
    ASSERT_EQ(UsbSimAttachJson(L"1-1-1", kDevice), USBSIM_OK);
    ASSERT_EQ(UsbSimDetach(L"1-1-1"), USBSIM_OK);
    WaitDelivered();
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 1000u) << "the delay is scaled";

    std::vector<WPARAM> got;
    for (const auto& b : everything.Take()) got.push_back(b.event);
    EXPECT_EQ(got, (std::vector<WPARAM>{DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE}));
}

}  // namespace
