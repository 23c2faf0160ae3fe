// The configuration-manager devnode tree: the library's depth-first walk, the
// lookup by driver key, and cfgmgr32's buffer rules.
#include "SimTestSupport.h"

#include <regex>
#include <vector>

#include "UsbStructs.h"

using simtest::LoadFixture;
using simtest::Narrow;

namespace {

class CmTreeTest : public ::testing::Test {
protected:
    void SetUp() override { api_ = &LoadFixture(L"tests/sim-basic.json"); }

    std::wstring DeviceId(DEVINST node) {
        wchar_t id[MAX_DEVICE_ID_LEN] = {};
        EXPECT_EQ(api_->CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0), CR_SUCCESS);
        return id;
    }

    std::wstring Property(DEVINST node, ULONG property) {
        wchar_t value[260] = {};
        ULONG length = sizeof(value);
        if (api_->CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, value, &length, 0) !=
            CR_SUCCESS) {
            return L"";
        }
        return value;
    }

    // Pre-order, climbing back with CM_Get_Parent until a node has a sibling.
    std::vector<DEVINST> Walk() {
        std::vector<DEVINST> order;
        DEVINST node = 0;
        EXPECT_EQ(api_->CM_Locate_DevNodeW(&node, nullptr, CM_LOCATE_DEVNODE_NORMAL), CR_SUCCESS);
        DEVINST root = node;
        for (;;) {
            order.push_back(node);
            DEVINST next = 0;
            if (api_->CM_Get_Child(&next, node, 0) == CR_SUCCESS) {
                node = next;
                continue;
            }
            while (api_->CM_Get_Sibling(&next, node, 0) != CR_SUCCESS) {
                if (node == root || api_->CM_Get_Parent(&node, node, 0) != CR_SUCCESS) {
                    return order;
                }
            }
            node = next;
        }
    }

    const HardwareApi* api_ = nullptr;
};

TEST_F(CmTreeTest, WalkVisitsTheUsbTreeBelowTheSystemNodes) {
    std::vector<std::string> ids;
    for (DEVINST node : Walk()) ids.push_back(Narrow(DeviceId(node)));
    const char* expected[] = {
        R"(HTREE\\ROOT\\0)",
        R"(ROOT\\ACPI_HAL\\0000)",
        R"(ACPI_HAL\\PNP0C08\\0)",
        R"(ACPI\\PNP0A08\\0)",
        R"(PCI\\VEN_1234&DEV_1111.*)",
        R"(PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0)",
        R"(USB\\ROOT_HUB20\\4&[0-9a-f]+&0)",
        R"(USB\\VID_046D&PID_C077\\M0001)",
        R"(USB\\VID_3B9A&PID_6104\\H1)",
        R"(USB\\VID_05E3&PID_0608\\5&[0-9a-f]+&0&3)",
        R"(USB\\VID_0781&PID_5581\\5&[0-9a-f]+&0&1)",
        R"(PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A8)",
        R"(USB\\ROOT_HUB20\\4&[0-9a-f]+&0)",
        R"(ROOT\\BASICRENDER\\0000)",
    };
    ASSERT_EQ(ids.size(), std::size(expected));
    for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_TRUE(std::regex_match(ids[i], std::regex(expected[i]))) << i << ": " << ids[i];
    }
    EXPECT_NE(ids[6], ids[12]) << "each root hub has its own instance";
}

TEST_F(CmTreeTest, EveryDriverKeyNamesExactlyOneDevnode) {
    std::vector<std::wstring> keys;
    for (DEVINST node : Walk()) {
        std::wstring key = Property(node, CM_DRP_DRIVER);
        if (!key.empty()) keys.push_back(key);
    }
    EXPECT_EQ(keys.size(), 13u) << "every node but the root has a driver";
    for (size_t i = 0; i < keys.size(); ++i) {
        for (size_t j = i + 1; j < keys.size(); ++j) EXPECT_NE(keys[i], keys[j]);
    }
}

