// Unloading the library: at once whether or not a run is in progress, and a
// run in progress finishes, after which the module and its threads are gone.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>

#include "HalvexZRVLib.h"
#include "UsbSimApi.h"

namespace {

// One hub on root port 1 of one controller.
const char kLine[] = R"({ "timeScale": 100, "controllers": [
  { "description": "Host Controller", "ports": 2, "children": {
      "1": { "hub": { "family": "other", "vid": "1A2B", "pid": "000A", "serial": "A", "ports": 2,
                      "description": "Hub A" } } } } ] })";
const wchar_t kHubPath[] = L"\\\\?\\USB#VID_1A2B&PID_000A#A#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

// An unload that has to wait for a thread takes the full wait; one that
// waits for nothing is done in milliseconds.
constexpr ULONGLONG kQuickUnloadMs = 1000;

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

// The number of threads once it has come down to expected, or after timeout:
// the last thread of the library unloads the module on its way out.
int ThreadCountSettlingAt(int expected, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    int count = ThreadCount();
    while (count != expected && GetTickCount64() < end) {
        Sleep(5);
        count = ThreadCount();
    }
    return count;
}

template <typename F>
F Bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HANDLE g_runEnded = nullptr;
volatile LONG g_runResult = 99;

bool __cdecl OnEvent(uintptr_t data, int32_t code) {
    if (code == EVENT_MANAGER_FINISHED) {
        InterlockedExchange(&g_runResult, static_cast<LONG>(static_cast<intptr_t>(data)));
        SetEvent(g_runEnded);
    } else if (code != EVENT_MANAGER_STATE) {
        HeapFree(GetProcessHeap(), 0, reinterpret_cast<void*>(data));
    }
    return true;
}

// Unloads the library; how long the call took. The device change monitor
// the first walk started keeps the library loaded: the caller stops it first.
ULONGLONG TimedFree(HMODULE module) {
    Bind<void(__cdecl*)()>(module, "StopEnumeration")();
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(FreeLibrary(module));
    const ULONGLONG took = GetTickCount64() - start;
    std::printf("unload took %llu ms\n", static_cast<unsigned long long>(took));
    return took;
}

bool WaitUntilUnloaded(const wchar_t* name, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetModuleHandleW(name) != nullptr) {
        if (GetTickCount64() > end) return false;
        Sleep(5);
    }
    return true;
}

class Unload : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
        HMODULE sim = LoadLibraryW(L"UsbSim.dll");
        ASSERT_NE(sim, nullptr);
        auto load = Bind<PfnUsbSimLoadJson>(sim, "UsbSimLoadJson");
        ASSERT_NE(load, nullptr);
        ASSERT_EQ(load(kLine, nullptr), USBSIM_OK);
    }
    void SetUp() override {
        ResetEvent(g_runEnded);
        threadsBefore_ = ThreadCount();
    }
    int threadsBefore_ = 0;
};

}  // namespace

TEST_F(Unload, IdleLibraryUnloadsAtOnce) {
    struct Case {
        const char* name;
        bool runFirst;  // a run has come and gone before the unload
    };
    for (const Case& c : {Case{"never ran", false}, Case{"after a run", true}}) {
        SCOPED_TRACE(c.name);
        SetUp();
        HMODULE lib = LoadLibraryW(L"HalvexZRVLib.dll");
        ASSERT_NE(lib, nullptr);
        ASSERT_NE(Bind<IDeviceTree*(__cdecl*)()>(lib, "CreateDeviceTreeUI")(), nullptr);
        if (c.runFirst) {
            Bind<bool(__cdecl*)(NotificationCallback)>(lib,
                                                       "RegisterNotificationCallback")(OnEvent);
            ASSERT_EQ(Bind<int32_t(__cdecl*)(bool)>(lib, "StartProgrammerManager")(true), 0);
            ASSERT_EQ(WaitForSingleObject(g_runEnded, 10000), WAIT_OBJECT_0);
        }
        EXPECT_LT(TimedFree(lib), kQuickUnloadMs);
        EXPECT_TRUE(WaitUntilUnloaded(L"HalvexZRVLib.dll", 5000));
        EXPECT_EQ(ThreadCountSettlingAt(threadsBefore_, 5000), threadsBefore_);
    }
}

TEST_F(Unload, BatchInProgressOutlivesTheUnload) {
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HMODULE lib = LoadLibraryW(L"hublib_unload_probe.dll");
    ASSERT_NE(lib, nullptr);
    Bind<void(__cdecl*)(const wchar_t*, HANDLE, HANDLE)>(lib, "ProbeQueueHeldHub")(kHubPath,
                                                                                   entered, gate);
    Bind<bool(__cdecl*)(NotificationCallback)>(lib, "RegisterNotificationCallback")(OnEvent);
    ASSERT_EQ(Bind<int32_t(__cdecl*)(bool)>(lib, "StartProgrammerManager")(true), 0);
    ASSERT_EQ(WaitForSingleObject(entered, 10000), WAIT_OBJECT_0) << "the hub was not programmed";

    const ULONGLONG unloadMs = TimedFree(lib);
    EXPECT_LT(unloadMs, kQuickUnloadMs);
    // The run keeps the module; it ends normally and takes the module along.
    EXPECT_NE(GetModuleHandleW(L"hublib_unload_probe.dll"), nullptr);
    EXPECT_EQ(WaitForSingleObject(g_runEnded, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(gate);
    ASSERT_EQ(WaitForSingleObject(g_runEnded, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(g_runResult, 0);
    EXPECT_TRUE(WaitUntilUnloaded(L"hublib_unload_probe.dll", 10000));
    EXPECT_EQ(ThreadCountSettlingAt(threadsBefore_, 5000), threadsBefore_);
    CloseHandle(entered);
    CloseHandle(gate);
}
