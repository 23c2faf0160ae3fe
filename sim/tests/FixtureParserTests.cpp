// Fixture validation: what a valid fixture turns into, and a table of
// malformed fixtures with the error each must give (source, JSON path, reason).
#include <gtest/gtest.h>

#include <string>

#include "FixtureParser.h"

using usbsim::CFixtureParser;
using usbsim::FixtureSpec;

namespace {

// Image files named in fixtures: one known file, everything else is missing.
bool FakeReader(const std::string& name, std::vector<uint8_t>& data, std::string& reason) {
    if (name == "image.bin") {
        data.assign(8192, 0x5A);
        return true;
    }
    reason = "error 2 (file not found)";
    return false;
}

std::string Controllers(const std::string& children) {
    return R"({"controllers": [{"ports": 4, "children": {)" + children + "}}]}";
}

std::string Hub(const std::string& fields) {
    return Controllers(R"("2": {"hub": {"family": "first", "vid": "3B9A", "pid": "6104",
        "ports": 4)" + fields +
                       "}}");
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

TEST(FixtureParser, ReadsTheDemoShape) {
    const std::string json = R"({
      "timeScale": 100,
      "latency": {"requestUs": 250, "rebootMs": 1500},
      "controllers": [
        {"description": "EHCI", "instanceId": "PCI\\VEN_8086\\X", "ports": 4, "children": {
          "1": {"device": {"vid": "046d", "pid": "C077", "serial": "S1", "speed": "low"}},
          "2": {"hub": {"family": "first", "vid": "3B9A", "pid": "6104", "ports": 4,
                        "chip": {"uuid": "00112233445566778899AABBCCDDEEFF",
                                 "flash": {"size": 131072, "image": "image.bin"},
                                 "registers": {"0x523A": 32}},
                        "faults": [{"op": "otpRead", "short": 4, "after": 2, "count": 1}],
                        "children": {"3": {"hub": {"family": "second", "vid": "3B9A",
                          "pid": "7104", "ports": 4,
                          "chip": {"romVersion": "0x0108", "otpSize": 1024,
                                   "flash": {"size": 65536, "manufacturer": "none"}}}}}}}}},
        {"hcd": 5, "ports": 2}
      ]})";
    CFixtureParser parser("demo.json", FakeReader);
    FixtureSpec fixture;
    ASSERT_TRUE(parser.ParseFixture(json, fixture)) << parser.Error();
    EXPECT_EQ(fixture.timeScale, 100);
    EXPECT_EQ(fixture.latency.requestUs, 250);
    EXPECT_EQ(fixture.latency.rebootMs, 1500);
    ASSERT_EQ(fixture.controllers.size(), 2u);
    EXPECT_EQ(fixture.controllers[0].hcd, 0u);
    EXPECT_EQ(fixture.controllers[1].hcd, 5u);
    const auto& root = fixture.controllers[0];
    EXPECT_EQ(root.instanceId, L"PCI\\VEN_8086\\X");
    const auto& mouse = *root.children.at(1);
    EXPECT_FALSE(mouse.isHub);
    EXPECT_EQ(mouse.vid, 0x046D);
    EXPECT_EQ(mouse.serial, L"S1");
    EXPECT_EQ(mouse.speed, usbsim::UsbSpeed::kLow);
    EXPECT_EQ(mouse.description, L"USB Composite Device");
    const auto& hub = *root.children.at(2);
    EXPECT_TRUE(hub.isHub);
    EXPECT_EQ(hub.family, usbsim::HubFamily::kFirst);
    ASSERT_TRUE(hub.chip.first.has_value());
    ASSERT_TRUE(hub.chip.first->uuid.has_value());
    EXPECT_EQ(hub.chip.first->uuid->at(15), 0xFF);
    ASSERT_TRUE(hub.chip.first->flash.has_value());
    EXPECT_EQ(hub.chip.first->flash->image.size(), 8192u);
    EXPECT_EQ(hub.chip.registers.at(0x523A), 32);
    ASSERT_EQ(hub.faults.size(), 1u);
    EXPECT_EQ(hub.faults[0].op, "otpRead");
    EXPECT_EQ(*hub.faults[0].shortBytes, 4u);
    EXPECT_EQ(*hub.faults[0].count, 1u);
    EXPECT_EQ(hub.faults[0].after, 2u);
    const auto& second = *hub.children.at(3);
    ASSERT_TRUE(second.chip.second.has_value());
    EXPECT_EQ(second.chip.second->romVersion, 0x0108);
    EXPECT_EQ(second.chip.second->otpSize, 1024u);
    EXPECT_EQ(*second.chip.second->ep5Port, 5u) << "one past the hub's ports";
    EXPECT_EQ(second.chip.second->flash->manufacturer, "none");
    EXPECT_EQ(second.jsonPath, "$.controllers[0].children.2.hub.children.3.hub");
}

