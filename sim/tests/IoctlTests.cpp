// USB I/O control answers of the simulated controllers and hubs, checked field
// by field against the platform's structures, including the name handshake.
#include <regex>
#include <vector>

#include "SimTestSupport.h"
#include "UsbStructs.h"

using simtest::LoadFixture;
using simtest::Narrow;

namespace {

const wchar_t kHubGuid[] = L"{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

class IoctlTest : public ::testing::Test {
protected:
    void SetUp() override { api_ = &LoadFixture(L"tests/sim-basic.json"); }
    void TearDown() override {
        for (HANDLE h : opened_) api_->CloseHandle(h);
    }

    HANDLE Open(const std::wstring& name) {
        HANDLE h = api_->CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) opened_.push_back(h);
        return h;
    }

    // Sends a control with an in/out buffer of `size` bytes whose head is `head`.
    BOOL Send(HANDLE h, DWORD code, std::vector<BYTE>& buffer, DWORD& returned) {
        returned = 0xdeadbeef;
        return api_->DeviceIoControl(h, code, buffer.data(), static_cast<DWORD>(buffer.size()),
                                     buffer.data(), static_cast<DWORD>(buffer.size()), &returned,
                                     nullptr);
    }

    // The library's way: ask with head + one character, then with ActualLength.
    std::wstring ReadName(HANDLE h, DWORD code, size_t nameOffset, ULONG port = 0) {
        std::vector<BYTE> small(nameOffset + sizeof(WCHAR), 0);
        if (nameOffset == 8) memcpy(small.data(), &port, 4);
        DWORD returned = 0;
        EXPECT_TRUE(Send(h, code, small, returned));
        ULONG actual = 0;
        memcpy(&actual, small.data() + nameOffset - 4, 4);
        if (actual <= small.size()) return L"";
        std::vector<BYTE> full(actual, 0xCD);
        if (nameOffset == 8) memcpy(full.data(), &port, 4);
        EXPECT_TRUE(Send(h, code, full, returned));
        EXPECT_EQ(returned, actual);
        return reinterpret_cast<const wchar_t*>(full.data() + nameOffset);
    }

    std::wstring RootHubName(const wchar_t* hcd) {
        return ReadName(Open(hcd), IOCTL_USB_GET_ROOT_HUB_NAME, 4);
    }

    USB_NODE_CONNECTION_INFORMATION_EX ConnectionInfo(HANDLE hub, ULONG port, DWORD code,
                                                      size_t size, DWORD& returned, BOOL& ok) {
        std::vector<BYTE> buffer(size, 0);
        memcpy(buffer.data(), &port, 4);
        ok = Send(hub, code, buffer, returned);
        USB_NODE_CONNECTION_INFORMATION_EX info;
        memcpy(&info, buffer.data(), sizeof(info));
        return info;
    }

    const HardwareApi* api_ = nullptr;
    std::vector<HANDLE> opened_;
};

TEST_F(IoctlTest, ControllersOpenByTheirHcdNumberOnly) {
    struct Case {
        const wchar_t* name;
        bool opens;
    } cases[] = {{L"\\\\.\\HCD0", true},   {L"\\\\.\\HCD1", false}, {L"\\\\.\\HCD2", true},
                 {L"\\\\.\\hcd2", true},   {L"\\\\.\\HCD3", false}, {L"\\\\.\\HCD11", false},
                 {L"\\\\.\\HCD02", false}, {L"\\\\.\\HCD", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        SetLastError(0);
        HANDLE h = Open(c.name);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
        if (!c.opens) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        }
    }
}

