// Second-family firmware and the fifth endpoint end to end: the switch from
// SPI firmware to ROM (the hub leaves the bus and returns), writing and
// verifying the image, and the function that appears after the vendor
// requests.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "HardwareApi.h"
#include "NotificationWindow.h"
#include "TorvikDevice.h"
#include "TorvikTestSupport.h"

using namespace torvik_test;

extern const wchar_t kTraceLogFileName[];

namespace {

const GUID kEp5Guid = {
    0x6c2e9a14, 0x7b3d, 0x4f58, {0xa1, 0xc6, 0x2d, 0x8e, 0x5f, 0x0b, 0x9c, 0x37}};

std::unique_ptr<CTorvikDevice> Hub(uint32_t mode, uint32_t validation = VALIDATION_VERIFY) {
    auto device = std::make_unique<CTorvikDevice>(kHubPath, static_cast<uint32_t>(kHubPathLength));
    device->SetStorageMode(mode);
    device->SetValidationMethod(validation);
    return device;
}

// The old firmware in the flash, bootable.
Board SpiBoard(const char* firmwareVersion, bool cacheBit) {
    Board board;
    board.boot = "spi";
    board.firmwareVersion = firmwareVersion;
    board.cacheBit = cacheBit;
    board.flashImageHex = Hex(FirmwareImage(0x10000, 0x40));
    return board;
}

uint8_t ReadRegister(uint16_t address) {
    tagDeviceInfo info = {};
    uint8_t value = 0xEE;
    if (KX7100_USB_WUBuildDeviceInfoFromDeviceName(&info.winusb, kHubPath) != 0) return 0xEE;
    KX7100_Device_Read_XDATA_Data(&info, address, &value, 1, nullptr);
    KX7100_USB_WUDestroyDeviceInfo(&info.winusb);
    return value;
}

bool WaitForFunction(bool present) {
    for (int i = 0; i < 500; ++i) {
        if (UsbSimWaitIdle(5000) == USBSIM_OK &&
            (IsWinUSBDeviceEnumerated(kHubPath) == 1) == present)
            return true;
        Sleep(2);
    }
    return false;
}

}  // namespace

TEST(TorvikFirmware, ImageSizeAndSignature) {
    auto device = Hub(STORAGE_SPI);
    const struct {
        uint32_t size;
        bool signature;
        int32_t result;
    } cases[] = {{65534, true, RESULT_SUCCESS},
                 {131072, true, RESULT_SUCCESS},
                 {65533, true, RESULT_INVALID_DATA},
                 {131073, true, RESULT_INVALID_DATA},
                 {65535, false, RESULT_NO_VENDOR_BLOCK}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<uint8_t> image = FirmwareImage(c.size, 1);
        if (!c.signature) image[0xFFFD] = 'X';
        const uint32_t before = device->GetFirmwareImageSize();
        EXPECT_EQ(device->SetFwImage(image.data(), c.size), c.result);
        // A size refused keeps the old image; a missing signature drops it.
        EXPECT_EQ(device->GetFirmwareImageSize(), c.result == RESULT_SUCCESS        ? c.size
                                                  : c.result == RESULT_INVALID_DATA ? before
                                                                                    : 0u);
    }
    EXPECT_EQ(device->SetFwImage(nullptr, 65534), RESULT_COMPARE_FAILED);
    EXPECT_FALSE(device->SetValidationMethod(3));
    EXPECT_EQ(device->GetValidationMethod(), static_cast<uint32_t>(VALIDATION_VERIFY));
}

