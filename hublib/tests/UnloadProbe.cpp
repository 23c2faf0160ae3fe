// The hub library with one more export: it queues a hub whose programming
// signals the test and then waits for it, so a test can unload the library
// while a batch runs.
#include <windows.h>

#include <memory>
#include <string>

#include "DeviceQueue.h"
#include "GenericHubDevice.h"

extern const wchar_t kTraceLogFileName[] = L"UnloadProbeLog.txt";

namespace {

class CHeldHub : public CGenericHubDevice {
public:
    CHeldHub(const wchar_t* path, HANDLE entered, HANDLE gate)
        : CGenericHubDevice(path, static_cast<uint32_t>(wcslen(path))),
          entered_(entered),
          gate_(gate) {}
    CHeldHub(const CHeldHub&) = default;

    uint32_t GetConfigBlockSize() override { return 16; }
    int32_t ProgramDevice() override {
        SetEvent(entered_);
        WaitForSingleObject(gate_, 20000);
        SetHubStatus(HUB_STATUS_PROGRAMMED);
        return RESULT_SUCCESS;
    }
    CDevice* Clone() override { return new (std::nothrow) CHeldHub(*this); }

private:
    HANDLE entered_;  // the test's events; they outlive the run
    HANDLE gate_;
};

}  // namespace

// Queues a hub at path, ready to be programmed; call before the first
// enumeration, so the walk only gives it its indices.
extern "C" __declspec(dllexport) void __cdecl ProbeQueueHeldHub(const wchar_t* path, HANDLE entered,
                                                                HANDLE gate) {
    auto hub = std::make_unique<CHeldHub>(path, entered, gate);
    hub->SetProgrammingRequired(true);
    DeviceQueue().Append(std::move(hub));
}
