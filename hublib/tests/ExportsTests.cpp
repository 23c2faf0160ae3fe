// The library's exports on a PC without USB controllers (an empty simulated
// line, so the same holds on a PC with USB), bound by name the way the tool
// binds them.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "HalvexZRVLib.h"
#include "LibraryUnload.h"

namespace {

const char* const kExportNames[] = {"CanDeviceBeRemoved",
                                    "CreateDeviceTree",
                                    "CreateDeviceTreeUI",
                                    "DeleteDeviceTree",
                                    "DeleteDeviceTreeUI",
                                    "DumpOTP",
                                    "FinishedProcessingEvent",
                                    "FinishedUsingDeviceTreeUI",
                                    "GetDeviceIndicesUI",
                                    "GetHubFamily",
                                    "GetHubStatus",
                                    "GetProgrammingRequired",
                                    "GetStorageMode",
                                    "GetUUID",
                                    "GetValidationMethod",
                                    "IsNewDevice",
                                    "IsProgrammerManagerRunning",
                                    "IsPseudoOTPSet",
                                    "IsVendorBlockPresent",
                                    "RegisterNotificationCallback",
                                    "SetConfigurationBlock",
                                    "SetFirmwarImage",
                                    "SetNumberOfConfiguredHubs",
                                    "SetProgrammingRequired",
                                    "SetStorageMode",
                                    "SetValidationMethod",
                                    "SetVendorBlock",
                                    "StartEnumeration",
                                    "StartProgrammerManager",
                                    "StopEnumeration",
                                    "StopProgrammerManager",
                                    "WriteToRAM"};

int ThreadCount() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL ok = Thread32First(snap, &entry); ok; ok = Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snap);
    return count;
}

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Library : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryW(L"HalvexZRVLib.dll");
        ASSERT_NE(module_, nullptr) << "error " << GetLastError();
    }
    void TearDown() override { EXPECT_TRUE(UnloadHubLibrary(module_)); }
    template <typename F>
    F Bind(const char* name) {
        auto f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    HMODULE module_ = nullptr;
};

// The simulated line is loaded before any test, so its pipe thread is there
// before any thread count is taken.
class EmptyLine : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string dir = ZRV_FIXTURE_DIR;
        const std::wstring fixture =
            L"Z:" + std::wstring(dir.begin(), dir.end()) + L"/tests/empty-pc.json";
        SetEnvironmentVariableW(L"ZRV_USBSIM", fixture.c_str());
        HMODULE sim = LoadLibraryW(L"UsbSim.dll");
        ASSERT_NE(sim, nullptr);
        auto api = reinterpret_cast<const void*(__cdecl*)()>(
            reinterpret_cast<void*>(GetProcAddress(sim, "UsbSimGetHardwareApi")));
        ASSERT_NE(api, nullptr);
        ASSERT_NE(api(), nullptr) << "the empty line loads";
    }
};
const auto* const g_emptyLine = ::testing::AddGlobalTestEnvironment(new EmptyLine);

using PfnIndexInt = int32_t(__cdecl*)(int32_t, int32_t);
using PfnIndexBool = bool(__cdecl*)(int32_t, int32_t);
using PfnSetBytes = int32_t(__cdecl*)(int32_t, int32_t, const uint8_t*, uint32_t);

}  // namespace

TEST_F(Library, ExportsAllThirtyTwoNames) {
    for (const char* name : kExportNames) {
        EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
    }
}

TEST_F(Library, NoControllersOnAnEmptyLine) {
    auto createUI = Bind<IDeviceTree*(__cdecl*)()>("CreateDeviceTreeUI");
    IDeviceTree* tree = createUI();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->GetControllerCount(), 0);
    EXPECT_EQ(tree->GetNode(0, 0), nullptr);
    auto line = Bind<int32_t(__cdecl*)(wchar_t*, int32_t)>("GetSimulatedLine");
    wchar_t fixture[MAX_PATH] = {};
    EXPECT_EQ(line(fixture, MAX_PATH), 1) << "the empty simulated line";
    EXPECT_NE(std::wstring(fixture).find(L"empty-pc.json"), std::wstring::npos);
}

