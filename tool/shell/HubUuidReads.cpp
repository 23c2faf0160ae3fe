#include "HubUuidReads.h"

#include "HubLibrary.h"
#include "Logger.h"

void AnswerSentMessages() {
    // Sent messages are handled inside PeekMessage itself; nothing is taken off the queue.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

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

// Waits for thread while the calling thread answers the messages sent to it. It also looks at
// its queue at least every quarter second: a window whose thread has not done so for a few
// seconds is shown by the system as not responding.
void WaitAnswering(HANDLE thread) {
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, 250, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT) break;
        AnswerSentMessages();
    }
    WaitForSingleObject(thread, INFINITE);
}

}  // namespace

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
