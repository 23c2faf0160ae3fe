// A hub that leaves the bus and comes back (a reboot): what leaves, in which
// order, and that it returns as it was, including what was plugged in later.
#include <gtest/gtest.h>

#include "FixtureParser.h"
#include "SimModel.h"

namespace {

using usbsim::CSimModel;
using usbsim::InterfaceEvent;

const char kLine[] = R"({"controllers":[{"ports":2,"children":{
  "1":{"hub":{"family":"first","vid":"3B9A","pid":"6104","serial":"TOP","ports":2,
    "faults":[{"op":"open","count":1}],
    "children":{"1":{"device":{"vid":"046D","pid":"C077","serial":"KB"}}}}}}}]})";

class LeaveAndReturn : public ::testing::Test {
protected:
    void SetUp() override {
        usbsim::CFixtureParser parser("line", nullptr);
        usbsim::FixtureSpec fixture;
        ASSERT_TRUE(parser.ParseFixture(kLine, fixture)) << parser.Error();
        std::string error;
        ASSERT_TRUE(model_.Load(fixture, error)) << error;
    }
    const usbsim::SimNode* Find(const wchar_t* id) { return model_.FindInstance(id); }

    CSimModel model_;
};

std::vector<std::wstring> Paths(const std::vector<InterfaceEvent>& events) {
    std::vector<std::wstring> paths;
    for (const auto& e : events) paths.push_back(e.path.substr(0, e.path.find(L"#{")));
    return paths;
}

TEST_F(LeaveAndReturn, HubComesBackWithWhatHangsBelowIt) {
    const auto* hub = Find(L"USB\\VID_3B9A&PID_6104\\TOP");
    ASSERT_NE(hub, nullptr);
    usbsim::DeviceSpec board;
    board.vid = 0x0781, board.pid = 0x5581, board.serial = L"LATE";
    std::vector<InterfaceEvent> events;
    std::string error;
    ASSERT_EQ(model_.Attach(L"1-1-1-2", board, events, error), CSimModel::Result::kOk) << error;
    model_.Memory(*hub).areas["otp"] = {1, 2, 3};

    std::vector<InterfaceEvent> left;
    auto departure = model_.Leave(hub->id, left);
    ASSERT_TRUE(departure.has_value());
    EXPECT_EQ(Paths(left), (std::vector<std::wstring>{
                               L"\\\\?\\USB#VID_046D&PID_C077#KB",
                               L"\\\\?\\USB#VID_0781&PID_5581#LATE",
                               L"\\\\?\\USB#VID_3B9A&PID_6104#TOP",
                               L"\\\\?\\USB#VID_3B9A&PID_6104#TOP",
                           }))
        << "children leave first";
    EXPECT_EQ(Find(L"USB\\VID_3B9A&PID_6104\\TOP"), nullptr);

    std::vector<InterfaceEvent> arrived;
    ASSERT_TRUE(model_.Return(*departure, arrived));
    EXPECT_EQ(arrived.size(), 4u);
    EXPECT_EQ(Paths(arrived).front(), L"\\\\?\\USB#VID_3B9A&PID_6104#TOP") << "parents first";
    hub = Find(L"USB\\VID_3B9A&PID_6104\\TOP");
    ASSERT_NE(hub, nullptr);
    EXPECT_NE(Find(L"USB\\VID_0781&PID_5581\\LATE"), nullptr) << "the later board is back too";
    EXPECT_EQ(model_.Memory(*hub).areas["otp"], (std::vector<uint8_t>{1, 2, 3}));

    // The open fault fired once before the reboot does not fire again after it.
    EXPECT_TRUE(model_.FireFault(hub->id, "open").has_value());
    std::vector<InterfaceEvent> again;
    auto second = model_.Leave(hub->id, again);
    ASSERT_TRUE(second && model_.Return(*second, again));
    EXPECT_FALSE(model_.FireFault(Find(L"USB\\VID_3B9A&PID_6104\\TOP")->id, "open").has_value());
}

TEST_F(LeaveAndReturn, NothingReturnsToATakenPort) {
    const auto* hub = Find(L"USB\\VID_3B9A&PID_6104\\TOP");
    std::vector<InterfaceEvent> events;
    auto departure = model_.Leave(hub->id, events);
    ASSERT_TRUE(departure.has_value());
    usbsim::DeviceSpec other;
    other.vid = 0x1234, other.pid = 0x0001, other.serial = L"X";
    std::string error;
    ASSERT_EQ(model_.Attach(L"1-1-1", other, events, error), CSimModel::Result::kOk) << error;
    std::vector<InterfaceEvent> arrived;
    EXPECT_FALSE(model_.Return(*departure, arrived));
    EXPECT_TRUE(arrived.empty());
    EXPECT_EQ(Find(L"USB\\VID_3B9A&PID_6104\\TOP"), nullptr);
}

TEST_F(LeaveAndReturn, FifthEndpointFunctionIsOffAfterTheReturn) {
    usbsim::CFixtureParser parser("line", nullptr);
    usbsim::FixtureSpec fixture;
    ASSERT_TRUE(parser.ParseFixture(R"({"controllers":[{"ports":1,"children":{
      "1":{"hub":{"family":"second","vid":"3B9A","pid":"7104","serial":"S","ports":4,
               "chip":{"ep5Enabled":true}}}}}]})",
                                    fixture))
        << parser.Error();
    std::string error;
    ASSERT_TRUE(model_.Load(fixture, error)) << error;
    const auto* hub = Find(L"USB\\VID_3B9A&PID_7104\\S");
    ASSERT_NE(hub, nullptr);
    ASSERT_NE(model_.PortChild(hub->id, 5), nullptr);

    std::vector<InterfaceEvent> left, arrived;
    auto departure = model_.Leave(hub->id, left);
    EXPECT_EQ(left.size(), 4u) << "the function's two interfaces and the hub's two";
    ASSERT_TRUE(departure && model_.Return(*departure, arrived));
    EXPECT_EQ(arrived.size(), 2u);
    EXPECT_EQ(model_.PortChild(Find(L"USB\\VID_3B9A&PID_7104\\S")->id, 5), nullptr);
}

}  // namespace