TEST_F(IoctlTest, ControllerNamesFollowTheActualLengthHandshake) {
    HANDLE hcd = Open(L"\\\\.\\HCD0");
    ASSERT_NE(hcd, INVALID_HANDLE_VALUE);
    struct Case {
        DWORD code;
        const char* pattern;
    } cases[] = {
        {IOCTL_GET_HCD_DRIVERKEY_NAME, R"(\{36fc9e60-c465-11cf-8056-444553540000\}\\\d{4})"},
        {IOCTL_USB_GET_ROOT_HUB_NAME,
         R"(USB#ROOT_HUB20#4&[0-9a-f]+&0#\{f18a0e88-c30c-11d0-8815-00a0c906bed8\})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        std::wstring name = ReadName(hcd, c.code, 4);
        EXPECT_TRUE(std::regex_match(Narrow(name), std::regex(c.pattern))) << Narrow(name);
        const ULONG actual = static_cast<ULONG>(4 + (name.size() + 1) * 2);

        // Smaller than the head: the control fails and writes nothing.
        std::vector<BYTE> tiny(4, 0xCD);
        DWORD returned = 0;
        EXPECT_FALSE(Send(hcd, c.code, tiny, returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(tiny, std::vector<BYTE>(4, 0xCD));

        // Head-sized or one character short: success, the size needed, no name.
        for (size_t size : {size_t{6}, size_t{actual - 2}}) {
            std::vector<BYTE> buffer(size + 4, 0xCD);
            returned = 0;
            ASSERT_TRUE(api_->DeviceIoControl(hcd, c.code, nullptr, 0, buffer.data(),
                                              static_cast<DWORD>(size), &returned, nullptr));
            EXPECT_EQ(returned, 6u);
            ULONG got = 0;
            memcpy(&got, buffer.data(), 4);
            EXPECT_EQ(got, actual);
            EXPECT_EQ(buffer[4], 0);
            EXPECT_EQ(buffer[5], 0);
            EXPECT_EQ(buffer[size], 0xCD) << "wrote past the buffer it was given";
        }
    }
}

TEST_F(IoctlTest, NodeInformationDescribesTheHub) {
    struct Case {
        const wchar_t* hcd;
        UCHAR ports;
    } cases[] = {{L"\\\\.\\HCD0", 4}, {L"\\\\.\\HCD2", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.hcd));
        HANDLE hub = Open(L"\\\\.\\" + RootHubName(c.hcd));
        ASSERT_NE(hub, INVALID_HANDLE_VALUE);
        std::vector<BYTE> buffer(sizeof(USB_NODE_INFORMATION), 0xCD);
        DWORD returned = 0;
        ASSERT_TRUE(Send(hub, IOCTL_USB_GET_NODE_INFORMATION, buffer, returned));
        EXPECT_EQ(returned, 76u);
        EXPECT_EQ(buffer[6], c.ports) << "the library reads the port count at byte 6";
        USB_NODE_INFORMATION info;
        memcpy(&info, buffer.data(), sizeof(info));
        const USB_HUB_DESCRIPTOR& d = info.u.HubInformation.HubDescriptor;
        EXPECT_EQ(info.NodeType, UsbHub);
        EXPECT_EQ(d.bDescriptorLength, 9);
        EXPECT_EQ(d.bDescriptorType, 0x29);
        EXPECT_EQ(d.bNumberOfPorts, c.ports);
        EXPECT_EQ(d.bRemoveAndPowerMask[0], 0) << "all ports removable";
        EXPECT_EQ(d.bRemoveAndPowerMask[1], 0xFF);
        EXPECT_EQ(d.bRemoveAndPowerMask[2], 0);

        std::vector<BYTE> shorter(75, 0);
        EXPECT_FALSE(Send(hub, IOCTL_USB_GET_NODE_INFORMATION, shorter, returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
}

TEST_F(IoctlTest, ConnectionInformationOfEveryRootPort) {
    HANDLE hub = Open(L"\\\\.\\" + RootHubName(L"\\\\.\\HCD0"));
    struct Case {
        ULONG port;
        bool connected, isHub;
        USHORT vid, pid, bcdDevice;
        UCHAR speed, deviceClass, serialIndex;
    } cases[] = {
        {1, true, false, 0x046D, 0xC077, 0x7200, UsbLowSpeed, 0, 3},
        {2, true, true, 0x3B9A, 0x6104, 0x0100, UsbHighSpeed, 9, 3},
        {3, false, false, 0, 0, 0, 0, 0, 0},
        {4, false, false, 0, 0, 0, 0, 0, 0},
    };
    std::vector<USHORT> addresses;
    for (const auto& c : cases) {
        SCOPED_TRACE("port " + std::to_string(c.port));
        DWORD returned = 0;
        BOOL ok = FALSE;
        auto info = ConnectionInfo(hub, c.port, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 35,
                                   returned, ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(returned, 35u) << "the pipe list does not fit and is left out";
        EXPECT_EQ(info.ConnectionIndex, c.port);
        EXPECT_EQ(info.ConnectionStatus, c.connected ? DeviceConnected : NoDeviceConnected);
        EXPECT_EQ(info.DeviceIsHub, c.isHub);
        EXPECT_EQ(info.DeviceDescriptor.idVendor, c.vid);
        EXPECT_EQ(info.DeviceDescriptor.idProduct, c.pid);
        EXPECT_EQ(info.DeviceDescriptor.bcdDevice, c.bcdDevice);
        EXPECT_EQ(info.DeviceDescriptor.bDeviceClass, c.deviceClass);
        EXPECT_EQ(info.DeviceDescriptor.iSerialNumber, c.serialIndex);
        EXPECT_EQ(info.Speed, c.speed);
        EXPECT_EQ(info.DeviceDescriptor.bLength, c.connected ? 18 : 0);
        EXPECT_EQ(info.DeviceDescriptor.bDescriptorType, c.connected ? 1 : 0);
        EXPECT_EQ(info.CurrentConfigurationValue, c.connected ? 1 : 0);
        EXPECT_EQ(info.NumberOfOpenPipes, c.connected ? 1u : 0u);
        if (c.connected) {
            EXPECT_NE(info.DeviceAddress, 0);
            addresses.push_back(info.DeviceAddress);
        } else {
            EXPECT_EQ(info.DeviceAddress, 0);
        }
    }
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_NE(addresses[0], addresses[1]);
}

TEST_F(IoctlTest, OldConnectionInformationCarriesLowSpeedAndPipes) {
    HANDLE hub = Open(L"\\\\.\\" + RootHubName(L"\\\\.\\HCD0"));
    struct Case {
        ULONG port;
        BOOLEAN lowSpeed, isHub;
        UCHAR maxPacket;
    } cases[] = {{1, TRUE, FALSE, 8}, {2, FALSE, TRUE, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE("port " + std::to_string(c.port));
        std::vector<BYTE> buffer(365, 0xCD);
        memcpy(buffer.data(), &c.port, 4);
        DWORD returned = 0;
        ASSERT_TRUE(Send(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, buffer, returned));
        EXPECT_EQ(returned, 35u + 11u);
        USB_NODE_CONNECTION_INFORMATION info;
        memcpy(&info, buffer.data(), sizeof(info));
        EXPECT_EQ(info.LowSpeed, c.lowSpeed);
        EXPECT_EQ(info.DeviceIsHub, c.isHub);
        EXPECT_EQ(info.NumberOfOpenPipes, 1u);
        USB_PIPE_INFO pipe;
        memcpy(&pipe, buffer.data() + 35, sizeof(pipe));
        EXPECT_EQ(pipe.EndpointDescriptor.bLength, 7);
        EXPECT_EQ(pipe.EndpointDescriptor.bDescriptorType, 5);
        EXPECT_EQ(pipe.EndpointDescriptor.bEndpointAddress, 0x81);
        EXPECT_EQ(pipe.EndpointDescriptor.bmAttributes, USB_ENDPOINT_TYPE_INTERRUPT);
        EXPECT_EQ(pipe.EndpointDescriptor.wMaxPacketSize, c.maxPacket);
        EXPECT_EQ(buffer[46], 0xCD) << "nothing written after the one pipe";
    }
}

TEST_F(IoctlTest, SpeedsAsEachQueryReportsThem) {
    ASSERT_EQ(UsbSimLoadJson(R"({ "controllers": [ { "ports": 4, "children": {
        "1": { "device": { "vid": "0001", "pid": "0001", "speed": "low" } },
        "2": { "device": { "vid": "0001", "pid": "0002", "speed": "full" } },
        "3": { "device": { "vid": "0001", "pid": "0003", "speed": "high" } },
        "4": { "device": { "vid": "0001", "pid": "0004", "speed": "super" } } } } ] })",
                             nullptr),
              USBSIM_OK)
        << Narrow(simtest::LastSimError());
    HANDLE hub = Open(L"\\\\.\\" + RootHubName(L"\\\\.\\HCD0"));
    struct Case {
        ULONG port;
        UCHAR speed;  // the extended query: a SuperSpeed device shows as high speed
        BOOLEAN lowSpeed;
    } cases[] = {{1, UsbLowSpeed, TRUE},
                 {2, UsbFullSpeed, FALSE},
                 {3, UsbHighSpeed, FALSE},
                 {4, UsbHighSpeed, FALSE}};
    for (const auto& c : cases) {
        SCOPED_TRACE("port " + std::to_string(c.port));
        DWORD returned = 0;
        BOOL ok = FALSE;
        auto ex = ConnectionInfo(hub, c.port, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 35,
                                 returned, ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(ex.Speed, c.speed);
        auto old = ConnectionInfo(hub, c.port, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, 365,
                                  returned, ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(old.Speed, c.lowSpeed) << "the old layout's LowSpeed sits where Speed is";
    }
}

TEST_F(IoctlTest, MalformedRequestsFailLikeWindows) {
    HANDLE hub = Open(L"\\\\.\\" + RootHubName(L"\\\\.\\HCD0"));
    HANDLE hcd = Open(L"\\\\.\\HCD0");
    const DWORD ex = IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX;
    struct Case {
        const char* what;
        HANDLE handle;
        DWORD code;
        ULONG port;
        DWORD inSize, outSize;
        DWORD error;
    } cases[] = {
        {"port 0", hub, ex, 0, 35, 35, ERROR_INVALID_PARAMETER},
        {"port beyond the hub", hub, ex, 5, 35, 35, ERROR_INVALID_PARAMETER},
        {"output below the fixed part", hub, ex, 1, 35, 34, ERROR_INSUFFICIENT_BUFFER},
        {"no port number", hub, ex, 1, 2, 35, ERROR_INVALID_PARAMETER},
        {"name of port 9", hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, 9, 10, 10,
         ERROR_INVALID_PARAMETER},
        {"connection name below its head", hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, 2, 10, 8,
         ERROR_INSUFFICIENT_BUFFER},
        {"driver key of an empty port", hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, 3, 10,
         10, ERROR_DEVICE_NOT_CONNECTED},
        {"hub control on a controller", hcd, ex, 1, 35, 35, ERROR_INVALID_FUNCTION},
        {"unknown control", hub, 0x220FFC, 1, 35, 35, ERROR_INVALID_FUNCTION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> buffer(64, 0);
        memcpy(buffer.data(), &c.port, 4);
        DWORD returned = 0xdeadbeef;
        SetLastError(0);
        EXPECT_FALSE(api_->DeviceIoControl(c.handle, c.code, buffer.data(), c.inSize, buffer.data(),
                                           c.outSize, &returned, nullptr));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(returned, 0u);
    }
    std::vector<BYTE> buffer(35, 0);
    buffer[0] = 1;
    SetLastError(0);
    EXPECT_FALSE(
        api_->DeviceIoControl(hub, ex, buffer.data(), 35, buffer.data(), 35, nullptr, nullptr))
        << "without a byte count nor an OVERLAPPED";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(IoctlTest, PortNamesAndDriverKeys) {
    HANDLE hub = Open(L"\\\\.\\" + RootHubName(L"\\\\.\\HCD0"));
    const size_t offset = 8;
    EXPECT_EQ(ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, offset, 2),
              std::wstring(L"USB#VID_3B9A&PID_6104#H1#") + kHubGuid);
    for (ULONG port : {1u, 3u}) {
        SCOPED_TRACE("port " + std::to_string(port));
        EXPECT_EQ(ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, offset, port), L"")
            << "a port without a hub has no downstream name";
    }
    std::wstring key1 = ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, offset, 1);
    std::wstring key2 = ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, offset, 2);
    std::regex usbKey(R"(\{36fc9e60-c465-11cf-8056-444553540000\}\\\d{4})");
    EXPECT_TRUE(std::regex_match(Narrow(key1), usbKey)) << Narrow(key1);
    EXPECT_TRUE(std::regex_match(Narrow(key2), usbKey)) << Narrow(key2);
    EXPECT_NE(key1, key2);

    // The short first call echoes the port and reports the size needed.
    std::vector<BYTE> head(10, 0xCD);
    ULONG port = 2;
    memcpy(head.data(), &port, 4);
    DWORD returned = 0;
    ASSERT_TRUE(Send(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, head, returned));
    USB_NODE_CONNECTION_NAME name;
    memcpy(&name, head.data(), sizeof(name));
    EXPECT_EQ(returned, 10u);
    EXPECT_EQ(name.ConnectionIndex, 2u);
    EXPECT_EQ(name.ActualLength, 8 + (wcslen(L"USB#VID_3B9A&PID_6104#H1#") + 38 + 1) * 2);
    EXPECT_EQ(name.NodeName[0], 0);
}

TEST_F(IoctlTest, CascadedHubsOpenByTheirNames) {
    HANDLE root = Open(L"\\\\.\\" + RootHubName(L"\\\\.\\HCD0"));
    std::wstring first = ReadName(root, IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, 2);
    for (const wchar_t* prefix : {L"\\\\.\\", L"\\\\?\\"}) {
        SCOPED_TRACE(Narrow(prefix));
        EXPECT_NE(Open(prefix + first), INVALID_HANDLE_VALUE);
    }
    HANDLE hub = Open(L"\\\\.\\" + first);
    std::vector<BYTE> buffer(76, 0);
    DWORD returned = 0;
    ASSERT_TRUE(Send(hub, IOCTL_USB_GET_NODE_INFORMATION, buffer, returned));
    EXPECT_EQ(buffer[6], 4);

    std::wstring second = ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, 3);
    EXPECT_TRUE(std::regex_match(
        Narrow(second),
        std::regex(
            R"(USB#VID_05E3&PID_0608#5&[0-9a-f]+&0&3#\{f18a0e88-c30c-11d0-8815-00a0c906bed8\})")))
        << Narrow(second);
    HANDLE lower = Open(L"\\\\.\\" + second);
    ASSERT_NE(lower, INVALID_HANDLE_VALUE);
    BOOL ok = FALSE;
    auto info =
        ConnectionInfo(lower, 1, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 35, returned, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(info.DeviceDescriptor.idVendor, 0x0781);
    EXPECT_EQ(info.Speed, UsbHighSpeed);
    EXPECT_EQ(info.DeviceDescriptor.iSerialNumber, 0) << "no serial in the fixture";

    SetLastError(0);
    EXPECT_EQ(Open(L"\\\\.\\USB#VID_3B9A&PID_6104#NOPE#" + std::wstring(kHubGuid)),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(IoctlTest, PortStatesOfACascadedBusPoweredLine) {
    ASSERT_EQ(UsbSimLoadJson(R"({"controllers": [{"ports": 7, "children": {
      "1": {"device": {"vid": "1111", "pid": "0001", "serial": "A",
            "faults": [{"op": "portStatus", "status": "enumerating", "count": 1}]}},
      "2": {"hub": {"family": "first", "vid": "3B9A", "pid": "6104", "serial": "B", "ports": 4,
            "faults": [{"op": "portStatus", "status": "starting", "count": 1}]}},
      "3": {"device": {"vid": "1111", "pid": "0003", "serial": "C",
            "faults": [{"op": "portStatus", "status": "failedEnumeration"}]}},
      "4": {"hub": {"family": "other", "vid": "05E3", "pid": "0608", "serial": "D", "ports": 4,
            "faults": [{"op": "portStatus", "status": "notEnoughPower"}]}},
      "5": {"device": {"vid": "1111", "pid": "0005", "serial": "E",
            "faults": [{"op": "portStatus", "status": "overCurrent", "after": 1}]}},
      "6": {"device": {"vid": "1111", "pid": "0006", "serial": "F",
            "faults": [{"op": "portStatus", "status": "generalFailure"}]}},
      "7": {"hub": {"family": "other", "vid": "05E3", "pid": "0608", "serial": "G", "ports": 2,
            "faults": [{"op": "portStatus", "status": "enumerating"}]}}}}]})",
                             nullptr),
              USBSIM_OK)
        << Narrow(simtest::LastSimError());
    HANDLE hub = Open(L"\\\\.\\" + RootHubName(L"\\\\.\\HCD0"));
    struct Case {
        ULONG port;
        USB_CONNECTION_STATUS status;
        USHORT vid;  // 0: no descriptor was read
        bool isHub;
        bool driverKey;
        bool hubName;
    };
    auto check = [&](const Case& c) {
        SCOPED_TRACE("port " + std::to_string(c.port));
        DWORD returned = 0;
        BOOL ok = FALSE;
        auto info = ConnectionInfo(hub, c.port, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 46,
                                   returned, ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(info.ConnectionStatus, c.status);
        EXPECT_EQ(info.DeviceDescriptor.idVendor, c.vid);
        EXPECT_EQ(info.DeviceIsHub, c.isHub);
        const bool running = c.status == DeviceConnected && c.driverKey && c.hubName == c.isHub;
        EXPECT_EQ(info.NumberOfOpenPipes, running ? 1u : 0u);
        EXPECT_EQ(returned, running ? 46u : 35u);
        EXPECT_EQ(ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, 8, c.port).empty(),
                  !c.driverKey);
        EXPECT_EQ(ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, c.port).empty(), !c.hubName);
    };
    const Case first[] = {
        {1, DeviceConnected, 0x1111, false, false, false},
        {2, DeviceConnected, 0x3B9A, true, true, false},
        {3, DeviceFailedEnumeration, 0, false, false, false},
        {4, DeviceNotEnoughPower, 0x05E3, true, false, false},
        {5, DeviceConnected, 0x1111, false, true, false},
        {6, DeviceGeneralFailure, 0, false, false, false},
        {7, DeviceConnected, 0x05E3, true, false, false},
    };
    for (const Case& c : first) check(c);
    // The next look: enumeration has finished on 1 and 2, 5 has tripped.
    const Case second[] = {
        {1, DeviceConnected, 0x1111, false, true, false},
        {2, DeviceConnected, 0x3B9A, true, true, true},
        {5, DeviceCausedOvercurrent, 0, false, false, false},
    };
    for (const Case& c : second) check(c);
}

