// zelvo.dll as the driver uses it: the exports, the slot table, opening
// without and with a fixture, several objects on one hub at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "UsbSimApi.h"
#include "ZelvoApi.h"

namespace {

const wchar_t kHubPath[] =
    L"\\\\?\\USB#VID_1A2B&PID_0610#F1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

const char kFixture[] = R"({ "timeScale": 1000, "controllers": [ { "description": "HC",
  "ports": 2, "children": {
    "1": { "hub": { "family": "first", "vid": "1A2B", "pid": "0610", "serial": "F1", "ports": 4,
                    "description": "First", "chip": { "uuid": "00112233445566778899AABBCCDDEEFF" } } },
    "2": { "hub": { "family": "other", "vid": "1A2B", "pid": "0999", "serial": "O1", "ports": 4,
                    "description": "Other" } } } } ] })";

}  // namespace

// Runs first: nothing is loaded in this process yet.
TEST(ZelvoAccess, OpenWithoutAFixtureFailsWithASystemError) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", nullptr);
    ZelvoAccess* access = CreateZelvoAccess();
    ASSERT_NE(access, nullptr);
    SetLastError(0);
    const int32_t result = access->Open(kHubPath, 200);
    EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    uint8_t otp[16];
    EXPECT_EQ(access->ReadOtp(0, otp, sizeof(otp)), 0);
    EXPECT_EQ(access->RebootToDfu(), ERROR_INVALID_HANDLE);
    DestroyZelvoAccess(&access);
    EXPECT_EQ(access, nullptr);
    DestroyZelvoAccess(&access);  // null is fine
    DestroyZelvoAccess(nullptr);
}

TEST(ZelvoAccess, SlotsAndOpenRules) {
    ASSERT_EQ(UsbSimLoadJson(kFixture, nullptr), USBSIM_OK);
    ZelvoAccess* access = CreateZelvoAccess();
    ASSERT_NE(access, nullptr);
    // The unused slots answer, so the numbering of the others holds.
    EXPECT_EQ(access->Reserved5(), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(access->Reserved24(), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(access->Open(nullptr, 200), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(access->Open(
                  L"\\\\?\\USB#VID_1A2B&PID_0610#F9#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", 200),
              ERROR_FILE_NOT_FOUND);
    // Only the first maxChars characters are the path.
    std::wstring longer = std::wstring(kHubPath) + L"garbage";
    EXPECT_EQ(access->Open(longer.c_str(), static_cast<uint32_t>(wcslen(kHubPath))), 0);
    uint8_t vendor[24] = {};
    EXPECT_EQ(access->ReadOtp(6, vendor, 24), 24);
    EXPECT_EQ(std::string(vendor, vendor + 4), "VNDR");
    // A hub of another family answers no vendor request.
    EXPECT_EQ(access->Open(
                  L"\\\\?\\USB#VID_1A2B&PID_0999#O1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", 200),
              0);
    EXPECT_EQ(access->ReadOtp(6, vendor, 24), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    delete access;  // through the virtual destructor, as DestroyZelvoAccess does
}

TEST(ZelvoAccess, SeveralObjectsOnOneHub) {
    ASSERT_EQ(UsbSimLoadJson(kFixture, nullptr), USBSIM_OK);
    ZelvoAccess* a = CreateZelvoAccess();
    ZelvoAccess* b = CreateZelvoAccess();
    ASSERT_EQ(a->Open(kHubPath, 200), 0);
    ASSERT_EQ(b->Open(kHubPath, 200), 0);
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(a->WriteRam(30, data, 4), 0);
    uint8_t read[4] = {};
    EXPECT_EQ(b->ReadRam(30, read, 4), 0);
    EXPECT_EQ(std::vector<uint8_t>(read, read + 4), std::vector<uint8_t>(data, data + 4));
    DestroyZelvoAccess(&a);
    EXPECT_EQ(b->ReadRam(30, read, 4), 0) << "closing one object closed the other";
    DestroyZelvoAccess(&b);

    // Threads each with their own object, at once.
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            ZelvoAccess* access = CreateZelvoAccess();
            if (access->Open(kHubPath, 200) != 0) ++failures[t];
            for (int i = 0; i < 50; ++i) {
                uint8_t otp[2048];
                uint8_t value = static_cast<uint8_t>(t * 50 + i);
                if (access->ReadOtp(0, otp, 2048) != 2048) ++failures[t];
                if (access->AccessRegister(0x6000 + t, 0, &value, 1) != 0) ++failures[t];
            }
            DestroyZelvoAccess(&access);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

// Chip latency is slept outside the simulator's lock: two hubs erasing at once
// take the time of one erase, not two.
TEST(ZelvoAccess, LatencyIsScaledAndHubsWorkInParallel) {
    const char fixture[] = R"({ "timeScale": 10, "latency": { "chipEraseMs": 5000 },
      "controllers": [ { "description": "HC", "ports": 2, "children": {
        "1": { "hub": { "family": "first", "vid": "1A2B", "pid": "0610", "serial": "P1",
               "ports": 4, "description": "A", "chip": { "flash": { "size": 65536 } } } },
        "2": { "hub": { "family": "first", "vid": "1A2B", "pid": "0610", "serial": "P2",
               "ports": 4, "description": "B", "chip": { "flash": { "size": 65536 } } } } } } ] })";
    ASSERT_EQ(UsbSimLoadJson(fixture, nullptr), USBSIM_OK);
    const wchar_t* paths[] = {
        L"\\\\?\\USB#VID_1A2B&PID_0610#P1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
        L"\\\\?\\USB#VID_1A2B&PID_0610#P2#{f18a0e88-c30c-11d0-8815-00a0c906bed8}"};
    ULONGLONG took[2] = {};
    int results[2] = {-1, -1};
    const ULONGLONG start = GetTickCount64();
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, i] {
            ZelvoAccess* access = CreateZelvoAccess();
            const ULONGLONG begin = GetTickCount64();
            results[i] = access->Open(paths[i], 200) == 0 ? access->ChipErase(0) : -2;
            took[i] = GetTickCount64() - begin;
            DestroyZelvoAccess(&access);
        });
    }
    for (auto& thread : threads) thread.join();
    const ULONGLONG total = GetTickCount64() - start;
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_GE(took[0], 450u);  // 5000 ms at time scale 10
    EXPECT_GE(took[1], 450u);
    EXPECT_LT(total, 900u) << "the two erases were serialised";
}
