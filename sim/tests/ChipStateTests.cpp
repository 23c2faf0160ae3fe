// Chip memories through the simulator: the state file shared by processes,
// and a hub that leaves the bus and returns, with its notifications.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "NotificationWindow.h"
#include "Simulator.h"
#include "StateFile.h"
#include "StateFileIo.h"
#include "UsbSimApi.h"

namespace {

using usbsim::ChipMemories;
using usbsim::CSimModel;
using usbsim::CSimulator;

const char kLine[] = R"({"timeScale":1000,"controllers":[{"ports":2,"children":{
  "1":{"hub":{"family":"first","vid":"3B9A","pid":"6104","serial":"A","ports":2}},
  "2":{"hub":{"family":"first","vid":"3B9A","pid":"6104","serial":"B","ports":2}}}}]})";
const wchar_t kChipA[] = L"USB\\VID_3B9A&PID_6104\\A";
const wchar_t kChipB[] = L"USB\\VID_3B9A&PID_6104\\B";
const GUID kHubGuid = {
    0xf18a0e88, 0xc30c, 0x11d0, {0x88, 0x15, 0x00, 0xa0, 0xc9, 0x06, 0xbe, 0xd8}};

std::string ReadText(const std::wstring& path) {
    std::ifstream file(std::string(path.begin(), path.end()), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class ChipState : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, folder);
        state_ = std::wstring(folder) + L"\\chip-state.json";
        DeleteFileW(state_.c_str());
        SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", state_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", nullptr);
        DeleteFileW(state_.c_str());
    }
    void Load() { ASSERT_EQ(CSimulator::Instance().LoadJson(kLine, L""), USBSIM_OK); }
    void SetOtp(const wchar_t* id, std::vector<uint8_t> bytes) {
        CSimulator::Instance().WithModel([&](CSimModel& model) {
            auto& memory = model.Memory(*model.FindInstance(id));
            memory.initialised = true;
            memory.areas["otp"] = std::move(bytes);
        });
        CSimulator::Instance().MemoryChanged();
    }
    std::vector<uint8_t> Otp(const wchar_t* id) {
        std::vector<uint8_t> bytes;
        CSimulator::Instance().ReadChipMemory(id, "otp", bytes);
        return bytes;
    }

    std::wstring state_;
};

TEST_F(ChipState, ALaterLoadSeesWhatWasProgrammed) {
    Load();
    SetOtp(kChipA, {0x11, 0x22});
    ASSERT_EQ(CSimulator::Instance().Reset(), USBSIM_OK);
    EXPECT_EQ(Otp(kChipA), (std::vector<uint8_t>{0x11, 0x22}));
}

TEST_F(ChipState, AnotherWritersChipsAreKept) {
    Load();
    SetOtp(kChipA, {1});
    // Another process programs B meanwhile, then this one changes A again.
    ChipMemories other;
    other[kChipB].initialised = true;
    other[kChipB].areas["otp"] = {2};
    std::string error;
    ASSERT_TRUE(usbsim::WriteStateFile(state_, other, error)) << error;
    SetOtp(kChipA, {3});

    ChipMemories onDisk;
    ASSERT_TRUE(usbsim::StateFromJson(ReadText(state_), onDisk, error)) << error;
    EXPECT_EQ(onDisk[kChipA].areas["otp"], std::vector<uint8_t>{3});
    EXPECT_EQ(onDisk[kChipB].areas["otp"], std::vector<uint8_t>{2});
    EXPECT_EQ(
        GetFileAttributesW((state_ + L".tmp" + std::to_wstring(GetCurrentProcessId())).c_str()),
        INVALID_FILE_ATTRIBUTES)
        << "no temporary file is left behind";
}

TEST_F(ChipState, ADamagedStateFileStopsTheLoad) {
    std::ofstream(std::string(state_.begin(), state_.end()))
        << R"({"chips":{"A":{"areas":{"otp":"XY"}}}})";
    EXPECT_EQ(CSimulator::Instance().LoadJson(kLine, L""), USBSIM_ERROR_FIXTURE);
    std::wstring error = CSimulator::Instance().LastError();
    EXPECT_NE(error.find(L"chip-state.json"), std::wstring::npos);
    EXPECT_NE(error.find(L"$.chips.A.areas.otp"), std::wstring::npos);
    EXPECT_EQ(ReadText(state_), R"({"chips":{"A":{"areas":{"otp":"XY"}}}})") << "left as it was";
}

