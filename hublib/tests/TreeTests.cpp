// The device tree through the library's exports, against simulated fixtures.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "HalvexZRVLib.h"
#include "LibraryUnload.h"
#include "UsbSimApi.h"

namespace {

const wchar_t kHubClass[] = L"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

// Two controllers, the second hub-less. On the first: a mouse on root port
// 1, a first-family hub on root port 3 with a second-family hub on its port 2
// and a keyboard on its port 4.
const char kLine[] = R"({
  "controllers": [
    { "description": "Standard Enhanced PCI to USB Host Controller", "ports": 4,
      "children": {
        "1": { "device": { "vid": "046D", "pid": "C077", "serial": "M1", "description": "USB Input Device" } },
        "3": { "hub": { "family": "first", "vid": "3B9A", "pid": "6104", "serial": "A1000001",
                        "description": "USB 2.0 Hub", "ports": 4,
                        "children": {
                          "2": { "hub": { "family": "second", "vid": "3B9A", "pid": "7104", "serial": "B2000002",
                                          "description": "USB Hub", "ports": 2 } },
                          "4": { "device": { "vid": "413C", "pid": "2113", "serial": "K4", "description": "USB Keyboard" } } } } } } },
    { "description": "Standard USB 3.0 eXtensible Host Controller", "ports": 2 }
  ]
})";

class Tree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
        // Hubs of no known family wait for a fifth endpoint: short waits, so
        // each test's library is gone before the next loads its own.
        SetEnvironmentVariableW(L"ZRV_TIME_SCALE", L"1000");
        sim_ = LoadLibraryW(L"UsbSim.dll");
    }

    void Load(const char* fixture) {
        ASSERT_NE(sim_, nullptr);
        auto load = Sim<PfnUsbSimLoadJson>("UsbSimLoadJson");
        ASSERT_EQ(load(fixture, nullptr), USBSIM_OK) << LastSimError();
        lib_ = LoadLibraryW(L"HalvexZRVLib.dll");
        ASSERT_NE(lib_, nullptr);
    }

    void TearDown() override { EXPECT_TRUE(UnloadHubLibrary(lib_)); }

    template <typename F>
    F Sim(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(sim_, name)));
    }
    template <typename F>
    F Lib(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib_, name)));
    }

    std::wstring LastSimError() {
        wchar_t text[512] = {};
        Sim<PfnUsbSimGetLastError>("UsbSimGetLastError")(text, 512);
        return text;
    }

    IDeviceTree* Snapshot() { return Lib<IDeviceTree*(__cdecl*)()>("CreateDeviceTreeUI")(); }

    static HMODULE sim_;
    HMODULE lib_ = nullptr;
};
HMODULE Tree::sim_ = nullptr;

struct Expected {
    int32_t type;
    int32_t parent;
    const wchar_t* instanceId;
    const wchar_t* displayName;
    const wchar_t* devicePath;
};

// Controller c's list holds exactly these nodes (a null instance ID is not checked).
template <size_t N>
void ExpectNodes(IDeviceTree& tree, int32_t c, const Expected (&nodes)[N]) {
    ASSERT_EQ(tree.GetNodeCount(c), static_cast<int32_t>(N));
    for (int32_t j = 0; j < static_cast<int32_t>(N); ++j) {
        SCOPED_TRACE(j);
        std::unique_ptr<IUsbNode> node(tree.GetNode(c, j));
        ASSERT_TRUE(node);
        EXPECT_EQ(node->GetNodeType(), nodes[j].type);
        EXPECT_EQ(node->GetParentIndex(), nodes[j].parent);
        EXPECT_STREQ(node->GetDisplayName(), nodes[j].displayName);
        EXPECT_STREQ(node->GetDevicePath(), nodes[j].devicePath);
        if (nodes[j].instanceId) {
            EXPECT_STREQ(node->GetDeviceInstanceID(), nodes[j].instanceId);
        }
    }
}

}  // namespace

