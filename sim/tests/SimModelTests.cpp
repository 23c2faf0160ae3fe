// The pure model parts: position strings, fault firing, and the instance-ID
// rules a fixture must keep.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "FixtureParser.h"
#include "Faults.h"
#include "Position.h"
#include "SimModel.h"

namespace {

TEST(Position, ParsesPortPositionsOnly) {
    struct Case {
        const wchar_t* text;
        bool valid;
        uint32_t controller;
        std::vector<uint32_t> ports;
    } cases[] = {
        {L"1-1-2", true, 0, {2}},
        {L"1-2-4-3-1", true, 1, {4, 3, 1}},
        {L"1-12-255", true, 11, {255}},
        {L"1-1", false, 0, {}},    // a controller, not a port
        {L"2-1-1", false, 0, {}},  // the computer is always 1
        {L"1-0-1", false, 0, {}},
        {L"1-1-0", false, 0, {}},
        {L"1--1", false, 0, {}},
        {L"1-1-2-", false, 0, {}},
        {L"1-1-x", false, 0, {}},
        {L"1-1-1000", false, 0, {}},
        {L"", false, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + wcslen(c.text)));
        auto position = usbsim::ParsePosition(c.text);
        ASSERT_EQ(position.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(position->controller, c.controller);
            EXPECT_EQ(position->ports, c.ports);
        }
    }
}

TEST(Faults, AfterAndCountDecideWhichCallsFail) {
    usbsim::FaultSpec once{"flashErase", 2, 1, 0x1000, 31, std::nullopt, ""};
    usbsim::FaultSpec always{"registerRead", std::nullopt, 0, std::nullopt,
                             std::nullopt,   std::nullopt, ""};
    auto faults = usbsim::MakeFaultStates({once, always});
    struct Call {
        const char* op;
        std::optional<uint32_t> address;
        bool fires;
    } calls[] = {
        {"flashErase", 0x2000, false},  // another address: not counted
        {"flashErase", 0x1000, false},  // the one successful call first
        {"flashErase", 0x1000, true},   {"flashRead", 0x1000, false},   // another operation
        {"flashErase", 0x1000, true},   {"flashErase", 0x1000, false},  // fired twice: done
        {"registerRead", 0x0001, true}, {"registerRead", std::nullopt, true},
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        auto fired = usbsim::FireFault(faults, calls[i].op, calls[i].address);
        EXPECT_EQ(fired.has_value(), calls[i].fires);
    }
}

usbsim::FixtureSpec Parse(const std::string& json) {
    usbsim::CFixtureParser parser("t.json", nullptr);
    usbsim::FixtureSpec fixture;
    EXPECT_TRUE(parser.ParseFixture(json, fixture)) << parser.Error();
    return fixture;
}

TEST(SimModel, DuplicateInstanceIdsAreFixtureErrors) {
    struct Case {
        std::string json;
        std::string error;
    } cases[] = {
        {R"({"controllers": [{"ports": 2, "children": {
            "1": {"device": {"vid": "1234", "pid": "0001", "serial": "S"}},
            "2": {"device": {"vid": "1234", "pid": "0001", "serial": "S"}}}}]})",
         "$.controllers[0].children.2.device: instance ID USB\\VID_1234&PID_0001\\S is already "
         "used"},
        {R"({"controllers": [{"ports": 1, "instanceId": "PCI\\A"}, {"ports": 1, "instanceId": "pci\\a"}]})",
         "$.controllers[1].instanceId: instance ID pci\\a is used twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        usbsim::CSimModel model;
        std::string error;
        EXPECT_FALSE(model.Load(Parse(c.json), error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    // Without serials the same device on two ports gets two generated ids.
    usbsim::CSimModel model;
    std::string error;
    EXPECT_TRUE(model.Load(Parse(R"({"controllers": [{"ports": 2, "children": {
            "1": {"device": {"vid": "1234", "pid": "0001"}},
            "2": {"device": {"vid": "1234", "pid": "0001"}}}}]})"),
                           error))
        << error;
}

TEST(SimModel, ControllersTakePositionsInHcdOrder) {
    usbsim::CSimModel model;
    std::string error;
    ASSERT_TRUE(model.Load(Parse(R"({"controllers": [{"hcd": 3, "ports": 1, "description": "late"},
        {"hcd": 1, "ports": 2, "description": "early"}]})"),
                           error));
    usbsim::DeviceSpec device;
    device.vid = 0x1234;
    device.pid = 1;
    device.serial = L"D";
    std::vector<usbsim::InterfaceEvent> events;
    // Position 1-1 is HCD1 (two ports), 1-2 is HCD3 (one port).
    EXPECT_EQ(model.Attach(L"1-1-2", device, events, error), usbsim::CSimModel::Result::kOk)
        << error;
    EXPECT_EQ(model.Attach(L"1-2-2", device, events, error),
              usbsim::CSimModel::Result::kBadPosition);
    EXPECT_EQ(model.FindController(1)->description, L"early");
    EXPECT_EQ(model.FindController(2), nullptr);
}

}  // namespace

// 20 controllers x 100 root ports, each port a 9-port hub full of devices:
// 20,000 USB devices and hubs.
std::string LargeLine() {
    std::string json = R"({"controllers": [)";
    for (int c = 0; c < 20; ++c) {
        json += std::string(c ? "," : "") + R"({"ports": 100, "children": {)";
        for (int port = 1; port <= 100; ++port) {
            json += std::string(port > 1 ? "," : "") + "\"" + std::to_string(port) +
                    R"(": {"hub": {"family": "other", "vid": "05E3", "pid": "0608", "ports": 9,
                    "children": {)";
            for (int child = 1; child <= 9; ++child) {
                json += std::string(child > 1 ? "," : "") + "\"" + std::to_string(child) +
                        R"(": {"device": {"vid": "1234", "pid": "0001"}})";
            }
            json += "}}}";
        }
        json += "}}";
    }
    return json + "]}";
}

TEST(SimModel, LoadingGrowsLinearlyWithTheLine) {
    const std::string json = LargeLine();
    const auto start = std::chrono::steady_clock::now();
    usbsim::CSimModel model;
    std::string error;
    ASSERT_TRUE(model.Load(Parse(json), error)) << error;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("20,000 devices parsed and loaded in %.2f s\n", seconds);
    EXPECT_LT(seconds, 10.0) << "a quadratic load takes minutes";
    const usbsim::SimNode* last = model.FindController(19);
    ASSERT_NE(last, nullptr);
    const usbsim::SimNode* hub = model.PortChild(last->children.front(), 100);
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(hub->children.size(), 9u);
    EXPECT_EQ(model.FindInstance(model.Node(hub->children.back())->instanceId),
              model.Node(hub->children.back()));
}