// What the library does with a port's driver key: find the devnode, read its id
// and description.
TEST_F(CmTreeTest, PortDriverKeysLeadToTheDevicesDevnode) {
    HANDLE hcd = api_->CreateFileW(L"\\\\.\\HCD0", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    std::vector<BYTE> name(512, 0);
    DWORD returned = 0;
    ASSERT_TRUE(api_->DeviceIoControl(hcd, IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, name.data(),
                                      512, &returned, nullptr));
    std::wstring rootHub = reinterpret_cast<const wchar_t*>(name.data() + 4);
    api_->CloseHandle(hcd);
    HANDLE hub = api_->CreateFileW((L"\\\\.\\" + rootHub).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    struct Case {
        ULONG port;
        const wchar_t* id;
        const wchar_t* description;
    } cases[] = {{1, L"USB\\VID_046D&PID_C077\\M0001", L"USB Input Device"},
                 {2, L"USB\\VID_3B9A&PID_6104\\H1", L"USB 2.0 Hub"}};
    std::vector<DEVINST> all = Walk();
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.id));
        std::vector<BYTE> buffer(512, 0);
        memcpy(buffer.data(), &c.port, 4);
        ASSERT_TRUE(api_->DeviceIoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME,
                                          buffer.data(), 512, buffer.data(), 512, &returned,
                                          nullptr));
        std::wstring key = reinterpret_cast<const wchar_t*>(buffer.data() + 8);
        int matches = 0;
        for (DEVINST node : all) {
            if (Property(node, CM_DRP_DRIVER) != key) continue;
            ++matches;
            EXPECT_EQ(DeviceId(node), c.id);
            EXPECT_EQ(Property(node, CM_DRP_DEVICEDESC), c.description);
        }
        EXPECT_EQ(matches, 1);
    }
    api_->CloseHandle(hub);
}

TEST_F(CmTreeTest, DeviceIdFollowsCfgmgrBufferRules) {
    DEVINST node = 0;
    ASSERT_EQ(
        api_->CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(L"usb\\vid_3b9a&pid_6104\\h1"), 0),
        CR_SUCCESS)
        << "ids are found ignoring case";
    const std::wstring id = L"USB\\VID_3B9A&PID_6104\\H1";
    struct Case {
        ULONG chars;
        CONFIGRET result;
        size_t copied;
        bool terminated;
    } cases[] = {{static_cast<ULONG>(id.size() + 1), CR_SUCCESS, id.size(), true},
                 {static_cast<ULONG>(id.size()), CR_SUCCESS, id.size(), false},
                 {static_cast<ULONG>(id.size() - 1), CR_BUFFER_SMALL, id.size() - 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE("buffer of " + std::to_string(c.chars));
        std::vector<wchar_t> buffer(64, L'#');
        EXPECT_EQ(api_->CM_Get_Device_IDW(node, buffer.data(), c.chars, 0), c.result);
        EXPECT_EQ(std::wstring(buffer.data(), c.copied), id.substr(0, c.copied));
        EXPECT_EQ(buffer[c.copied], c.terminated ? L'\0' : L'#');
    }
}