TEST_F(Tree, NodesFollowTheFixtureDepthFirst) {
    Load(kLine);
    IDeviceTree* tree = Snapshot();
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->GetControllerCount(), 2);

    const std::wstring hub1 = std::wstring(L"\\\\?\\USB#VID_3B9A&PID_6104#A1000001") + kHubClass;
    const std::wstring hub2 = std::wstring(L"\\\\?\\USB#VID_3B9A&PID_7104#B2000002") + kHubClass;
    const Expected first[] = {
        {NODE_TYPE_HOST_CONTROLLER, 0, nullptr, L"Standard Enhanced PCI to USB Host Controller",
         L""},
        {NODE_TYPE_DEVICE, 0, L"USB\\VID_046D&PID_C077\\M1", L"Port1 :  USB Input Device", L""},
        {NODE_TYPE_DEVICE, 0, L"", L"Port2 :  ", L""},
        {NODE_TYPE_HUB, 0, L"USB\\VID_3B9A&PID_6104\\A1000001", L"Port3 : USB 2.0 Hub",
         hub1.c_str()},
        {NODE_TYPE_DEVICE, 3, L"", L"Port1 :  ", L""},
        {NODE_TYPE_HUB, 3, L"USB\\VID_3B9A&PID_7104\\B2000002", L"Port2 : USB Hub", hub2.c_str()},
        {NODE_TYPE_DEVICE, 5, L"", L"Port1 :  ", L""},
        {NODE_TYPE_DEVICE, 5, L"", L"Port2 :  ", L""},
        {NODE_TYPE_DEVICE, 3, L"", L"Port3 :  ", L""},
        {NODE_TYPE_DEVICE, 3, L"USB\\VID_413C&PID_2113\\K4", L"Port4 :  USB Keyboard", L""},
        {NODE_TYPE_DEVICE, 0, L"", L"Port4 :  ", L""},
    };
    ExpectNodes(*tree, 0, first);
    std::unique_ptr<IUsbNode> controller(tree->GetNode(0, 0));
    EXPECT_EQ(std::wstring(controller->GetDeviceInstanceID()).rfind(L"PCI\\", 0), 0u)
        << controller->GetDeviceInstanceID();

    // The hub-less controller: node 0 and its two root ports.
    const Expected second[] = {
        {NODE_TYPE_HOST_CONTROLLER, 0, nullptr, L"Standard USB 3.0 eXtensible Host Controller",
         L""},
        {NODE_TYPE_DEVICE, 0, L"", L"Port1 :  ", L""},
        {NODE_TYPE_DEVICE, 0, L"", L"Port2 :  ", L""},
    };
    ExpectNodes(*tree, 1, second);
}

TEST_F(Tree, NodeCopiesAreIndependentAndBoundsChecked) {
    Load(kLine);
    IDeviceTree* tree = Snapshot();
    const int32_t outside[][2] = {{0, 11}, {0, -1}, {2, 0}, {-1, 0}, {1, 3}};
    for (const auto& pair : outside) {
        SCOPED_TRACE(::testing::Message() << pair[0] << "," << pair[1]);
        EXPECT_EQ(tree->GetNode(pair[0], pair[1]), nullptr);
    }
    std::unique_ptr<IUsbNode> copy(tree->GetNode(0, 3));
    copy->SetNodeType(NODE_TYPE_DEVICE);
    copy->SetDeviceInstanceID(L"changed");
    std::unique_ptr<IUsbNode> again(tree->GetNode(0, 3));
    EXPECT_EQ(again->GetNodeType(), NODE_TYPE_HUB);
    EXPECT_STREQ(again->GetDeviceInstanceID(), L"USB\\VID_3B9A&PID_6104\\A1000001");
}

TEST_F(Tree, InterfacePathsFindTheirNodes) {
    Load(kLine);
    IDeviceTree* tree = Snapshot();
    auto indices = Lib<bool(__cdecl*)(const wchar_t*, int32_t*, int32_t*)>("GetDeviceIndicesUI");
    struct Case {
        const wchar_t* path;
        bool found;
        int32_t node;
    };
    const Case cases[] = {
        {L"\\\\?\\USB#VID_3B9A&PID_7104#B2000002#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", true, 5},
        {L"\\\\?\\usb#vid_413c&pid_2113#k4#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", true, 9},
        {L"\\\\?\\USB#VID_3B9A&PID_7104#B2000099#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", false, 0},
        {L"\\\\?\\USB#VID_3B9A", false, 0},
        // Nothing is left once the class GUID is cut: no match, not the first empty port.
        {L"\\\\?\\#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        int32_t i = -7, j = -7;
        EXPECT_EQ(indices(c.path, &i, &j), c.found);
        if (c.found) {
            EXPECT_EQ(i, 0);
            EXPECT_EQ(j, c.node);
            std::unique_ptr<IUsbNode> node(tree->FindNode(c.path, &i, &j));
            ASSERT_TRUE(node);
            EXPECT_EQ(node->GetParentIndex(), 3);
        } else {
            EXPECT_EQ(i, -7);
        }
    }
}

TEST_F(Tree, DroppedSnapshotIsTakenAfreshFromTheLiveTree) {
    Load(kLine);
    IDeviceTree* before = Snapshot();
    EXPECT_EQ(Snapshot(), before);  // unchanged while it exists
    EXPECT_EQ(before->GetNodeCount(0), 11);

    ASSERT_EQ(Sim<PfnUsbSimDetach>("UsbSimDetach")(L"1-1-3"), USBSIM_OK) << LastSimError();
    Lib<IDeviceTree*(__cdecl*)()>("CreateDeviceTree")()->Refresh();
    EXPECT_EQ(Snapshot()->GetNodeCount(0), 11);  // the snapshot stays as it was

    ASSERT_EQ(Lib<int32_t(__cdecl*)()>("FinishedUsingDeviceTreeUI")(), 0);
    IDeviceTree* after = Snapshot();
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->GetNodeCount(0), 5);
    std::unique_ptr<IUsbNode> port3(after->GetNode(0, 3));
    EXPECT_STREQ(port3->GetDisplayName(), L"Port3 :  ");
    EXPECT_EQ(port3->GetNodeType(), NODE_TYPE_DEVICE);
}

