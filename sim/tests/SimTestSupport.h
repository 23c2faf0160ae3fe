// Shared helpers of the simulator's tests: fixture paths, loading, the table.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "HardwareApi.h"
#include "UsbSimApi.h"

namespace simtest {

// Device interface class of USB hubs.
const GUID kHubGuid = {
    0xf18a0e88, 0xc30c, 0x11d0, {0x88, 0x15, 0x00, 0xa0, 0xc9, 0x06, 0xbe, 0xd8}};

// Windows path of a file under fixtures/ (the Wine drive Z: maps to /).
inline std::wstring FixturePath(const std::wstring& name) {
    std::string dir = ZRV_FIXTURE_DIR;
    return L"Z:" + std::wstring(dir.begin(), dir.end()) + L"/" + name;
}

inline std::wstring LastSimError() {
    wchar_t text[1024];
    UsbSimGetLastError(text, 1024);
    return text;
}

inline const HardwareApi& LoadFixture(const std::wstring& name) {
    int result = UsbSimLoad(FixturePath(name).c_str());
    EXPECT_EQ(result, USBSIM_OK) << std::string(LastSimError().begin(), LastSimError().end());
    const HardwareApi* api = UsbSimGetHardwareApi();
    EXPECT_NE(api, nullptr);
    return *api;
}

// Hot plug returns before its notifications are delivered: wait for them.
inline void WaitDelivered() {
    ASSERT_EQ(UsbSimWaitIdle(10000), USBSIM_OK) << "notifications still under way";
}

inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

}  // namespace simtest
