// A configuration file made in the editor programs a simulated first-family
// hub through the hub library's exports, as the tool's programming run does.
#include "EditorTestFixture.h"
#include "HalvexZRVLib.h"
#include "LibraryUnload.h"
#include "UsbSimApi.h"

namespace {

using namespace editortest;

const char kOneHub[] = R"({
  "timeScale": 100,
  "controllers": [ { "description": "Standard Enhanced PCI to USB Host Controller", "ports": 2,
    "children": { "1": { "hub": { "family": "first", "vid": "3B9A", "pid": "6103",
      "serial": "E1", "description": "USB 2.0 Hub", "ports": 3,
      "chip": { "uuid": "00112233445566778899AABBCCDDEEFF" } } } } } ]
})";
const wchar_t kHubPath[] =
    L"\\\\?\\USB#VID_3B9A&PID_6103#E1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
const wchar_t kHubInstance[] = L"USB\\VID_3B9A&PID_6103\\E1";
constexpr size_t kFirstBlockOffset = 30;

bool __cdecl FreeRecord(uintptr_t data, int32_t event) {
    if (event != EVENT_MANAGER_STATE && event != EVENT_MANAGER_FINISHED && data != 0) {
        HeapFree(GetProcessHeap(), 0, reinterpret_cast<void*>(data));
    }
    return true;
}

template <typename F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

TEST_F(ConfigEditor, AFileMadeHereProgramsAFirstFamilyHub) {
    Open();
    Host().SelectPart(9);  // KX6103B
    Save(folder_ + L"hub.cfg");
    ASSERT_EQ(L"File generated successfully!", LastMessage());
    const std::vector<uint8_t> block = ReadBytes(folder_ + L"hub.cfg");
    ASSERT_GT(block.size(), 5u);

    SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
    HMODULE sim = LoadLibraryW(L"UsbSim.dll");
    ASSERT_NE(nullptr, sim);
    ASSERT_EQ(USBSIM_OK, Export<PfnUsbSimLoadJson>(sim, "UsbSimLoadJson")(kOneHub, nullptr));
    HMODULE hubs = LoadLibraryW(L"HalvexZRVLib.dll");
    ASSERT_NE(nullptr, hubs);
    Export<bool(__cdecl*)(NotificationCallback)>(hubs, "RegisterNotificationCallback")(FreeRecord);
    ASSERT_NE(nullptr, Export<IDeviceTree*(__cdecl*)()>(hubs, "CreateDeviceTreeUI")());
    int32_t c = -1, n = -1;
    ASSERT_TRUE(Export<bool(__cdecl*)(const wchar_t*, int32_t*, int32_t*)>(
        hubs, "GetDeviceIndicesUI")(kHubPath, &c, &n));

    using PerHub = int32_t(__cdecl*)(int32_t, int32_t, int32_t);
    EXPECT_EQ(RESULT_SUCCESS, Export<int32_t(__cdecl*)(int32_t, int32_t, const uint8_t*, uint32_t)>(
                                  hubs, "SetConfigurationBlock")(
                                  c, n, block.data(), static_cast<uint32_t>(block.size())));
    EXPECT_EQ(RESULT_SUCCESS, Export<PerHub>(hubs, "SetStorageMode")(c, n, STORAGE_OTP));
    EXPECT_TRUE(Export<bool(__cdecl*)(int32_t, int32_t, int32_t)>(hubs, "SetValidationMethod")(
        c, n, VALIDATION_VERIFY));
    EXPECT_TRUE(
        Export<bool(__cdecl*)(int32_t, int32_t, bool)>(hubs, "SetProgrammingRequired")(c, n, true));
    ASSERT_EQ(RESULT_SUCCESS,
              Export<int32_t(__cdecl*)(bool)>(hubs, "StartProgrammerManager")(true));
    auto running = Export<bool(__cdecl*)()>(hubs, "IsProgrammerManagerRunning");
    const ULONGLONG end = GetTickCount64() + 20000;
    while (running() && GetTickCount64() < end) Sleep(5);
    EXPECT_FALSE(running());
    EXPECT_EQ(HUB_STATUS_PROGRAMMED_VERIFIED,
              Export<int32_t(__cdecl*)(int32_t, int32_t)>(hubs, "GetHubStatus")(c, n));

    auto read = Export<PfnUsbSimReadChipMemory>(sim, "UsbSimReadChipMemory");
    std::vector<uint8_t> otp(2048);
    ASSERT_EQ(2048, read(kHubInstance, "otp", otp.data(), static_cast<int>(otp.size())));
    EXPECT_EQ(block, std::vector<uint8_t>(otp.begin() + kFirstBlockOffset,
                                          otp.begin() + kFirstBlockOffset + block.size()));

    Export<int32_t(__cdecl*)()>(hubs, "FinishedUsingDeviceTreeUI")();
    EXPECT_TRUE(UnloadHubLibrary(hubs));
}

}  // namespace
