// A test's own hub library on a simulated line: the fixture loaded into
// UsbSim.dll, the library loaded afresh with a recording callback, and the
// library unloaded for good afterwards.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "HalvexZRVLib.h"
#include "LibraryUnload.h"
#include "UsbSimApi.h"

struct RecordedEvent {
    int32_t event;
    std::wstring path;
    DWORD thread;
};

// What the library's callback was given, in order.
class CEventLog {
public:
    static CEventLog& Instance() {
        static CEventLog log;
        return log;
    }

    // The callback registered with the library; it owns and frees the record.
    static bool __cdecl Callback(uintptr_t data, int32_t event) {
        RecordedEvent seen{event, L"", GetCurrentThreadId()};
        if (event != EVENT_MANAGER_STATE && event != EVENT_MANAGER_FINISHED && data != 0) {
            auto* record = reinterpret_cast<NotificationRecord*>(data);
            seen.path.assign(record->DevicePath, wcsnlen(record->DevicePath, kDevicePathLength));
            HeapFree(GetProcessHeap(), 0, record);
        }
        if (Instance().hook_) Instance().hook_(seen);
        Instance().Add(seen);
        return true;
    }

    void Clear() {
        std::lock_guard<std::mutex> hold(lock_);
        events_.clear();
    }
    std::vector<RecordedEvent> Events() {
        std::lock_guard<std::mutex> hold(lock_);
        return events_;
    }
    // Waits until `count` events of that code were seen; false on timeout.
    bool WaitFor(int32_t event, size_t count, DWORD timeoutMs) {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                 [&] { return CountLocked(event) >= count; });
    }
    size_t Count(int32_t event) {
        std::lock_guard<std::mutex> hold(lock_);
        return CountLocked(event);
    }
    // Runs on the library's thread before the event is recorded.
    void SetHook(void (*hook)(const RecordedEvent&)) { hook_ = hook; }

private:
    void Add(const RecordedEvent& seen) {
        std::lock_guard<std::mutex> hold(lock_);
        events_.push_back(seen);
        changed_.notify_all();
    }
    size_t CountLocked(int32_t event) const {
        size_t n = 0;
        for (const auto& e : events_) n += e.event == event ? 1 : 0;
        return n;
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<RecordedEvent> events_;
    void (*hook_)(const RecordedEvent&) = nullptr;
};

class HubLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
        sim_ = LoadLibraryW(L"UsbSim.dll");
    }

    // Loads the fixture file (under fixtures/tests) and then the library.
    void Start(const char* fixture) {
        ASSERT_NE(sim_, nullptr);
        const std::string path = std::string(ZRV_FIXTURE_DIR) + "/tests/" + fixture;
        const std::wstring wide(path.begin(), path.end());
        ASSERT_EQ(Sim<PfnUsbSimLoad>("UsbSimLoad")(wide.c_str()), USBSIM_OK) << LastSimError();
        StartLibrary();
    }
    void StartJson(const char* json) {
        ASSERT_NE(sim_, nullptr);
        ASSERT_EQ(Sim<PfnUsbSimLoadJson>("UsbSimLoadJson")(json, nullptr), USBSIM_OK)
            << LastSimError();
        StartLibrary();
    }
    void StartLibrary() {
        CEventLog::Instance().Clear();
        CEventLog::Instance().SetHook(nullptr);
        lib_ = LoadLibraryW(L"HalvexZRVLib.dll");
        ASSERT_NE(lib_, nullptr);
        ASSERT_TRUE(Lib<bool(__cdecl*)(NotificationCallback)>("RegisterNotificationCallback")(
            &CEventLog::Callback));
    }

    void TearDown() override {
        if (lib_ != nullptr) {
            EXPECT_TRUE(UnloadHubLibrary(lib_));
        }
        lib_ = nullptr;
        CEventLog::Instance().SetHook(nullptr);
    }

    template <typename F>
    static F Sim(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(sim_, name)));
    }
    template <typename F>
    F Lib(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib_, name)));
    }
    static std::wstring LastSimError() {
        wchar_t text[512] = {};
        Sim<PfnUsbSimGetLastError>("UsbSimGetLastError")(text, 512);
        return text;
    }

    IDeviceTree* Snapshot() { return Lib<IDeviceTree*(__cdecl*)()>("CreateDeviceTreeUI")(); }
    IDeviceTree* LiveTree() { return Lib<IDeviceTree*(__cdecl*)()>("CreateDeviceTree")(); }
    void DropSnapshot() { Lib<int32_t(__cdecl*)()>("FinishedUsingDeviceTreeUI")(); }
    bool WaitIdle(unsigned ms = 10000) {
        return Sim<PfnUsbSimWaitIdle>("UsbSimWaitIdle")(ms) == USBSIM_OK;
    }

    // The hub's family as the tool reads it: through a fresh snapshot; -1
    // when the snapshot has no node for the path.
    int32_t FamilyOf(const std::wstring& hubPath) {
        DropSnapshot();
        int32_t c = -1, n = -1;
        if (!Lib<bool(__cdecl*)(const wchar_t*, int32_t*, int32_t*)>("GetDeviceIndicesUI")(
                hubPath.c_str(), &c, &n)) {
            return -1;
        }
        return Lib<int32_t(__cdecl*)(int32_t, int32_t)>("GetHubFamily")(c, n);
    }

    static HMODULE sim_;
    HMODULE lib_ = nullptr;
};

inline std::wstring HubPath(const wchar_t* vidPid, const wchar_t* serial) {
    return std::wstring(L"\\\\?\\USB#") + vidPid + L"#" + serial +
           L"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
}
