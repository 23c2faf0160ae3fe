// KX7100API.dll against the simulated fixture: opening a hub's vendor
// function, and the statuses the driver relies on.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "KX7100API.h"
#include "UsbSimApi.h"

namespace {

const wchar_t kHubPath[] =
    L"\\\\?\\USB#VID_3B9A&PID_7104#K1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

}  // namespace

// Runs first, before any fixture is loaded in this process.
TEST(KX7100Api, WithoutAFixtureNothingOpens) {
    tagWinusbDevice device;
    memset(&device, 0xEE, sizeof(device));
    EXPECT_EQ(KX7100_USB_WUBuildDeviceInfoFromDeviceName(&device, kHubPath), -1);
    uint32_t code = 0;
    EXPECT_EQ(KX7100_Get_System_ErrorCode(&code), KX_STATUS_SUCCESS);
    EXPECT_NE(code, 0u);
    tagDeviceInfo info = {};
    uint8_t byte = 0;
    EXPECT_EQ(KX7100_Device_Read_XDATA_Data(&info, 0x080A, &byte, 1, nullptr),
              KX_STATUS_DEVICE_NOT_OPEN);
    EXPECT_EQ(KX7100_SPI_SPIPassthruEnterExit(&info, 1), 0);
    EXPECT_EQ(offsetof(tagDeviceInfo, winusb), 0u);
    EXPECT_EQ(offsetof(tagWinusbDevice, deviceHandle), 0u);
}