TEST_F(CmTreeTest, PropertiesThatDoNotFitAreNotCopied) {
    std::string longText(130, 'x');
    std::string fixture = R"({"controllers": [{"ports": 1, "children": {"1": {"device":
        {"vid": "1234", "pid": "5678", "serial": "L", "description": ")" +
                          longText + R"("}}}}]})";
    ASSERT_EQ(UsbSimLoadJson(fixture.c_str(), nullptr), USBSIM_OK);
    DEVINST node = 0;
    ASSERT_EQ(
        api_->CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(L"USB\\VID_1234&PID_5678\\L"), 0),
        CR_SUCCESS);
    struct Case {
        ULONG property;
        ULONG size;
        CONFIGRET result;
        ULONG length;
    } cases[] = {
        {CM_DRP_DEVICEDESC, 260, CR_BUFFER_SMALL, 262},
        {CM_DRP_DEVICEDESC, 262, CR_SUCCESS, 262},
        {CM_DRP_DRIVER, 2, CR_BUFFER_SMALL, 2 * 44},
        {CM_DRP_DRIVER, 260, CR_SUCCESS, 2 * 44},
        {CM_DRP_FRIENDLYNAME, 260, CR_NO_SUCH_VALUE, 260},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("property " + std::to_string(c.property) + ", " + std::to_string(c.size));
        std::vector<BYTE> buffer(300, 0xCD);
        ULONG length = c.size;
        ULONG type = 0xdeadbeef;
        EXPECT_EQ(api_->CM_Get_DevNode_Registry_PropertyW(node, c.property, &type, buffer.data(),
                                                          &length, 0),
                  c.result);
        EXPECT_EQ(length, c.length);
        if (c.result == CR_SUCCESS) {
            EXPECT_EQ(type, static_cast<ULONG>(REG_SZ));
        } else {
            EXPECT_EQ(buffer[0], 0xCD) << "nothing copied";
        }
    }
    DEVINST root = 0;
    ASSERT_EQ(api_->CM_Locate_DevNodeW(&root, const_cast<wchar_t*>(L""), 0), CR_SUCCESS);
    EXPECT_EQ(Property(root, CM_DRP_DRIVER), L"");
}