// Chip memories are filled by the first request that reaches a chip; a read
// before that still gives what the fixture describes, for either family, and
// leaves the state file alone. Hubs without a chip have no memory to read.
TEST_F(ChipState, AChipNoRequestReachedReadsAsItsFixtureDescribesIt) {
    ASSERT_EQ(CSimulator::Instance().LoadJson(R"({"timeScale":1000,"controllers":[{"ports":3,
      "children":{
      "1":{"hub":{"family":"first","vid":"3B9A","pid":"6104","serial":"F","ports":2,
                  "chip":{"uuid":"00112233445566778899AABBCCDDEEFF"}}},
      "2":{"hub":{"family":"second","vid":"3B9A","pid":"7104","serial":"S","ports":4,
                  "chip":{"romVersion":"0x0108","otpSize":512}}},
      "3":{"hub":{"family":"other","vid":"05E3","pid":"0608","serial":"G","ports":2}}}}]})",
                                              L""),
              USBSIM_OK);
    // First family: the vendor block and UUID at offset 6. Second family, ROM
    // 0x0108: counter 00 FF, and an end mark in every 5-byte index slot from
    // the top down (by any case of the instance ID).
    const struct {
        const wchar_t* instance;
        size_t size;  // 0: nothing to read
        size_t at;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {L"USB\\VID_3B9A&PID_6104\\F", 2048, 6, {'V', 'N', 'D', 'R', 0x00, 0x11}},
        {L"usb\\vid_3b9a&pid_7104\\s", 512, 0, {0x00, 0xFF, 0x00, 0x00, 0xFF}},
        {L"USB\\VID_3B9A&PID_7104\\S", 512, 507, {0x00, 0x00, 0xFF, 0x00, 0x00}},
        {L"USB\\VID_05E3&PID_0608\\G", 0, 0, {}},
        {L"USB\\VID_3B9A&PID_6104\\NONE", 0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.instance, c.instance + wcslen(c.instance)));
        std::vector<uint8_t> otp;
        ASSERT_EQ(CSimulator::Instance().ReadChipMemory(c.instance, "otp", otp), c.size != 0);
        ASSERT_EQ(otp.size(), c.size);
        if (c.size == 0) continue;
        EXPECT_EQ(std::vector<uint8_t>(otp.begin() + c.at, otp.begin() + c.at + c.bytes.size()),
                  c.bytes);
    }
    EXPECT_EQ(GetFileAttributesW(state_.c_str()), INVALID_FILE_ATTRIBUTES) << "reads write nothing";
}

TEST(LeaveAndReturnThread, HubLeavesAndReturnsWithNotifications) {
    ASSERT_EQ(CSimulator::Instance().LoadJson(kLine, L""), USBSIM_OK);
    simtest::CNotificationWindow window(*CSimulator::Instance().Api(), kHubGuid);
    uint32_t id = CSimulator::Instance().WithModel(
        [](CSimModel& model) { return model.FindInstance(kChipA)->id; });

    CSimulator::Instance().LeaveAndReturn(
        id, 2000, [](usbsim::DeviceSpec& spec) { spec.description = L"Back in DFU"; });
    ASSERT_TRUE(CSimulator::Instance().WaitIdle(10000));

    auto received = window.Take();
    ASSERT_EQ(received.size(), 2u);
    // The removal may reach the window after the hub is back, as on a PC where
    // the service posts it late: only the arrival is sure to find it present.
    EXPECT_EQ(received[0].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(received[1].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_TRUE(received[1].presentDuringMessage);
    CSimulator::Instance().WithModel([](CSimModel& model) {
        const auto* hub = model.FindInstance(kChipA);
        ASSERT_NE(hub, nullptr);
        EXPECT_NE(hub->id, 0u);
        EXPECT_EQ(hub->description, L"Back in DFU");
        EXPECT_EQ(hub->port, 1u);
    });
}

TEST(LeaveAndReturnThread, SecondFamilyHubReturnsWithoutItsFifthPortFunction) {
    ASSERT_EQ(CSimulator::Instance().LoadJson(R"({"timeScale":1000,"controllers":[{"ports":1,
      "children":{"1":{"hub":{"family":"second","vid":"3B9A","pid":"7104","serial":"S",
      "ports":4,"chip":{"ep5Enabled":true}}}}}]})",
                                              L""),
              USBSIM_OK);
    const GUID ep5Guid = {
        0x6c2e9a14, 0x7b3d, 0x4f58, {0xa1, 0xc6, 0x2d, 0x8e, 0x5f, 0x0b, 0x9c, 0x37}};
    simtest::CNotificationWindow hubs(*CSimulator::Instance().Api(), kHubGuid);
    simtest::CNotificationWindow ep5(*CSimulator::Instance().Api(), ep5Guid);
    uint32_t id = CSimulator::Instance().WithModel(
        [](CSimModel& model) { return model.FindInstance(L"USB\\VID_3B9A&PID_7104\\S")->id; });

    CSimulator::Instance().LeaveAndReturn(id, 1000, nullptr);
    ASSERT_TRUE(CSimulator::Instance().WaitIdle(10000));

    auto hubMessages = hubs.Take();
    ASSERT_EQ(hubMessages.size(), 2u);
    EXPECT_EQ(hubMessages[0].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(hubMessages[1].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    auto ep5Messages = ep5.Take();
    ASSERT_EQ(ep5Messages.size(), 1u) << "it leaves, and does not come back";
    EXPECT_EQ(ep5Messages[0].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    CSimulator::Instance().WithModel([](CSimModel& model) {
        const auto* hub = model.FindInstance(L"USB\\VID_3B9A&PID_7104\\S");
        ASSERT_NE(hub, nullptr);
        EXPECT_EQ(model.PortChild(hub->id, 5), nullptr);
    });
}

TEST(LeaveAndReturnThread, NothingReturnsIntoAReplacedModel) {
    ASSERT_EQ(CSimulator::Instance().LoadJson(kLine, L""), USBSIM_OK);
    uint32_t id = CSimulator::Instance().WithModel(
        [](CSimModel& model) { return model.FindInstance(kChipA)->id; });
    CSimulator::Instance().LeaveAndReturn(
        id, 50000, [](usbsim::DeviceSpec& spec) { spec.description = L"Returned"; });
    ASSERT_EQ(CSimulator::Instance().Reset(), USBSIM_OK);
    ASSERT_TRUE(CSimulator::Instance().WaitIdle(10000));
    CSimulator::Instance().WithModel([](CSimModel& model) {
        const auto* hub = model.FindInstance(kChipA);
        ASSERT_NE(hub, nullptr) << "the reloaded hub stays";
        EXPECT_NE(hub->description, L"Returned");
    });
}

}  // namespace
