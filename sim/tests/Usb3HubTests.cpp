// USB 3 hubs as Windows shows them: a high-speed half where the fixture puts
// the hub and a SuperSpeed half on the companion port (a root port after the
// USB 2 ones, or the same port of the parent's SuperSpeed half), both leaving
// and coming back together.
#include <gtest/gtest.h>

#include "FixtureParser.h"
#include "SimModel.h"

namespace {

using usbsim::CSimModel;
using usbsim::InterfaceEvent;
using usbsim::SimNode;

// Root ports 1-2 (USB 2), 3-4 their SuperSpeed companions.
const char kLine[] = R"({"controllers":[{"ports":2,"superSpeedPorts":2,"children":{
  "1":{"hub":{"family":"other","vid":"05E3","pid":"0610","superSpeedPid":"0620","usb3":true,
    "serial":"U1","ports":4,"children":{
      "2":{"hub":{"family":"first","vid":"3B9A","pid":"6104","serial":"U2","ports":4,
                  "usb3":true}},
      "3":{"device":{"vid":"0781","pid":"5581","serial":"DISK"}}}}},
  "2":{"hub":{"family":"other","vid":"1A40","pid":"0101","serial":"P","ports":4,"children":{
      "1":{"hub":{"family":"other","vid":"05E3","pid":"0610","usb3":true,"serial":"U3",
                  "ports":2}}}}}}}]})";

class Usb3Hub : public ::testing::Test {
protected:
    void SetUp() override {
        usbsim::CFixtureParser parser("line", nullptr);
        usbsim::FixtureSpec fixture;
        ASSERT_TRUE(parser.ParseFixture(kLine, fixture)) << parser.Error();
        std::string error;
        ASSERT_TRUE(model_.Load(fixture, error)) << error;
    }
    const SimNode* Find(const std::wstring& id) { return model_.FindInstance(id); }
    // "USB\VID..\serial" of the node on a port, or "" for an empty port.
    std::wstring At(const SimNode* hub, uint32_t port) {
        const SimNode* node = hub ? model_.PortChild(hub->id, port) : nullptr;
        return node ? node->instanceId : L"";
    }
    std::vector<std::wstring> HubPaths(const std::vector<InterfaceEvent>& events) {
        std::vector<std::wstring> paths;
        for (const auto& e : events) {
            if (e.classGuid == usbsim::kHubInterfaceGuid) {
                paths.push_back(e.path.substr(4, e.path.find(L"#{") - 4));
            }
        }
        return paths;
    }

    CSimModel model_;
};

TEST_F(Usb3Hub, HalvesSitOnCompanionPorts) {
    const SimNode* u1 = Find(L"USB\\VID_05E3&PID_0610\\U1");
    const SimNode* u1Super = Find(L"USB\\VID_05E3&PID_0620\\U1");
    ASSERT_NE(u1, nullptr);
    ASSERT_NE(u1Super, nullptr);
    const SimNode* root = model_.Node(u1->parent);
    EXPECT_EQ(root->ports, 4u) << "two USB 2 ports and their SuperSpeed companions";
    EXPECT_EQ(u1Super->parent, root->id);
    EXPECT_EQ(u1Super->port, 3u);
    EXPECT_EQ(u1Super->spec->speed, usbsim::UsbSpeed::kSuper);
    EXPECT_EQ(u1->twin, u1Super->id);

    // Behind U1 both halves of U2 sit on port 2, the disk on the high-speed
    // half only; the same pid gives the SuperSpeed half a place-made ID.
    const SimNode* u2 = Find(L"USB\\VID_3B9A&PID_6104\\U2");
    ASSERT_NE(u2, nullptr);
    EXPECT_EQ(At(u1, 2), u2->instanceId);
    const std::wstring u2Super = At(u1Super, 2);
    EXPECT_EQ(u2Super.rfind(L"USB\\VID_3B9A&PID_6104\\5&", 0), 0u) << u2Super.c_str();
    EXPECT_EQ(model_.Node(u2->twin)->instanceId, u2Super);
    EXPECT_EQ(At(u1Super, 3), L"");
    EXPECT_EQ(model_.Node(u2->twin)->spec->chip.first.has_value(), false) << "one chip";

    // Behind a USB 2 hub a USB 3 hub runs at high speed only.
    const SimNode* u3 = Find(L"USB\\VID_05E3&PID_0610\\U3");
    ASSERT_NE(u3, nullptr);
    EXPECT_EQ(u3->twin, 0u);
    EXPECT_EQ(At(root, 4), L"");
}

TEST_F(Usb3Hub, BothHalvesLeaveChildrenFirstAndArriveParentsFirst) {
    std::vector<InterfaceEvent> left;
    std::string error;
    ASSERT_EQ(model_.Detach(L"1-1-1", left, error), CSimModel::Result::kOk) << error;
    const std::wstring u2Super = HubPaths(left).front();
    EXPECT_EQ(HubPaths(left), (std::vector<std::wstring>{u2Super, L"USB#VID_3B9A&PID_6104#U2",
                                                         L"USB#VID_05E3&PID_0620#U1",
                                                         L"USB#VID_05E3&PID_0610#U1"}));
    EXPECT_EQ(left.size(), 9u) << "four hubs with two interfaces each, and the disk";
    EXPECT_EQ(Find(L"USB\\VID_05E3&PID_0620\\U1"), nullptr);

    usbsim::DeviceSpec board;
    board.isHub = true, board.usb3 = true, board.vid = 0x2109, board.pid = 0x2817;
    board.superSpeedPid = 0x0817, board.serial = L"NEW", board.ports = 4;
    std::vector<InterfaceEvent> arrived;
    ASSERT_EQ(model_.Attach(L"1-1-1", board, arrived, error), CSimModel::Result::kOk) << error;
    EXPECT_EQ(HubPaths(arrived), (std::vector<std::wstring>{L"USB#VID_2109&PID_2817#NEW",
                                                            L"USB#VID_2109&PID_0817#NEW"}));

    // A hub that restarts takes its SuperSpeed half along, asked by either half.
    const SimNode* superHalf = Find(L"USB\\VID_2109&PID_0817\\NEW");
    ASSERT_NE(superHalf, nullptr);
    std::vector<InterfaceEvent> away, back;
    auto departure = model_.Leave(superHalf->id, away);
    ASSERT_TRUE(departure.has_value());
    EXPECT_EQ(HubPaths(away).size(), 2u);
    ASSERT_TRUE(model_.Return(*departure, back));
    EXPECT_EQ(HubPaths(back), HubPaths(arrived));
}

TEST_F(Usb3Hub, BoardsDoNotPlugIntoSuperSpeedHalves) {
    usbsim::DeviceSpec device;
    device.vid = 0x1234, device.pid = 0x0001, device.serial = L"X";
    struct Case {
        const wchar_t* position;
        const char* error;
    } cases[] = {
        {L"1-1-4", "port 4 is the SuperSpeed companion of port 2 of USB Root Hub"},
        {L"1-1-3-4", "no hub at port 3 of USB Root Hub"},
        {L"1-1-5", "port 5 is beyond the 4 ports"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        std::vector<InterfaceEvent> events;
        std::string error;
        EXPECT_EQ(model_.Attach(c.position, device, events, error),
                  CSimModel::Result::kBadPosition);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(model_.Detach(c.position, events, error), CSimModel::Result::kBadPosition);
    }
}

}  // namespace
