#include "ProgrammerManager.h"

#include "HalvexZRVLib.h"
#include "Logger.h"

namespace {
CRITICAL_SECTION g_managerLock;
HANDLE g_managerThread = nullptr;
DWORD g_managerThreadId = 0;
constexpr DWORD kManagerQuitWaitMs = 15000;
}  // namespace

void ProgrammerManagerAttach() {
    g_managerThread = nullptr;
    g_managerThreadId = 0;
    InitializeCriticalSection(&g_managerLock);
}

void ProgrammerManagerDetach() {
    if (g_managerThread != nullptr) {
        PostThreadMessageW(g_managerThreadId, WM_QUIT, 0, 0);
        WaitForSingleObject(g_managerThread, kManagerQuitWaitMs);
        CloseHandle(g_managerThread);
        g_managerThread = nullptr;
        g_managerThreadId = 0;
    }
    DeleteCriticalSection(&g_managerLock);
}

int32_t __cdecl StartProgrammerManager(bool /*executeOnce*/) {
    // The manager thread and its batches are not part of this library build yet.
    CLogger log(L"StartProgrammerManager");
    log.Write(1, L"Programmer manager is not available");
    return RESULT_FAILURE;
}

int32_t __cdecl StopProgrammerManager() {
    return RESULT_SUCCESS;
}

bool __cdecl IsProgrammerManagerRunning() {
    EnterCriticalSection(&g_managerLock);
    const bool running =
        g_managerThread != nullptr && WaitForSingleObject(g_managerThread, 0) == WAIT_TIMEOUT;
    LeaveCriticalSection(&g_managerLock);
    return running;
}
