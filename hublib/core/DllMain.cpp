// Library start and end.
//
// Nothing here waits for a thread or takes a lock another thread may hold:
// the loader lock is held. Every thread the library starts keeps the module
// loaded while it runs, so an unload that reaches this point has no thread of
// the library left to wait for.
#include <windows.h>

#include "DeviceChangeMonitor.h"
#include "EP5Timeout.h"
#include "LibraryState.h"
#include "TreeState.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // The device queue and the locks are built by static initialisation.
            SetLibraryInstance(instance);
            LoadEP5Timeout();
            break;
        case DLL_PROCESS_DETACH:
            SetLibraryInstance(nullptr);
            // The process is ending: its other threads are gone already, maybe
            // in the middle of holding a lock; the system frees the memory.
            if (reserved != nullptr) break;
            DestroyTrees();
            ReleaseDeviceChangeMonitor();
            break;
        default:
            break;
    }
    return TRUE;
}