TEST_F(Tree, PerHubExportsTellNodesWithoutAQueuedHubFromMissingNodes) {
    Load(kLine);
    ASSERT_EQ(Snapshot()->GetNodeCount(0), 11);
    struct Case {
        int32_t controller;
        int32_t node;
        bool exists;  // a controller or a port without a hub: the queue's own answers
    };
    const Case cases[] = {{0, 0, true}, {0, 1, true},   {0, 2, true},
                          {1, 2, true}, {0, 11, false}, {2, 0, false}};
    using IndexInt = int32_t(__cdecl*)(int32_t, int32_t);
    using IndexBool = bool(__cdecl*)(int32_t, int32_t);
    const uint8_t block[4] = {1, 2, 3, 4};
    uint8_t uuid[16];
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.controller << "," << c.node);
        const int32_t i = c.controller, j = c.node;
        EXPECT_EQ(Lib<IndexInt>("GetHubStatus")(i, j),
                  c.exists ? HUB_STATUS_NEW_UNPROGRAMMED : HUB_STATUS_UNKNOWN);
        EXPECT_EQ(Lib<IndexBool>("IsNewDevice")(i, j), c.exists);
        EXPECT_EQ(Lib<IndexBool>("CanDeviceBeRemoved")(i, j), c.exists);
        EXPECT_EQ(Lib<IndexInt>("GetStorageMode")(i, j), STORAGE_UNKNOWN);
        EXPECT_EQ(Lib<IndexInt>("GetValidationMethod")(i, j), VALIDATION_NONE);
        EXPECT_EQ(Lib<IndexInt>("GetHubFamily")(i, j), HUB_FAMILY_UNKNOWN);
        EXPECT_FALSE(Lib<IndexBool>("GetProgrammingRequired")(i, j));
        EXPECT_EQ(Lib<int32_t(__cdecl*)(int32_t, int32_t, int32_t)>("SetStorageMode")(i, j, 3),
                  RESULT_DEVICE_NOT_FOUND);
        EXPECT_EQ(Lib<int32_t(__cdecl*)(int32_t, int32_t, const uint8_t*, uint32_t)>(
                      "SetConfigurationBlock")(i, j, block, 4),
                  RESULT_DEVICE_NOT_FOUND);
        EXPECT_EQ(
            Lib<int32_t(__cdecl*)(int32_t, int32_t, uint8_t*, uint32_t)>("GetUUID")(i, j, uuid, 16),
            RESULT_DEVICE_NOT_FOUND);
    }
}

TEST_F(Tree, FinishedProcessingEventDropsTheSnapshotForArrivalsAndRemovalsOnly) {
    Load(kLine);
    auto finished = Lib<int32_t(__cdecl*)(int32_t)>("FinishedProcessingEvent");
    auto refreshLive = [this] { Lib<IDeviceTree*(__cdecl*)()>("CreateDeviceTree")()->Refresh(); };
    auto portName = [this](int32_t j) {
        std::unique_ptr<IUsbNode> node(Snapshot()->GetNode(0, j));
        return node ? std::wstring(node->GetDisplayName()) : std::wstring(L"(none)");
    };
    EXPECT_EQ(portName(1), L"Port1 :  USB Input Device");

    ASSERT_EQ(Sim<PfnUsbSimDetach>("UsbSimDetach")(L"1-1-1"), USBSIM_OK) << LastSimError();
    refreshLive();
    EXPECT_EQ(finished(EVENT_HUB_STATUS), RESULT_COMPARE_FAILED);
    EXPECT_EQ(portName(1), L"Port1 :  USB Input Device");  // kept
    EXPECT_EQ(finished(EVENT_DEVICE_ARRIVED), 0);
    EXPECT_EQ(portName(1), L"Port1 :  ");

    ASSERT_EQ(Sim<PfnUsbSimDetach>("UsbSimDetach")(L"1-1-3"), USBSIM_OK) << LastSimError();
    refreshLive();
    EXPECT_EQ(Snapshot()->GetNodeCount(0), 11);
    EXPECT_EQ(finished(EVENT_DEVICE_REMOVED), 0);
    EXPECT_EQ(Snapshot()->GetNodeCount(0), 5);
}