TEST_F(Library, PerHubExportsAnswerDefaultsForMissingNodes) {
    struct IntCase {
        const char* name;
        int32_t expected;
    };
    const IntCase intCases[] = {{"GetHubStatus", HUB_STATUS_UNKNOWN},
                                {"GetStorageMode", STORAGE_UNKNOWN},
                                {"GetValidationMethod", VALIDATION_NONE},
                                {"GetHubFamily", HUB_FAMILY_UNKNOWN}};
    const char* const boolCases[] = {"GetProgrammingRequired", "IsNewDevice", "IsPseudoOTPSet",
                                     "IsVendorBlockPresent", "CanDeviceBeRemoved"};
    const uint8_t block[4] = {1, 2, 3, 4};
    const char* const byteCases[] = {"SetConfigurationBlock", "SetFirmwarImage", "SetVendorBlock"};
    const int32_t pairs[][2] = {{0, 0}, {0, 1}, {3, 7}, {-1, -1}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(::testing::Message() << pair[0] << "," << pair[1]);
        for (const IntCase& c : intCases) {
            EXPECT_EQ(Bind<PfnIndexInt>(c.name)(pair[0], pair[1]), c.expected) << c.name;
        }
        for (const char* name : boolCases) {
            EXPECT_FALSE(Bind<PfnIndexBool>(name)(pair[0], pair[1])) << name;
        }
        for (const char* name : byteCases) {
            EXPECT_EQ(Bind<PfnSetBytes>(name)(pair[0], pair[1], block, 4), RESULT_DEVICE_NOT_FOUND)
                << name;
        }
        uint8_t uuid[16];
        EXPECT_EQ(Bind<int32_t(__cdecl*)(int32_t, int32_t, uint8_t*, uint32_t)>("GetUUID")(
                      pair[0], pair[1], uuid, 16),
                  RESULT_DEVICE_NOT_FOUND);
        EXPECT_EQ(Bind<int32_t(__cdecl*)(int32_t, int32_t, int32_t)>("SetStorageMode")(
                      pair[0], pair[1], STORAGE_OTP),
                  RESULT_DEVICE_NOT_FOUND);
        EXPECT_FALSE(Bind<bool(__cdecl*)(int32_t, int32_t, int32_t)>("SetValidationMethod")(
            pair[0], pair[1], VALIDATION_VERIFY));
        EXPECT_FALSE(Bind<bool(__cdecl*)(int32_t, int32_t, bool)>("SetProgrammingRequired")(
            pair[0], pair[1], true));
    }
}

TEST_F(Library, RegisterNotificationCallbackRefusesNull) {
    auto reg = Bind<bool(__cdecl*)(NotificationCallback)>("RegisterNotificationCallback");
    EXPECT_FALSE(reg(nullptr));
    EXPECT_TRUE(reg([](uintptr_t, int32_t) { return true; }));
    EXPECT_FALSE(reg(nullptr));
}

TEST_F(Library, FinishedProcessingEventHandlesOnlyArrivalAndRemoval) {
    auto finished = Bind<int32_t(__cdecl*)(int32_t)>("FinishedProcessingEvent");
    EXPECT_EQ(finished(2), 0);
    EXPECT_EQ(finished(3), 0);
    EXPECT_EQ(finished(1), RESULT_COMPARE_FAILED);
    EXPECT_EQ(finished(7), RESULT_COMPARE_FAILED);
    const std::string log = ReadFile("TolvaneLibLog.txt");
    EXPECT_NE(log.find("    FinishedProcessingEvent: Nothing to do for event 1\n"),
              std::string::npos);
    EXPECT_NE(log.find("    FinishedProcessingEvent: Nothing to do for event 7\n"),
              std::string::npos);
    EXPECT_EQ(log.find("Nothing to do for event 2"), std::string::npos);
}

TEST_F(Library, DebugExportsCheckTheirArguments) {
    auto dump = Bind<int32_t(__cdecl*)(const wchar_t*, int32_t, const wchar_t*)>("DumpOTP");
    auto ram =
        Bind<int32_t(__cdecl*)(const wchar_t*, int32_t, const uint8_t*, uint32_t)>("WriteToRAM");
    const wchar_t path[] =
        L"\\\\?\\USB#VID_3B9A&PID_6104#A1000001#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    const uint8_t data[3] = {1, 2, 3};
    _wremove(L"dump.bin");

    EXPECT_EQ(dump(nullptr, 10, L"dump.bin"), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(dump(path, 0, L"dump.bin"), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(dump(path, static_cast<int32_t>(wcslen(path)), L"dump.bin"), RESULT_DEVICE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesW(L"dump.bin"), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(ram(nullptr, 10, data, 3), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(ram(path, 0, data, 3), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(ram(path, 5, data, 0), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(ram(path, 5, nullptr, 3), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(ram(path, 5, data, 3), RESULT_DEVICE_NOT_FOUND);
    EXPECT_NE(ReadFile("TolvaneLibLog.txt").find("    DumpOTP: Invalid device path\n"),
              std::string::npos);
}

TEST(LibraryLifetime, LoadAndUnloadLeaveNoThreads) {
    const int before = ThreadCount();
    for (int round = 0; round < 3; ++round) {
        HMODULE module = LoadLibraryW(L"HalvexZRVLib.dll");
        ASSERT_NE(module, nullptr);
        auto createUI = reinterpret_cast<IDeviceTree*(__cdecl*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "CreateDeviceTreeUI")));
        ASSERT_NE(createUI, nullptr);
        createUI();
        auto running = reinterpret_cast<bool(__cdecl*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "IsProgrammerManagerRunning")));
        EXPECT_FALSE(running());
        // The device change monitor the first walk started keeps the library
        // loaded until it is stopped; stopped, it leaves nothing registered,
        // so the next round starts its own.
        auto stop = reinterpret_cast<void(__cdecl*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "StopEnumeration")));
        ASSERT_NE(stop, nullptr);
        stop();
        EXPECT_TRUE(FreeLibrary(module));
    }
    EXPECT_EQ(ThreadCount(), before);
    EXPECT_EQ(GetModuleHandleW(L"HalvexZRVLib.dll"), nullptr);
}
