// Library start and end.
#include <windows.h>

#include "EP5Timeout.h"
#include "LibraryState.h"
#include "ProgrammerManager.h"
#include "TreeState.h"

namespace {
HINSTANCE g_instance = nullptr;
}

HINSTANCE LibraryInstance() {
    return g_instance;
}
void SetLibraryInstance(HINSTANCE instance) {
    g_instance = instance;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // The device queue is already built by static initialisation.
            SetLibraryInstance(instance);
            ProgrammerManagerAttach();
            TreeStateAttach();
            LoadEP5Timeout();
            break;
        case DLL_PROCESS_DETACH:
            SetLibraryInstance(nullptr);
            ProgrammerManagerDetach();
            TreeStateDetach();
            break;
        default:
            break;
    }
    return TRUE;
}
