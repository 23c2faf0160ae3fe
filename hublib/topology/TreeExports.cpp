// Exports that hand out and drop the live tree and its snapshot.
#include <windows.h>

#include "DeviceTree.h"
#include "TreeState.h"

namespace {
CDeviceTree* g_liveTree = nullptr;
CDeviceTree* g_snapshot = nullptr;
CRITICAL_SECTION g_snapshotLock;

void DropSnapshot() {
    EnterCriticalSection(&g_snapshotLock);
    delete g_snapshot;
    g_snapshot = nullptr;
    LeaveCriticalSection(&g_snapshotLock);
}
}  // namespace

void TreeStateAttach() {
    InitializeCriticalSection(&g_snapshotLock);
}

void TreeStateDetach() {
    DropSnapshot();
    delete g_liveTree;
    g_liveTree = nullptr;
    DeleteCriticalSection(&g_snapshotLock);
}

IDeviceTree* LiveTreeIfAny() {
    return g_liveTree;
}

// The first call happens before any other thread of the library exists.
IDeviceTree* __cdecl CreateDeviceTree() {
    if (g_liveTree == nullptr) {
        g_liveTree = new (std::nothrow) CDeviceTree();
        if (g_liveTree == nullptr) return nullptr;
        g_liveTree->Refresh();
    }
    return g_liveTree;
}

IDeviceTree* __cdecl CreateDeviceTreeUI() {
    IDeviceTree* live = CreateDeviceTree();
    EnterCriticalSection(&g_snapshotLock);
    if (g_snapshot == nullptr && live != nullptr) g_snapshot = CDeviceTree::CopyOf(*live);
    IDeviceTree* snapshot = g_snapshot;
    LeaveCriticalSection(&g_snapshotLock);
    return snapshot;
}

void __cdecl DeleteDeviceTree() {
    delete g_liveTree;
    g_liveTree = nullptr;
}

void __cdecl DeleteDeviceTreeUI() {
    DropSnapshot();
}

int32_t __cdecl FinishedUsingDeviceTreeUI() {
    DropSnapshot();
    return 0;
}

// Makes the snapshot when there is none, as the per-hub exports do, so the pair
// found is one those exports resolve.
bool __cdecl GetDeviceIndicesUI(const wchar_t* interfacePath, int32_t* controller, int32_t* node) {
    IDeviceTree* snapshot = CreateDeviceTreeUI();
    return snapshot != nullptr && snapshot->FindNodeIndices(interfacePath, controller, node);
}
