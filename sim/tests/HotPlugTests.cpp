// Attach and detach: the model changes and registered windows receive one
// WM_DEVICECHANGE per interface, parents first on arrival, children first on
// removal, delivered later from the simulator's own thread while the receiver
// can call back into the model.
#include <vector>

#include "NotificationWindow.h"
#include "SimTestSupport.h"
#include "UsbStructs.h"

using simtest::Broadcast;
using simtest::CNotificationWindow;
using simtest::FixturePath;
using simtest::kHubGuid;
using simtest::LastSimError;
using simtest::LoadFixture;
using simtest::Narrow;
using simtest::WaitDelivered;

namespace {

const GUID kEp5Guid = {
    0x6c2e9a14, 0x7b3d, 0x4f58, {0xa1, 0xc6, 0x2d, 0x8e, 0x5f, 0x0b, 0x9c, 0x37}};
const GUID kUsbDeviceGuid = {
    0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};
const wchar_t kHubSuffix[] = L"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

std::wstring HubPath(const wchar_t* vidPid, const wchar_t* serial) {
    return std::wstring(L"\\\\?\\USB#") + vidPid + L"#" + serial + kHubSuffix;
}

bool Present(const HardwareApi& api, const wchar_t* id) {
    DEVINST node = 0;
    return api.CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(id), 0) == CR_SUCCESS;
}

class HotPlugTest : public ::testing::Test {
protected:
    void SetUp() override { api_ = &LoadFixture(L"tests/sim-basic.json"); }
    const HardwareApi* api_ = nullptr;
};

TEST_F(HotPlugTest, BoardWithThreeHubsArrivesAndLeavesAsThreeHubInterfaces) {
    CNotificationWindow hubs(*api_, kHubGuid);
    CNotificationWindow everything(*api_, kHubGuid, true);
    ASSERT_EQ(UsbSimAttach(L"1-1-3", FixturePath(L"tests/board-three-hubs.json").c_str()),
              USBSIM_OK)
        << Narrow(LastSimError());
    WaitDelivered();

    const std::wstring board1 = HubPath(L"VID_3B9A&PID_6104", L"BOARD1");
    const std::wstring board2 = HubPath(L"VID_3B9A&PID_7104", L"BOARD2");
    const std::wstring board3 = HubPath(L"VID_05E3&PID_0608", L"BOARD3");
    auto check = [](const std::vector<Broadcast>& got, std::vector<std::wstring> paths,
                    WPARAM event, bool present) {
        ASSERT_EQ(got.size(), paths.size());
        for (size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(Narrow(paths[i]));
            EXPECT_EQ(got[i].event, event);
            EXPECT_TRUE(IsEqualGUID(got[i].classGuid, kHubGuid));
            EXPECT_EQ(got[i].path, paths[i]);
            EXPECT_EQ(got[i].presentDuringMessage, present)
                << "the model is current when the message arrives";
        }
    };
    check(hubs.Take(), {board1, board2, board3}, DBT_DEVICEARRIVAL, true);
    auto all = everything.Take();
    EXPECT_EQ(all.size(), 7u) << "three hubs with two interfaces each, and the mouse";
    EXPECT_TRUE(Present(*api_, L"USB\\VID_046D&PID_C077\\BOARDMOUSE"));

    ASSERT_EQ(UsbSimDetach(L"1-1-3"), USBSIM_OK) << Narrow(LastSimError());
    WaitDelivered();
    check(hubs.Take(), {board2, board3, board1}, DBT_DEVICEREMOVECOMPLETE, false);
    all = everything.Take();
    ASSERT_EQ(all.size(), 7u);
    EXPECT_TRUE(IsEqualGUID(all.front().classGuid, kUsbDeviceGuid));
    EXPECT_EQ(all.back().path, board1) << "the board's own hub leaves last";
    EXPECT_FALSE(Present(*api_, L"USB\\VID_046D&PID_C077\\BOARDMOUSE"));
}

TEST_F(HotPlugTest, RefusedChangesLeaveModelAndWindowsAlone) {
    CNotificationWindow everything(*api_, kHubGuid, true);
    const char* hub = R"({"hub": {"family": "other", "vid": "05E3", "pid": "0608", "ports": 2,
        "serial": "NEWHUB", "children": {"2": {"hub": {"family": "first", "vid": "3B9A",
        "pid": "6104", "serial": "H1", "ports": 4}}}}})";
    const char* device = R"({"device": {"vid": "1234", "pid": "0001"}})";
    struct Case {
        const wchar_t* position;
        const char* board;
        int result;
        const char* message;
    } cases[] = {
        {L"1-1-1", device, USBSIM_ERROR_POSITION, "port 1-1-1 is not empty"},
        {L"1-1-5", device, USBSIM_ERROR_POSITION, "port 5 is beyond the 4 ports of USB Root Hub"},
        {L"1-3-1", device, USBSIM_ERROR_POSITION, "there is no controller 3"},
        {L"1-1-1-2", device, USBSIM_ERROR_POSITION, "no hub at port 1 of USB Root Hub"},
        {L"2-1-1", device, USBSIM_ERROR_POSITION, "is not a port position"},
        {L"1-1", device, USBSIM_ERROR_POSITION, "is not a port position"},
        {L"1-1-3", R"({"device": {"vid": "12345"}})", USBSIM_ERROR_FIXTURE,
         "$.device.vid: expected 4 hex digits"},
        {L"1-1-3", hub, USBSIM_ERROR_FIXTURE,
         "$.hub.children.2.hub: instance ID USB\\VID_3B9A&PID_6104\\H1 is already used"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(UsbSimAttachJson(c.position, c.board), c.result);
        EXPECT_NE(Narrow(LastSimError()).find(c.message), std::string::npos)
            << Narrow(LastSimError());
    }
    EXPECT_FALSE(Present(*api_, L"USB\\VID_05E3&PID_0608\\NEWHUB")) << "a refused board is undone";
    EXPECT_EQ(UsbSimDetach(L"1-1-3"), USBSIM_ERROR_POSITION);
    EXPECT_NE(Narrow(LastSimError()).find("nothing is attached at 1-1-3"), std::string::npos);
    WaitDelivered();
    EXPECT_TRUE(everything.Take().empty());

    // The port that was refused is still usable.
    EXPECT_EQ(UsbSimAttachJson(L"1-1-3", hub), USBSIM_ERROR_FIXTURE);
    EXPECT_EQ(UsbSimAttachJson(L"1-1-2-4", device), USBSIM_OK);
    WaitDelivered();
    EXPECT_EQ(everything.Take().size(), 1u);
}

