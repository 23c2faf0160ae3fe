#include "LibraryState.h"

#include <new>

namespace {

HINSTANCE g_instance = nullptr;

struct ThreadStart {
    LPTHREAD_START_ROUTINE start;
    void* parameter;
    HMODULE module;  // the reference the thread gives back, or null
};

DWORD WINAPI RunLibraryThread(LPVOID parameter) {
    const ThreadStart run = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    const DWORD exitCode = run.start(run.parameter);
    // The reference goes with the thread: once it has left this module's code
    // the module may be unloaded, by this very call when it is the last one.
    if (run.module != nullptr) FreeLibraryAndExitThread(run.module, exitCode);
    return exitCode;
}

// A reference on the module holding this code; null when that is the program
// itself (the internals linked into a test), which is never unloaded.
HMODULE ReferenceOwnModule() {
    const auto address = reinterpret_cast<LPCWSTR>(&RunLibraryThread);
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            address, &module) ||
        module == GetModuleHandleW(nullptr)) {
        return nullptr;
    }
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &module) ? module
                                                                                        : nullptr;
}

}  // namespace

HINSTANCE LibraryInstance() {
    return g_instance;
}

void SetLibraryInstance(HINSTANCE instance) {
    g_instance = instance;
}

HANDLE StartLibraryThread(LPTHREAD_START_ROUTINE start, void* parameter, DWORD* threadId) {
    auto* run = new (std::nothrow) ThreadStart{start, parameter, ReferenceOwnModule()};
    if (run == nullptr) return nullptr;
    const HMODULE module = run->module;
    HANDLE thread = CreateThread(nullptr, 0, RunLibraryThread, run, 0, threadId);
    if (thread == nullptr) {
        delete run;
        if (module != nullptr) FreeLibrary(module);
    }
    return thread;
}