// Mode 2 with programming on a hub running SPI firmware: the cache bit goes
// (for firmware above 1.15), the signature is erased, the hub leaves and comes
// back in ROM; once its function is back the image is written and verified.
TEST(TorvikFirmware, UpdateThroughTheRomSwitch) {
    const struct {
        const char* version;
        uint8_t cacheAfter;
    } cases[] = {{"0x0116", 0x00}, {"0x0115", 0x02}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        ASSERT_TRUE(LoadBoard(SpiBoard(c.version, true)));
        const auto newImage = FirmwareImage(65534, 0x90);
        auto device = Hub(STORAGE_SPI);
        ASSERT_EQ(device->SetFwImage(newImage.data(), 65534), RESULT_SUCCESS);
        ASSERT_TRUE(device->SetProgrammingRequired(true));
        EXPECT_TRUE(device->rebootPending);
        EXPECT_EQ(device->GetStorageMode(), static_cast<uint32_t>(STORAGE_SPI));

        // Back in ROM without its function; the signature sector is erased.
        ASSERT_TRUE(WaitForFunction(false));
        std::vector<uint8_t> flash = ChipArea("flash");
        ASSERT_EQ(flash.size(), 131072u);
        EXPECT_EQ(flash[0xFFFA], 0xFF);
        EXPECT_EQ(flash[0xEFFF], FirmwareImage(0x10000, 0x40)[0xEFFF]) << "only the last sector";

        ASSERT_EQ(EnableFifthEndpoint(kHubPath), RESULT_SUCCESS);
        ASSERT_TRUE(WaitForFunction(true));
        EXPECT_EQ(ReadRegister(CTorvikDevice::kRegBootStatus), 0x04);
        EXPECT_EQ(ReadRegister(CTorvikDevice::kRegCacheControl), c.cacheAfter);
        EXPECT_EQ(device->EP5Arrived(), RESULT_SUCCESS);
        EXPECT_FALSE(device->rebootPending);

        EXPECT_EQ(device->ProgramDevice(), RESULT_SUCCESS);
        EXPECT_EQ(device->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
        flash = ChipArea("flash");
        EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 65534), newImage);
    }
}

TEST(TorvikFirmware, HubInRomIsNotErased) {
    Board board;
    board.flashImageHex = Hex(FirmwareImage(0x10000, 0x40));
    ASSERT_TRUE(LoadBoard(board));
    auto device = Hub(STORAGE_SPI);
    EXPECT_EQ(device->CheckTorvikBootDevice(), 1);
    const std::vector<uint8_t> flash = ChipArea("flash");
    ASSERT_EQ(flash.size(), 131072u);
    EXPECT_TRUE(device->CheckAndRebootIfTorvikRunningfromSPI());
    EXPECT_FALSE(device->rebootPending);
    ASSERT_EQ(UsbSimWaitIdle(5000), USBSIM_OK);
    EXPECT_EQ(IsWinUSBDeviceEnumerated(kHubPath), 1) << "the hub did not restart";
    EXPECT_EQ(ChipArea("flash"), flash);
}

