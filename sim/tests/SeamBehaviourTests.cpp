// The table's behaviour around the answers: handle ownership, fixture faults,
// stale handles, load errors and the time scale on Sleep.
#include <chrono>
#include <vector>

#include "SimTestSupport.h"
#include "UsbStructs.h"

using simtest::FixturePath;
using simtest::LastSimError;
using simtest::LoadFixture;
using simtest::Narrow;

namespace {

HANDLE OpenName(const HardwareApi& api, const std::wstring& name) {
    return api.CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
}

HANDLE OpenRootHub(const HardwareApi& api, const wchar_t* hcdName) {
    HANDLE hcd = OpenName(api, hcdName);
    std::vector<BYTE> name(512, 0);
    DWORD returned = 0;
    api.DeviceIoControl(hcd, IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, name.data(), 512, &returned,
                        nullptr);
    api.CloseHandle(hcd);
    return OpenName(api, L"\\\\.\\" + std::wstring(reinterpret_cast<wchar_t*>(name.data() + 4)));
}

BOOL QueryPort(const HardwareApi& api, HANDLE hub, DWORD code, ULONG port) {
    std::vector<BYTE> buffer(365, 0);
    memcpy(buffer.data(), &port, 4);
    DWORD returned = 0;
    return api.DeviceIoControl(hub, code, buffer.data(), 365, buffer.data(), 365, &returned,
                               nullptr);
}

TEST(SeamHandles, CloseHandleClosesOnlyWhatTheSimulatorOwns) {
    const HardwareApi& api = LoadFixture(L"tests/sim-basic.json");
    HANDLE real = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE sim = OpenName(api, L"\\\\.\\HCD0");
    ASSERT_NE(sim, INVALID_HANDLE_VALUE);
    EXPECT_NE(sim, real);
    EXPECT_TRUE(api.CloseHandle(real)) << "a handle of Windows goes to Windows";
    EXPECT_EQ(WaitForSingleObject(real, 0), WAIT_FAILED) << "and is really closed";
    EXPECT_TRUE(api.CloseHandle(sim));
    std::vector<BYTE> buffer(64, 0);
    DWORD returned = 0;
    EXPECT_FALSE(api.DeviceIoControl(sim, IOCTL_GET_HCD_DRIVERKEY_NAME, nullptr, 0, buffer.data(),
                                     64, &returned, nullptr))
        << "a closed handle answers nothing";
}

TEST(SeamHandles, HandlesOfAReloadedModelFail) {
    const HardwareApi& api = LoadFixture(L"tests/sim-basic.json");
    HANDLE hub = OpenRootHub(api, L"\\\\.\\HCD0");
    ASSERT_NE(hub, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(QueryPort(api, hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 1));
    ASSERT_EQ(UsbSimReset(), USBSIM_OK);
    EXPECT_FALSE(QueryPort(api, hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVICE));
    EXPECT_TRUE(api.CloseHandle(hub));
}

TEST(SeamFaults, ConnectionInfoFaultsFailThePortQuery) {
    const HardwareApi& api = LoadFixture(L"tests/sim-faults.json");
    HANDLE hub = OpenRootHub(api, L"\\\\.\\HCD0");
    const DWORD ex = IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX;
    const DWORD old = IOCTL_USB_GET_NODE_CONNECTION_INFORMATION;
    struct Step {
        ULONG port;
        DWORD code;
        bool ok;
        DWORD error;
    } steps[] = {
        // count 1: the extended query fails once, the fallback answers.
        {1, ex, false, ERROR_GEN_FAILURE},
        {1, old, true, 0},
        {1, ex, true, 0},
        // no count: every query fails, with the fixture's system error.
        {2, ex, false, ERROR_DEVICE_NOT_CONNECTED},
        {2, old, false, ERROR_DEVICE_NOT_CONNECTED},
        {2, ex, false, ERROR_DEVICE_NOT_CONNECTED},
        {3, ex, true, 0},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        SetLastError(0);
        EXPECT_EQ(QueryPort(api, hub, steps[i].code, steps[i].port) != FALSE, steps[i].ok);
        if (!steps[i].ok) {
            EXPECT_EQ(GetLastError(), steps[i].error);
        }
    }
    api.CloseHandle(hub);
}

TEST(SeamFaults, OpenFaultFailsTheHubsOpensAfterAndCount) {
    const HardwareApi& api = LoadFixture(L"tests/sim-faults.json");
    const std::wstring name =
        L"\\\\.\\USB#VID_05E3&PID_0608#LOCKED#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    bool expected[] = {true, false, false, true, true};  // after 1, count 2
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("open " + std::to_string(i));
        SetLastError(0);
        HANDLE h = OpenName(api, name);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, expected[i]);
        if (h != INVALID_HANDLE_VALUE) {
            api.CloseHandle(h);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
    }
}

TEST(SeamLoad, BrokenFixturesAreRefusedWithFileAndReason) {
    LoadFixture(L"tests/sim-basic.json");
    struct Case {
        std::wstring path;
        const char* message;
    } cases[] = {
        {FixturePath(L"tests/does-not-exist.json"), "does-not-exist.json: cannot read the fixture"},
        {FixturePath(L"tests/board-device.json"),
         "board-device.json: $: missing field \"controllers\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(UsbSimLoad(c.path.c_str()), USBSIM_ERROR_FIXTURE);
        EXPECT_NE(Narrow(LastSimError()).find(c.message), std::string::npos)
            << Narrow(LastSimError());
    }
    // The earlier model stays in place.
    HANDLE h = OpenName(*UsbSimGetHardwareApi(), L"\\\\.\\HCD2");
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    UsbSimGetHardwareApi()->CloseHandle(h);
}

class TimeScaleTest : public ::testing::Test {
protected:
    void TearDown() override { SetEnvironmentVariableW(L"ZRV_TIME_SCALE", nullptr); }

    static double SleepMs(const HardwareApi& api, DWORD ms) {
        auto start = std::chrono::steady_clock::now();
        api.Sleep(ms);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }
};

TEST_F(TimeScaleTest, SleepIsDividedByTheScale) {
    // sim-ep5.json runs at scale 100: 2000 ms cost 20.
    double scaled = SleepMs(LoadFixture(L"tests/sim-ep5.json"), 2000);
    EXPECT_GE(scaled, 15);
    EXPECT_LT(scaled, 500);
    // sim-basic.json has no scale: a pause lasts what it says.
    EXPECT_GE(SleepMs(LoadFixture(L"tests/sim-basic.json"), 60), 50);
}

TEST_F(TimeScaleTest, EnvironmentOverridesTheFixture) {
    SetEnvironmentVariableW(L"ZRV_TIME_SCALE", L"1000");
    EXPECT_LT(SleepMs(LoadFixture(L"tests/sim-basic.json"), 3000), 500);
    SetEnvironmentVariableW(L"ZRV_TIME_SCALE", L"fast");
    EXPECT_EQ(UsbSimLoad(FixturePath(L"tests/sim-basic.json").c_str()), USBSIM_ERROR_FIXTURE);
    EXPECT_NE(Narrow(LastSimError()).find("ZRV_TIME_SCALE: \"fast\" is not a positive number"),
              std::string::npos)
        << Narrow(LastSimError());
}

// Chip latency below a millisecond per request is still slept in full, and
// what the chips and the pauses cost is counted before the time scale.
TEST_F(TimeScaleTest, DeviceTimeIsSleptAndCounted) {
    ASSERT_EQ(UsbSimLoadJson(R"({ "timeScale": 1, "controllers": [ { "description": "HC",
        "ports": 1, "children": { "1": { "hub": { "family": "first", "vid": "1A2B",
        "pid": "0610", "serial": "F1", "ports": 2, "description": "Hub" } } } } ] })",
                             nullptr),
              USBSIM_OK);
    void* session = nullptr;
    ASSERT_EQ(
        UsbSimFirstOpen(L"\\\\?\\USB#VID_1A2B&PID_0610#F1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
                        &session),
        0);
    constexpr int kReads = 40;  // 251 us each: one request and one byte
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i) {
        unsigned char value = 0;
        ASSERT_EQ(UsbSimFirstAccessRegister(session, 0x523A, 1, &value, 1), 0);
    }
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(wallMs, 0.9 * kReads * 0.251) << "sub-millisecond requests add up";
    UsbSimFirstClose(session);
    UsbSimGetHardwareApi()->Sleep(30);

    UsbSimDeviceTime time = {};
    ASSERT_EQ(UsbSimGetDeviceTime(&time), USBSIM_OK);
    EXPECT_NEAR(time.chipMs, 0.25 + kReads * 0.251, 1e-6);
    EXPECT_EQ(time.chipOperations, 1u + kReads);
    EXPECT_DOUBLE_EQ(time.pauseMs, 30);
    EXPECT_EQ(time.pauses, 1u);
    EXPECT_EQ(UsbSimGetDeviceTime(nullptr), USBSIM_ERROR_ARGUMENT);

    ASSERT_EQ(UsbSimReset(), USBSIM_OK);
    ASSERT_EQ(UsbSimGetDeviceTime(&time), USBSIM_OK);
    EXPECT_EQ(time.chipMs, 0) << "a load starts the count afresh";
    EXPECT_EQ(time.pauses, 0u);
}

}  // namespace