TEST_F(CmTreeTest, NavigationAtTheEdges) {
    DEVINST root = 0, out = 0xdeadbeef;
    ASSERT_EQ(api_->CM_Locate_DevNodeW(&root, nullptr, 0), CR_SUCCESS);
    EXPECT_EQ(api_->CM_Get_Parent(&out, root, 0), CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(api_->CM_Get_Sibling(&out, root, 0), CR_NO_SUCH_DEVNODE);
    out = 0xdeadbeef;
    EXPECT_EQ(api_->CM_Locate_DevNodeW(&out, const_cast<wchar_t*>(L"USB\\VID_0000&PID_0000\\X"), 0),
              CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(out, 0u);
    DEVINST mouse = 0;
    ASSERT_EQ(
        api_->CM_Locate_DevNodeW(&mouse, const_cast<wchar_t*>(L"USB\\VID_046D&PID_C077\\M0001"), 0),
        CR_SUCCESS);
    EXPECT_EQ(api_->CM_Get_Child(&out, mouse, 0), CR_NO_SUCH_DEVNODE);
    DEVINST parent = 0;
    ASSERT_EQ(api_->CM_Get_Parent(&parent, mouse, 0), CR_SUCCESS);
    EXPECT_TRUE(std::regex_match(Narrow(DeviceId(parent)), std::regex(R"(USB\\ROOT_HUB20\\.*)")));

    // A devnode of an earlier model is gone.
    LoadFixture(L"tests/sim-basic.json");
    EXPECT_EQ(api_->CM_Get_Child(&out, mouse, 0), CR_INVALID_DEVNODE);
    wchar_t id[64];
    EXPECT_EQ(api_->CM_Get_Device_IDW(mouse, id, 64, 0), CR_INVALID_DEVNODE);
}

// The library turns a hub's interface path into its instance id by position:
// backslashes at 3 and 21, the "#{guid}" cut off.
TEST_F(CmTreeTest, HubInterfacePathsMapToInstanceIds) {
    for (DEVINST node : Walk()) {
        std::wstring id = DeviceId(node);
        if (id.rfind(L"USB\\VID_", 0) != 0) continue;
        SCOPED_TRACE(Narrow(id));
        std::wstring path = L"\\\\?\\" + id;
        for (auto& c : path) c = c == L'\\' ? L'#' : c;
        path = L"\\\\?\\" + path.substr(4) + L"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
        std::wstring back = path.substr(4);
        back[3] = back[21] = L'\\';
        back.resize(back.size() - 39);
        EXPECT_EQ(back, id);
    }
}

TEST(CmEp5Test, EnabledFifthEndpointIsAChildOnTheInternalPort) {
    const HardwareApi& api = LoadFixture(L"tests/sim-ep5.json");
    DEVINST hub = 0, child = 0;
    ASSERT_EQ(api.CM_Locate_DevNodeW(&hub, const_cast<wchar_t*>(L"USB\\VID_3B9A&PID_7104\\B1"), 0),
              CR_SUCCESS);
    ASSERT_EQ(api.CM_Get_Child(&child, hub, 0), CR_SUCCESS);
    wchar_t id[200];
    ASSERT_EQ(api.CM_Get_Device_IDW(child, id, 200, 0), CR_SUCCESS);
    EXPECT_EQ(std::wstring(id).substr(0, 20), L"USB\\VID_3B9A&PID_710");
    EXPECT_TRUE(
        std::regex_match(Narrow(id), std::regex(R"(USB\\VID_3B9A&PID_7100\\5&[0-9a-f]+&0&5)")));

    HANDLE h =
        api.CreateFileW(L"\\\\?\\USB#VID_3B9A&PID_7104#B1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
                        GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<BYTE> buffer(76, 0);
    DWORD returned = 0;
    ASSERT_TRUE(api.DeviceIoControl(h, IOCTL_USB_GET_NODE_INFORMATION, buffer.data(), 76,
                                    buffer.data(), 76, &returned, nullptr));
    EXPECT_EQ(buffer[6], 5) << "four ports and the internal one";
    USB_NODE_CONNECTION_INFORMATION_EX info = {};
    info.ConnectionIndex = 5;
    ASSERT_TRUE(api.DeviceIoControl(h, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, &info, 35,
                                    &info, 35, &returned, nullptr));
    EXPECT_EQ(info.ConnectionStatus, DeviceConnected);
    EXPECT_EQ(info.DeviceDescriptor.idProduct, 0x7100);
    EXPECT_FALSE(info.DeviceIsHub);
    api.CloseHandle(h);
}

}  // namespace

namespace {

// The demo line stays loadable and shaped as the README shows it.
TEST(DemoLine, TwoControllersWithCascadedHubsOfEveryFamily) {
    const HardwareApi& api = LoadFixture(L"demo-line.json");
    struct Case {
        const wchar_t* id;
        UCHAR ports;  // the hub descriptor's count
    } hubs[] = {
        {L"USB\\VID_3B9A&PID_6104\\A1000001", 4},
        {L"USB\\VID_3B9A&PID_6104\\A1000002", 4},
        {L"USB\\VID_3B9A&PID_7104\\B2000001", 5},  // with the fifth-endpoint port
        {L"USB\\VID_3B9A&PID_7104\\B2000002", 5},
    };
    for (const auto& hub : hubs) {
        SCOPED_TRACE(Narrow(hub.id));
        DEVINST node = 0;
        ASSERT_EQ(api.CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(hub.id), 0), CR_SUCCESS);
        std::wstring name = hub.id;
        for (auto& c : name) c = c == L'\\' ? L'#' : c;
        name = L"\\\\.\\" + name + L"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
        HANDLE h = api.CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << Narrow(name);
        std::vector<BYTE> info(76, 0);
        DWORD returned = 0;
        EXPECT_TRUE(api.DeviceIoControl(h, IOCTL_USB_GET_NODE_INFORMATION, info.data(), 76,
                                        info.data(), 76, &returned, nullptr));
        EXPECT_EQ(info[6], hub.ports);
        api.CloseHandle(h);
    }
    for (const wchar_t* hcd : {L"\\\\.\\HCD0", L"\\\\.\\HCD1"}) {
        HANDLE h = api.CreateFileW(hcd, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << Narrow(hcd);
        api.CloseHandle(h);
    }
}

}  // namespace