// What the SPI path reports when the flash or the library fails.
TEST(TorvikFirmware, FlashFailures) {
    const struct {
        const char* name;
        uint32_t flashSize;
        std::string manufacturer;
        std::string faults;
        uint32_t validation;
        int32_t result;
        uint32_t status;
        std::wstring log;
    } cases[] = {
        {"no flash", 0, "ok", "[]", VALIDATION_NONE, RESULT_NO_SPI_FLASH,
         HUB_STATUS_SPI_FLASH_ERROR, L"No SPI Flash present: Device id "},
        {"unsupported flash", 131072, "unsupported", "[]", VALIDATION_VERIFY, RESULT_NO_SPI_FLASH,
         HUB_STATUS_SPI_FLASH_ERROR, L"Unsupported SPI interface/ No Flash present: Device id "},
        {"page fails", 131072, "ok", R"([{"op":"flashProgram","address":"0x8000"}])",
         VALIDATION_VERIFY, RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_FAILED,
         L"KX7100_SPI_LoadBinary() Failed: Device id "},
        {"erase fails", 131072, "ok", R"([{"op":"flashErase","address":"0x3000"}])",
         VALIDATION_NONE, RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_FAILED,
         L"Programming block to external ROM failed for "},
        {"read back differs", 131072, "ok", R"([{"op":"readBackCorrupt","address":"0x1234"}])",
         VALIDATION_VERIFY, RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_FAILED,
         L"KX7100_SPI_LoadBinary() Failed: Device id "},
        {"pass-through refused", 131072, "ok", R"([{"op":"spiPassthrough","systemError":995}])",
         VALIDATION_NONE, RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_FAILED,
         L"SpiPassThruEnterFailed Failed: Device id " + std::wstring(kHubPath) +
             L"  Windows API error Code 995 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Board board;
        board.flashSize = c.flashSize;
        board.manufacturer = c.manufacturer;
        board.faults = c.faults;
        ASSERT_TRUE(LoadBoard(board));
        const auto image = FirmwareImage(65534, 0x21);
        auto device = Hub(STORAGE_SPI, c.validation);
        ASSERT_EQ(device->SetFwImage(image.data(), 65534), RESULT_SUCCESS);
        device->programmingRequired = true;
        size_t logStart = TraceLogSince(kTraceLogFileName, 0).size();
        EXPECT_EQ(device->ProgramDevice(), c.result);
        EXPECT_EQ(device->GetHubStatus(), c.status);
        std::wstring log = TraceLogSince(kTraceLogFileName, logStart);
        EXPECT_NE(log.find(c.log), std::wstring::npos) << std::string(log.begin(), log.end());
    }
}

TEST(TorvikFirmware, VerifyAloneComparesTheFlash) {
    const auto image = FirmwareImage(65534, 0x33);
    for (bool same : {true, false}) {
        SCOPED_TRACE(same);
        Board board;
        board.flashImageHex = Hex(same ? image : FirmwareImage(65534, 0x34));
        ASSERT_TRUE(LoadBoard(board));
        auto device = Hub(STORAGE_SPI);
        ASSERT_EQ(device->SetFwImage(image.data(), 65534), RESULT_SUCCESS);
        EXPECT_EQ(device->ProgramDevice(), same ? RESULT_SUCCESS : RESULT_COMPARE_FAILED);
        EXPECT_EQ(device->GetHubStatus(),
                  static_cast<uint32_t>(same ? HUB_STATUS_VERIFIED : HUB_STATUS_VERIFY_FAILED));
    }
}

// A failed signature erase refuses programming: the mode falls back to 4.
TEST(TorvikFirmware, FailedRomSwitchResetsTheStorageMode) {
    Board board = SpiBoard("0x0116", false);
    board.faults = R"([{"op":"signatureErase"}])";
    ASSERT_TRUE(LoadBoard(board));
    auto device = Hub(STORAGE_SPI);
    size_t logStart = TraceLogSince(kTraceLogFileName, 0).size();
    EXPECT_FALSE(device->SetProgrammingRequired(true));
    EXPECT_EQ(device->GetStorageMode(), static_cast<uint32_t>(STORAGE_UNKNOWN));
    EXPECT_TRUE(device->IsProgrammingRequired());
    std::wstring log = TraceLogSince(kTraceLogFileName, logStart);
    EXPECT_NE(log.find(L"Erase SPI Signature Failed: Device id " + std::wstring(kHubPath)),
              std::wstring::npos);
    EXPECT_NE(log.find(L"Not able to jump to ROM for device " + std::wstring(kHubPath)),
              std::wstring::npos);
}

TEST(TorvikFifthEndpoint, ChildIdsThatCount) {
    const struct {
        const char* name;
        bool ep5;
        std::string children;
        int32_t enumerated;
        std::wstring log;
    } cases[] = {
        {"function present", true, "{}", 1, L""},
        {"another 710x child", false,
         R"({"2":{"device":{"vid":"3B9A","pid":"7105","serial":"x"}}})", 1, L""},
        {"no child", false, "{}", 0, L"CM_Get_Child returned error 0x"},
        {"other children only", false,
         R"({"1":{"device":{"vid":"1234","pid":"0001","serial":"a"}},
             "2":{"device":{"vid":"3B9A","pid":"7200","serial":"b"}}})",
         0, L"CM_Get_Sibling returned error 0x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Board board;
        board.ep5Enabled = c.ep5;
        board.children = c.children;
        ASSERT_TRUE(LoadBoard(board));
        size_t logStart = TraceLogSince(kTraceLogFileName, 0).size();
        EXPECT_EQ(IsWinUSBDeviceEnumerated(kHubPath), c.enumerated);
        if (!c.log.empty()) {
            EXPECT_NE(TraceLogSince(kTraceLogFileName, logStart).find(c.log), std::wstring::npos);
        }
    }
    EXPECT_EQ(IsWinUSBDeviceEnumerated(L"\\\\?\\USB#short"), 0);
}