TEST(FixtureParser, MalformedFixturesNameThePathAndTheFault) {
    struct Case {
        std::string json;
        std::string error;
    } cases[] = {
        {"{\"controllers\": [", "f.json: line 1, column 18: syntax error"},
        {"{\n  \"controllers\": [],\n  \"timeScale\": ,\n}",
         "f.json: line 3, column 16: syntax error"},
        {"[]", "f.json: $: expected an object, got an array"},
        {"{}", "f.json: $: missing field \"controllers\""},
        {R"({"controllers": {}})", "$.controllers: expected an array, got an object"},
        {R"({"controllers": [], "timescale": 2})", "$.timescale: unknown field"},
        {R"({"controllers": [], "timeScale": 0})", "$.timeScale: must be greater than 0"},
        {R"({"controllers": [], "latency": {"requestUs": -1}})",
         "$.latency.requestUs: must be at least 0"},
        {R"({"controllers": [], "latency": {"pageUs": 1}})", "$.latency.pageUs: unknown field"},
        {R"({"controllers": [{}]})", "$.controllers[0]: missing field \"ports\""},
        {R"({"controllers": [{"ports": 0}]})",
         "$.controllers[0].ports: value 0 is out of range 1..255"},
        {R"({"controllers": [{"ports": 2}, {"ports": 2, "hcd": 0}]})",
         "$.controllers[1].hcd: HCD0 is used twice"},
        {Controllers(R"("5": {"device": {"vid": "1234", "pid": "0001"}})"),
         "$.controllers[0].children.5: port 5 is beyond the 4 ports"},
        {Controllers(R"("x": {"device": {"vid": "1234", "pid": "0001"}})"),
         "$.controllers[0].children.x: a port number (1, 2, ...) was expected"},
        {Controllers(R"("1": {})"),
         "$.controllers[0].children.1: expected exactly one of \"hub\" or \"device\""},
        {Controllers(R"("1": {"device": {"vid": "12G4", "pid": "0001"}})"),
         "$.controllers[0].children.1.device.vid: expected 4 hex digits, got \"12G4\""},
        {Controllers(R"("1": {"device": {"vid": 4660, "pid": "0001"}})"),
         "children.1.device.vid: expected 4 hex digits, got the number 4660"},
        {Controllers(R"("1": {"device": {"vid": "1234", "pid": "0001", "serial": "A#1"}})"),
         "children.1.device.serial: character '#' is not allowed in a serial"},
        {Controllers(R"("1": {"device": {"vid": "1234", "pid": "0001", "speed": "fast"}})"),
         "children.1.device.speed: expected \"low\", \"full\", \"high\" or \"super\""},
        {Controllers(R"("1": {"device": {"vid": "1234", "pid": "0001", "ports": 4}})"),
         "children.1.device.ports: unknown field"},
        {Controllers(
             R"("1": {"hub": {"family": "third", "vid": "1234", "pid": "0001", "ports": 4}})"),
         "children.1.hub.family: expected \"first\", \"second\" or \"other\", got \"third\""},
        {Controllers(R"("1": {"hub": {"family": "other", "vid": "1234", "pid": "0001", "ports": 4,
                     "chip": {}}})"),
         "children.1.hub.chip: a hub of family \"other\" has no chip to describe"},
        {Hub(R"(, "chip": {"uuid": "0011"})"),
         "children.2.hub.chip.uuid: a UUID has 32 hex digits"},
        {Hub(R"(, "chip": {"otp": "00"})"),
         "children.2.hub.chip.otp: the OTP holds 2048 bytes, got 1"},
        {Hub(R"(, "chip": {"romVersion": "0x0109"})"),
         "children.2.hub.chip.romVersion: belongs to a second-family chip"},
        {Hub(R"(, "chip": {"bootState": "rom"})"),
         "children.2.hub.chip.bootState: expected \"spi\" or \"dfu\""},
        {Hub(R"(, "chip": {"flash": {"size": 1000}})"),
         "chip.flash.size: value 1000 is out of range 4096..16777216"},
        {Hub(R"(, "chip": {"flash": {"size": 6000}})"),
         "chip.flash.size: a flash size is a multiple of 4096 bytes"},
        {Hub(R"(, "chip": {"flash": {"size": 4096, "image": "missing.bin"}})"),
         "chip.flash.image: cannot read \"missing.bin\": error 2 (file not found)"},
        {Hub(R"(, "chip": {"flash": {"size": 4096, "image": "image.bin"}})"),
         "chip.flash.image: the image (8192 bytes) is larger than the flash"},
        {Hub(R"(, "chip": {"flash": {"size": 4096, "manufacturer": "ok"}})"),
         "chip.flash.manufacturer: unknown field"},
        {Hub(R"(, "chip": {"registers": {"0x523A": 256}})"),
         "chip.registers.0x523A: value 256 is out of range 0..255"},
        {Hub(R"(, "faults": [{"op": "explode"}])"),
         "children.2.hub.faults[0].op: unknown operation \"explode\""},
        {Hub(R"(, "faults": [{"count": 1}])"), "children.2.hub.faults[0]: missing field \"op\""},
        {Hub(R"(, "faults": [{"op": "open", "count": 0}])"),
         "faults[0].count: value 0 is out of range 1..4294967295"},
        {Hub(R"(, "faults": [{"op": "open", "address": 4}])"),
         "faults[0].address: operation \"open\" takes no address"},
        {Hub(R"(, "faults": [{"op": "detach"}])"), "faults[0]: missing field \"during\""},
        {Hub(R"(, "faults": [{"op": "detach", "during": "nap"}])"),
         "faults[0].during: unknown operation \"nap\""},
        {Hub(R"(, "faults": [{"op": "open", "during": "otpRead"}])"),
         "faults[0].during: only a detach fault happens during an operation"},
        {Hub(R"(, "faults": [{"op": "flashErase", "address": "0x10000", "sytemError": 5}])"),
         "faults[0].sytemError: unknown field"},
        {Hub(R"(, "faults": [{"op": "portStatus"}])"), "faults[0]: missing field \"status\""},
        {Hub(R"(, "faults": [{"op": "portStatus", "status": "asleep"}])"),
         "faults[0].status: expected one of enumerating, starting, failedEnumeration"},
        {Hub(R"(, "faults": [{"op": "open", "status": "starting"}])"),
         "faults[0].status: only a portStatus fault has a status"},
        {Hub(R"(, "superSpeedPid": "0620")"),
         "children.2.hub.superSpeedPid: only a USB 3 hub has a SuperSpeed half"},
        {R"({"controllers": [{"ports": 2, "superSpeedPorts": 3}]})",
         "$.controllers[0].superSpeedPorts: value 3 is out of range 0..2"},
        {R"({"controllers": [], "timeScale": 2, "timeScale": 3})",
         "f.json: $: the key \"timeScale\" appears twice"},
        {Hub(R"(, "vid": "3B9B")"),
         "$.controllers[0].children.2.hub: the key \"vid\" appears twice"},
        {Controllers(R"("1": {"device": {"vid": "1234", "pid": "0001"}},
                        "01": {"device": {"vid": "1234", "pid": "0002"}})"),
         "$.controllers[0].children.1: port 1 is described twice"},
        {R"({"controllers": [{"ports": 1}, {"ports": 1, "x": [[[[{"a": 1, "a": 2}]]]]}]})",
         "$.controllers[1].x[0][0][0][0]: the key \"a\" appears twice"},
        {"{\"controllers\": " + std::string(200000, '[') + std::string(200000, ']') + "}",
         "$.controllers" + Repeat("[0]", 99) + ": nested deeper than 100 levels"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        CFixtureParser parser("f.json", FakeReader);
        FixtureSpec fixture;
        EXPECT_FALSE(parser.ParseFixture(c.json, fixture));
        EXPECT_NE(parser.Error().find(c.error), std::string::npos) << parser.Error();
        EXPECT_EQ(parser.Error().rfind("f.json: ", 0), 0u) << "the file comes first";
    }
}