TEST_F(IoctlTest, Usb3HubAnswersOnBothPorts) {
    ASSERT_EQ(UsbSimLoadJson(R"({"controllers": [{"ports": 1, "superSpeedPorts": 1, "children": {
      "1": {"hub": {"family": "other", "vid": "05E3", "pid": "0610", "superSpeedPid": "0620",
            "usb3": true, "serial": "U", "ports": 4}}}}]})",
                             nullptr),
              USBSIM_OK)
        << Narrow(simtest::LastSimError());
    HANDLE root = Open(L"\\\\.\\" + RootHubName(L"\\\\.\\HCD0"));
    std::vector<BYTE> node(76, 0);
    DWORD returned = 0;
    ASSERT_TRUE(Send(root, IOCTL_USB_GET_NODE_INFORMATION, node, returned));
    EXPECT_EQ(node[6], 2) << "the USB 2 port and its SuperSpeed companion";
    struct Case {
        ULONG port;
        USHORT pid;
        USHORT bcdUsb;
        UCHAR protocol;
    } cases[] = {{1, 0x0610, 0x0210, 1}, {2, 0x0620, 0x0300, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE("port " + std::to_string(c.port));
        BOOL ok = FALSE;
        auto info = ConnectionInfo(root, c.port, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 35,
                                   returned, ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(info.ConnectionStatus, DeviceConnected);
        EXPECT_TRUE(info.DeviceIsHub);
        EXPECT_EQ(info.DeviceDescriptor.idProduct, c.pid);
        EXPECT_EQ(info.DeviceDescriptor.bcdUSB, c.bcdUsb);
        EXPECT_EQ(info.DeviceDescriptor.bDeviceProtocol, c.protocol);
        EXPECT_EQ(info.Speed, UsbHighSpeed) << "the extended query stops at high speed";
        std::wstring name = ReadName(root, IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, c.port);
        EXPECT_NE(Open(L"\\\\.\\" + name), INVALID_HANDLE_VALUE) << Narrow(name);
    }
}

}  // namespace