TEST(TorvikFifthEndpoint, VendorRequestsBringTheFunction) {
    Board board;
    board.ep5Enabled = false;
    ASSERT_TRUE(LoadBoard(board));
    simtest::CNotificationWindow window(Hw(), kEp5Guid);
    EXPECT_EQ(IsWinUSBDeviceEnumerated(kHubPath), 0);
    // A hub without its function cannot be opened by the library.
    EXPECT_EQ(Hub(STORAGE_OTP)->GetOTPSize(), RESULT_OPEN_FAILED);

    ASSERT_EQ(EnableFifthEndpoint(kHubPath), RESULT_SUCCESS);
    ASSERT_TRUE(WaitForFunction(true));
    std::vector<simtest::Broadcast> seen;
    for (int i = 0; i < 500 && seen.empty(); ++i, Sleep(2)) seen = window.Take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(seen[0].path.substr(0, 26), L"\\\\?\\USB#VID_3B9A&PID_7100#");
    EXPECT_EQ(Hub(STORAGE_OTP)->GetOTPSize(), 2048);

    // Once there, the requests change nothing.
    ASSERT_EQ(EnableFifthEndpoint(kHubPath), RESULT_SUCCESS);
    ASSERT_EQ(UsbSimWaitIdle(5000), USBSIM_OK);
    Sleep(20);
    EXPECT_TRUE(window.Take().empty());

    // A hub that cannot be opened.
    EXPECT_EQ(EnableFifthEndpoint(
                  L"\\\\?\\USB#VID_3B9A&PID_7104#NONE#{f18a0e88-c30c-11d0-8815-00a0c906bed8}"),
              RESULT_DEVICE_IO_FAILED);
}

// With the function missing, RebootDeviceIfRequired sends the requests and
// marks the hub as on its way; without a storage mode it does nothing.
TEST(TorvikFifthEndpoint, RebootDeviceIfRequiredEnablesTheFunction) {
    Board board;
    board.ep5Enabled = false;
    ASSERT_TRUE(LoadBoard(board));
    auto idle = Hub(STORAGE_UNKNOWN);
    EXPECT_EQ(idle->RebootDeviceIfRequired(), RESULT_SUCCESS);
    EXPECT_FALSE(idle->rebootPending);
    ASSERT_EQ(UsbSimWaitIdle(5000), USBSIM_OK);
    EXPECT_EQ(IsWinUSBDeviceEnumerated(kHubPath), 0);

    auto device = Hub(STORAGE_OTP);
    EXPECT_EQ(device->RebootDeviceIfRequired(), RESULT_SUCCESS);
    EXPECT_TRUE(device->rebootPending);
    ASSERT_TRUE(WaitForFunction(true));
    EXPECT_EQ(device->EP5Arrived(), RESULT_SUCCESS);
    EXPECT_FALSE(device->rebootPending);
    EXPECT_EQ(device->DeviceCameBackAfterReboot(), RESULT_DEVICE_IO_FAILED);
}
