// A second-family hub programmed through the exports again and again in one
// process while it goes away and comes back between runs: its board
// unplugged and plugged in again, the library unloaded and loaded again, the
// whole line reloaded with the chip state file kept. Each run opens the hub
// afresh and programs it; the chip's OTP counter carries across all of them,
// so the seventeenth programming is refused.
#include <windows.h>

#include <string>
#include <vector>

#include "HubLibraryFixture.h"

HMODULE HubLibraryTest::sim_ = nullptr;

namespace {

const std::wstring kHub = HubPath(L"VID_3B9A&PID_7104", L"LB1");
const wchar_t kHubInstance[] = L"USB\\VID_3B9A&PID_7104\\LB1";
const wchar_t kHubPosition[] = L"1-1-2";
// The same hub as line-small.json has it on port 2.
const char kHubBoard[] = R"({ "hub": { "family": "second", "vid": "3B9A", "pid": "7104",
  "serial": "LB1", "description": "USB Hub", "ports": 4,
  "chip": { "romVersion": "0x0109", "boot": "rom", "otpSize": 2048 } } })";

constexpr int kProgrammingsAllowed = 16;

class HubComeback : public HubLibraryTest {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, folder);
        state_ = std::wstring(folder) + L"\\hub-comeback-state.json";
        DeleteFileW(state_.c_str());
        SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", state_.c_str());
    }
    void TearDown() override {
        HubLibraryTest::TearDown();
        SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", nullptr);
        DeleteFileW(state_.c_str());
    }

    // Waits until the library has the hub as a second-family hub (its
    // fifth-endpoint function enabled and answering).
    bool WaitUntilKnown(DWORD timeoutMs = 10000) {
        const ULONGLONG end = GetTickCount64() + timeoutMs;
        while (FamilyOf(kHub) != HUB_FAMILY_TORVIK) {
            if (GetTickCount64() > end) return false;
            Sleep(5);
        }
        return true;
    }

    // One OTP programming with verification through the exports, as the tool
    // prepares a hub; the hub's status afterwards.
    int32_t Program(uint8_t value) {
        DropSnapshot();
        int32_t c = -1, n = -1;
        EXPECT_TRUE(Lib<bool(__cdecl*)(const wchar_t*, int32_t*, int32_t*)>("GetDeviceIndicesUI")(
            kHub.c_str(), &c, &n));
        // One item: register 0x3000 = value.
        const std::vector<uint8_t> block = {'C',  'F',  'G',  'B',  1,    0x40,
                                            0x00, 0x03, 0x30, 0x00, value};
        EXPECT_EQ(
            Lib<int32_t(__cdecl*)(int32_t, int32_t, int32_t)>("SetStorageMode")(c, n, STORAGE_OTP),
            RESULT_SUCCESS);
        EXPECT_TRUE(Lib<bool(__cdecl*)(int32_t, int32_t, int32_t)>("SetValidationMethod")(
            c, n, VALIDATION_VERIFY));
        EXPECT_TRUE(
            Lib<bool(__cdecl*)(int32_t, int32_t, bool)>("SetProgrammingRequired")(c, n, true));
        EXPECT_EQ(
            Lib<int32_t(__cdecl*)(int32_t, int32_t, const uint8_t*, uint32_t)>(
                "SetConfigurationBlock")(c, n, block.data(), static_cast<uint32_t>(block.size())),
            RESULT_SUCCESS);
        const size_t finished = CEventLog::Instance().Count(EVENT_MANAGER_FINISHED);
        EXPECT_EQ(Lib<int32_t(__cdecl*)(bool)>("StartProgrammerManager")(true), RESULT_SUCCESS);
        EXPECT_TRUE(CEventLog::Instance().WaitFor(EVENT_MANAGER_FINISHED, finished + 1, 30000));
        return Lib<int32_t(__cdecl*)(int32_t, int32_t)>("GetHubStatus")(c, n);
    }

public:
    // The ways the hub goes away and comes back.
    void Replug() {
        ASSERT_EQ(Sim<PfnUsbSimDetach>("UsbSimDetach")(kHubPosition), USBSIM_OK) << LastSimError();
        ASSERT_TRUE(WaitIdle());
        ASSERT_EQ(FamilyOf(kHub), -1) << "the library still has the unplugged hub";
        ASSERT_EQ(Sim<PfnUsbSimAttachJson>("UsbSimAttachJson")(kHubPosition, kHubBoard), USBSIM_OK)
            << LastSimError();
        ASSERT_TRUE(WaitIdle());
    }
    void ReloadLibrary() {
        HMODULE lib = lib_;
        lib_ = nullptr;
        ASSERT_TRUE(UnloadHubLibrary(lib));
        StartLibrary();
        ASSERT_NE(Snapshot(), nullptr);
    }
    void ReloadLineAndLibrary() {
        HMODULE lib = lib_;
        lib_ = nullptr;
        ASSERT_TRUE(UnloadHubLibrary(lib));
        Start("line-small.json");
        ASSERT_NE(Snapshot(), nullptr);
    }

protected:
    std::vector<uint8_t> Otp() {
        const int size =
            Sim<PfnUsbSimReadChipMemory>("UsbSimReadChipMemory")(kHubInstance, "otp", nullptr, 0);
        if (size <= 0) return {};
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        Sim<PfnUsbSimReadChipMemory>("UsbSimReadChipMemory")(kHubInstance, "otp", bytes.data(),
                                                             size);
        return bytes;
    }

    std::wstring state_;
};

TEST_F(HubComeback, ProgrammedAfterEveryWayBackUntilTheOtpIsFull) {
    Start("line-small.json");
    ASSERT_NE(Snapshot(), nullptr);
    const struct {
        const char* name;
        void (HubComeback::*comeBack)();
    } ways[] = {{"board replugged", &HubComeback::Replug},
                {"library reloaded", &HubComeback::ReloadLibrary},
                {"line and library reloaded", &HubComeback::ReloadLineAndLibrary}};
    for (int run = 1; run <= kProgrammingsAllowed + 1; ++run) {
        const auto& way = ways[run % 3];
        SCOPED_TRACE("run " + std::to_string(run) + " after " + ways[(run + 2) % 3].name);
        ASSERT_TRUE(WaitUntilKnown());
        const int32_t status = Program(static_cast<uint8_t>(run));
        if (run <= kProgrammingsAllowed) {
            ASSERT_EQ(status, HUB_STATUS_PROGRAMMED_VERIFIED);
        } else {
            ASSERT_EQ(status, HUB_STATUS_OTP_WRITE_LIMIT);
        }
        ASSERT_NO_FATAL_FAILURE((this->*way.comeBack)());
    }
    // Every programming counted once: sixteen bits of the counter taken.
    const std::vector<uint8_t> otp = Otp();
    ASSERT_EQ(otp.size(), 2048u);
    EXPECT_EQ(otp[0], 0xFF);
    EXPECT_EQ(otp[1], 0x00);
}

}  // namespace
