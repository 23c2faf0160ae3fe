#include "HubUuidReads.h"

#include "HubLibrary.h"
#include "Logger.h"

namespace {

struct ReadJob {
    HMODULE pinned;
    PfnNodeGetBytes getUuid;
    std::vector<HubUuid>* hubs;
};

void ReadAll(PfnNodeGetBytes getUuid, std::vector<HubUuid>& hubs) {
    for (HubUuid& hub : hubs) {
        hub.read = getUuid(hub.controller, hub.device, hub.bytes, kUuidLength) >= 0;
    }
}

DWORD WINAPI ReadMain(void* param) {
    auto* job = static_cast<ReadJob*>(param);
    ReadAll(job->getUuid, *job->hubs);
    FreeLibraryAndExitThread(job->pinned, 0);
}

// Sent messages are handled inside PeekMessage itself; only paint is taken off the queue.
// Returns how many paint messages were handled.
int AnswerOnce() {
    constexpr int kPaintsPerCall = 32;  // a window that never validates must not hold us here
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    int painted = 0;
    while (painted < kPaintsPerCall &&
           PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
        DispatchMessageW(&message);
        ++painted;
    }
    return painted;
}

// Waits for thread while the calling thread answers sent messages and repaints its windows.
void WaitAnswering(HANDLE thread) {
    for (;;) {
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE | QS_PAINT);
        if (woke != WAIT_OBJECT_0 + 1) break;
        // A paint state that no message clears would wake us at once again: wait a little.
        if (AnswerOnce() == 0 && WaitForSingleObject(thread, 10) == WAIT_OBJECT_0) break;
    }
    WaitForSingleObject(thread, INFINITE);
}

}  // namespace

void AnswerSentMessages() {
    AnswerOnce();
}

void ReadHubUuids(HMODULE library, std::vector<HubUuid>& hubs) {
    CLogger log(L"ReadHubUuids");
    for (HubUuid& hub : hubs) hub.read = false;
    auto getUuid = HubExport<PfnNodeGetBytes>(library, "GetUUID");
    if (!getUuid || hubs.empty()) return;
    ReadJob job = {nullptr, getUuid, &hubs};
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(getUuid)),
                            &job.pinned)) {
        log.Write(1, L"The hub library could not be held for the reads: %u",
                  static_cast<unsigned>(GetLastError()));
        ReadAll(getUuid, hubs);
        return;
    }
    HANDLE thread = CreateThread(nullptr, 0, ReadMain, &job, 0, nullptr);
    if (!thread) {
        log.Write(1, L"No thread for the reads (%u): reading here",
                  static_cast<unsigned>(GetLastError()));
        FreeLibrary(job.pinned);
        ReadAll(getUuid, hubs);
        return;
    }
    WaitAnswering(thread);
    CloseHandle(thread);
}