TEST_F(Tree, ControllerListStopsAt127Nodes) {
    Load(R"({ "controllers": [ { "description": "Wide Host", "ports": 200 } ] })");
    IDeviceTree* tree = Snapshot();
    EXPECT_EQ(tree->GetNodeCount(0), 127);
    std::unique_ptr<IUsbNode> last(tree->GetNode(0, 126));
    EXPECT_STREQ(last->GetDisplayName(), L"Port126 :  ");
}

TEST_F(Tree, PortWhoseConnectionQueriesFailGetsNoNode) {
    // Root port 1: the extended query fails once, the old one answers for the hub.
    // Root port 2: both fail.
    Load(R"({ "controllers": [ { "description": "Host", "ports": 3, "children": {
        "1": { "hub": { "family": "other", "vid": "05E3", "pid": "0608", "serial": "G1",
                        "description": "Generic USB Hub", "ports": 2,
                        "faults": [ { "op": "connectionInfo", "count": 1 } ],
                        "children": { "1": { "device": { "vid": "046D", "pid": "C079",
                                                         "serial": "M1", "description": "Pad" } } } } },
        "2": { "device": { "vid": "046D", "pid": "C077", "serial": "M2", "description": "Mouse",
                           "faults": [ { "op": "connectionInfo" } ] } },
        "3": { "device": { "vid": "046D", "pid": "C078", "serial": "M3", "description": "Pen" } } } } ] })");
    IDeviceTree* tree = Snapshot();
    const Expected nodes[] = {
        {NODE_TYPE_HOST_CONTROLLER, 0, nullptr, L"Host", L""},
        {NODE_TYPE_HUB, 0, L"USB\\VID_05E3&PID_0608\\G1", L"Port1 : Generic USB Hub",
         L"\\\\?\\USB#VID_05E3&PID_0608#G1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}"},
        {NODE_TYPE_DEVICE, 1, L"USB\\VID_046D&PID_C079\\M1", L"Port1 :  Pad", L""},
        {NODE_TYPE_DEVICE, 1, L"", L"Port2 :  ", L""},
        {NODE_TYPE_DEVICE, 0, L"USB\\VID_046D&PID_C078\\M3", L"Port3 :  Pen", L""},
    };
    ExpectNodes(*tree, 0, nodes);
}

TEST_F(Tree, FifthPortFunctionPathFindsItsPortBelowTheHub) {
    Load(R"({ "controllers": [ { "description": "Host", "ports": 1, "children": {
        "1": { "hub": { "family": "second", "vid": "3B9A", "pid": "7104", "serial": "B1",
                        "description": "USB Hub", "ports": 4,
                        "chip": { "ep5Enabled": true } } } } } ] })");
    IDeviceTree* tree = Snapshot();
    ASSERT_EQ(tree->GetNodeCount(0), 7);  // controller, hub, four ports and the internal fifth
    std::unique_ptr<IUsbNode> fifth(tree->GetNode(0, 6));
    const std::wstring id = fifth->GetDeviceInstanceID();
    ASSERT_EQ(id.rfind(L"USB\\VID_3B9A&PID_", 0), 0u) << id;

    // The interface path Windows broadcasts for the function.
    std::wstring path = L"\\\\?\\" + id + L"#{88bae032-5a81-49f0-bc3d-a4ff138216d6}";
    for (size_t i = 4; i < path.size(); ++i) {
        if (path[i] == L'\\') path[i] = L'#';
    }
    int32_t i = -1, j = -1;
    ASSERT_TRUE(tree->FindNodeIndices(path.c_str(), &i, &j)) << path;
    EXPECT_EQ(i, 0);
    EXPECT_EQ(j, 6);
    EXPECT_EQ(fifth->GetParentIndex(), 1);
    std::unique_ptr<IUsbNode> hub(tree->GetNode(0, fifth->GetParentIndex()));
    EXPECT_EQ(hub->GetNodeType(), NODE_TYPE_HUB);
}
