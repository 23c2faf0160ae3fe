// A second-family hub sent into ROM by erasing its flash signature: until it
// has left the bus it still runs its SPI firmware and says so; it comes back
// in ROM, and the state file follows.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "SecondChip.h"
#include "SecondChipUsb.h"
#include "Simulator.h"
#include "StateFileIo.h"
#include "UsbSimApi.h"
#include "UsbStructs.h"

namespace {

using usbsim::CSecondChip;
using usbsim::CSimModel;
using usbsim::CSimulator;

const char kLine[] = R"({"timeScale":1000,"latency":{"rebootMs":2000},"controllers":[{"ports":1,
  "children":{"1":{"hub":{"family":"second","vid":"3B9A","pid":"7104","serial":"S","ports":4,
  "chip":{"boot":"spi","romVersion":"0x0109","firmwareVersion":"0x0123","ep5Enabled":true,
          "flash":{"size":65536}}}}}}]})";
const wchar_t kInstance[] = L"USB\\VID_3B9A&PID_7104\\S";
const wchar_t kHubPath[] = L"\\\\?\\USB#VID_3B9A&PID_7104#S#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

class SecondChipReboot : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, folder);
        state_ = std::wstring(folder) + L"\\second-reboot-state.json";
        DeleteFileW(state_.c_str());
        SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", state_.c_str());
        ASSERT_EQ(CSimulator::Instance().LoadJson(kLine, L""), USBSIM_OK);
    }
    void TearDown() override {
        if (handle_ != nullptr) UsbSimSecondClose(handle_);
        CSimulator::Instance().WaitIdle(10000);
        SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", nullptr);
        DeleteFileW(state_.c_str());
    }

    bool OnTheBus() {
        return CSimulator::Instance().WithModel(
            [](CSimModel& model) { return model.FindInstance(kInstance) != nullptr; });
    }
    // The two vendor requests that bring the function back after a restart.
    void EnableFunction() {
        uint32_t hub = CSimulator::Instance().WithModel(
            [](CSimModel& model) { return model.FindInstance(kInstance)->id; });
        const BYTE setup[8] = {0x40, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00};
        for (BYTE second : {0x00, 0x02}) {
            BYTE data[2] = {0x01, second};
            DWORD returned = 0;
            ASSERT_EQ(usbsim::AnswerVendorRequest(hub, setup, sizeof(setup), data, sizeof(data),
                                                  returned),
                      static_cast<DWORD>(ERROR_SUCCESS));
        }
        ASSERT_TRUE(CSimulator::Instance().WaitIdle(10000));
    }

    std::wstring state_;
    void* handle_ = nullptr;
};

unsigned BootRegister(void* handle) {
    unsigned char value = 0xEE;
    EXPECT_EQ(UsbSimSecondReadRegister(handle, CSecondChip::kBootStatus, &value), USBSIM_OK);
    return value;
}

std::vector<uint8_t> HubInfo(void* handle) {
    std::vector<uint8_t> info(16, 0xEE);
    unsigned length = 0;
    EXPECT_EQ(UsbSimSecondHubInfo(handle, info.data(), 16, &length), USBSIM_OK);
    EXPECT_GE(length, 5u);
    info.resize(length);
    return info;
}

unsigned Signature(void* handle) {
    unsigned char bytes[4] = {};
    const unsigned at = CSecondChip::kSignatureAddress;
    EXPECT_EQ(UsbSimSecondReadFlash(handle, at, at + 3, bytes), USBSIM_OK);
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<unsigned>(bytes[3]) << 24;
}

TEST_F(SecondChipReboot, FirmwareStateHoldsUntilTheHubLeavesAndRomFollowsTheReturn) {
    const std::wstring state = state_;
    const struct {
        const char* what;
        std::function<unsigned(void*)> read;
        unsigned beforeLeaving, afterReturn;
    } readings[] = {
        {"boot status register", BootRegister, 0x00, 0x04},
        {"hub info version word",
         [](void* h) {
             auto i = HubInfo(h);
             return i[0] | i[1] << 8;
         },
         0x0123, 0x0109},
        {"hub info boot status", [](void* h) { return HubInfo(h)[4]; }, 0x00, 0x04},
        // The flash keeps its erased signature either way.
        {"flash signature", Signature, 0xFFFFFFFF, 0xFFFFFFFF},
        {"boot status in the state file",
         [state](void*) -> unsigned {
             usbsim::ChipMemories chips;
             std::string error;
             EXPECT_TRUE(usbsim::ReadStateFile(state, chips, error)) << error;
             return chips[kInstance].registers[CSecondChip::kBootStatus];
         },
         0x00, 0x04},
    };

    ASSERT_EQ(UsbSimSecondOpen(kHubPath, &handle_), USBSIM_OK);
    std::vector<uint8_t> image(65536, 0x00);
    memcpy(&image[CSecondChip::kSignatureAddress], "2DFU", 4);
    ASSERT_EQ(UsbSimSecondLoadFlash(handle_, image.data(), static_cast<unsigned>(image.size())),
              USBSIM_OK);
    ASSERT_EQ(Signature(handle_), 0x55464432u) << "\"2DFU\" before the erase";

    // Holding the model's lock keeps the restart thread from taking the hub
    // off the bus: these reads fall between the erase and the departure.
    CSimulator::Instance().WithModel([&](CSimModel&) {
        ASSERT_EQ(UsbSimSecondEraseSignature(handle_), USBSIM_OK);
        ASSERT_TRUE(OnTheBus()) << "the hub has not left yet";
        for (const auto& r : readings) {
            SCOPED_TRACE(r.what);
            EXPECT_EQ(r.read(handle_), r.beforeLeaving);
        }
    });

    ASSERT_TRUE(CSimulator::Instance().WaitIdle(10000));
    ASSERT_TRUE(OnTheBus()) << "the hub came back";
    unsigned char value = 0;
    EXPECT_EQ(UsbSimSecondReadRegister(handle_, CSecondChip::kBootStatus, &value),
              static_cast<int>(ERROR_NO_SUCH_DEVICE))
        << "the handle of the function that left stays dead";
    UsbSimSecondClose(handle_);
    handle_ = nullptr;
    ASSERT_NE(UsbSimSecondOpen(kHubPath, &handle_), USBSIM_OK) << "the function is off";
    EnableFunction();
    ASSERT_EQ(UsbSimSecondOpen(kHubPath, &handle_), USBSIM_OK);
    for (const auto& r : readings) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(r.read(handle_), r.afterReturn);
    }
}

}  // namespace