TEST(FixtureParser, SecondFamilyEp5PortMustBeFree) {
    CFixtureParser parser("f.json", FakeReader);
    FixtureSpec fixture;
    std::string json = Controllers(R"("1": {"hub": {"family": "second", "vid": "3B9A",
        "pid": "7104", "ports": 4, "chip": {"ep5Port": 2},
        "children": {"2": {"device": {"vid": "1234", "pid": "0001"}}}}})");
    EXPECT_FALSE(parser.ParseFixture(json, fixture));
    EXPECT_NE(parser.Error().find("the fifth-endpoint port is taken by a child"), std::string::npos)
        << parser.Error();
}

TEST(FixtureParser, BoardsHoldOneHubOrDevice) {
    CFixtureParser parser("board.json", FakeReader);
    usbsim::DeviceSpec board;
    ASSERT_TRUE(parser.ParseBoard(R"({"device": {"vid": "1234", "pid": "ABCD"}})", board))
        << parser.Error();
    EXPECT_EQ(board.pid, 0xABCD);
    EXPECT_FALSE(parser.ParseBoard(R"({"device": {"vid": "1234", "pid": "ABCD"}, "x": 1})", board));
    EXPECT_EQ(parser.Error(), "board.json: $.x: unknown field");
}

}  // namespace