TEST_F(HotPlugTest, RegistrationRulesAndUnregister) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kHubGuid;
    SetLastError(0);
    EXPECT_EQ(api_->RegisterDeviceNotificationW(nullptr, &filter, DEVICE_NOTIFY_WINDOW_HANDLE),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    CNotificationWindow window(*api_, kHubGuid);
    filter.dbcc_size = 8;
    EXPECT_EQ(api_->RegisterDeviceNotificationW(window.Window(), &filter, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(api_->RegisterDeviceNotificationW(window.Window(), nullptr, 0), nullptr);

    ASSERT_TRUE(window.Unregister());
    ASSERT_EQ(UsbSimAttach(L"1-1-3", FixturePath(L"tests/board-three-hubs.json").c_str()),
              USBSIM_OK);
    WaitDelivered();
    EXPECT_TRUE(window.Take().empty()) << "no messages after unregistering";
}

TEST_F(HotPlugTest, HandleOfAnUnpluggedHubFails) {
    HANDLE hub =
        api_->CreateFileW((L"\\\\.\\USB#VID_3B9A&PID_6104#H1" + std::wstring(kHubSuffix)).c_str(),
                          GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hub, INVALID_HANDLE_VALUE);
    ASSERT_EQ(UsbSimDetach(L"1-1-2"), USBSIM_OK);
    std::vector<BYTE> buffer(76, 0);
    DWORD returned = 0;
    EXPECT_FALSE(api_->DeviceIoControl(hub, IOCTL_USB_GET_NODE_INFORMATION, buffer.data(), 76,
                                       buffer.data(), 76, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVICE));
    EXPECT_TRUE(api_->CloseHandle(hub));
    // Plugged back in, it answers again under the same name.
    ASSERT_EQ(UsbSimAttachJson(L"1-1-2", R"({"hub": {"family": "first", "vid": "3B9A",
        "pid": "6104", "serial": "H1", "ports": 4}})"),
              USBSIM_OK);
    EXPECT_TRUE(Present(*api_, L"USB\\VID_3B9A&PID_6104\\H1"));
}

TEST(HotPlugEp5, BoardLeavesOneHubOrFifthPortInterfaceAtATimeChildrenFirst) {
    const HardwareApi& api = LoadFixture(L"tests/sim-basic.json");
    ASSERT_EQ(UsbSimAttachJson(L"1-1-3", R"({"hub": {"family": "other", "vid": "05E3",
        "pid": "0608", "serial": "BASE", "ports": 2, "children": {
          "1": {"hub": {"family": "second", "vid": "3B9A", "pid": "7104", "serial": "S1",
                "ports": 4, "chip": {"ep5Enabled": true}, "children": {
                  "2": {"hub": {"family": "first", "vid": "3B9A", "pid": "6104",
                        "serial": "F1", "ports": 4}}}}},
          "2": {"hub": {"family": "second", "vid": "3B9A", "pid": "7104", "serial": "S2",
                "ports": 4, "chip": {"ep5Enabled": true}}}}}})"),
              USBSIM_OK)
        << Narrow(LastSimError());
    WaitDelivered();
    CNotificationWindow everything(api, kHubGuid, true);
    ASSERT_EQ(UsbSimDetach(L"1-1-3"), USBSIM_OK);
    WaitDelivered();

    std::vector<Broadcast> got;
    for (const auto& b : everything.Take()) {
        EXPECT_EQ(b.event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
        if (!IsEqualGUID(b.classGuid, kUsbDeviceGuid)) got.push_back(b);
    }
    struct Expected {
        const GUID* classGuid;
        std::wstring path;  // the fifth-port functions: a prefix
    } expected[] = {
        {&kHubGuid, HubPath(L"VID_3B9A&PID_6104", L"F1")},
        {&kEp5Guid, L"\\\\?\\USB#VID_3B9A&PID_7100#5&"},
        {&kHubGuid, HubPath(L"VID_3B9A&PID_7104", L"S1")},
        {&kEp5Guid, L"\\\\?\\USB#VID_3B9A&PID_7100#5&"},
        {&kHubGuid, HubPath(L"VID_3B9A&PID_7104", L"S2")},
        {&kHubGuid, HubPath(L"VID_05E3&PID_0608", L"BASE")},
    };
    ASSERT_EQ(got.size(), 6u);
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(Narrow(got[i].path));
        EXPECT_TRUE(IsEqualGUID(got[i].classGuid, *expected[i].classGuid));
        EXPECT_EQ(got[i].path.substr(0, expected[i].path.size()), expected[i].path);
    }
    EXPECT_NE(got[1].path, got[3].path) << "each function has an instance of its own";
}

}  // namespace
