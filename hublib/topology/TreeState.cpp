#include "TreeState.h"

#include <new>

#include "DeviceQueue.h"
#include "DeviceTree.h"
#include "Win32Handles.h"

namespace {
// Both guarded by the queue's lock; the snapshot also by its own lock, which
// the tool's thread takes alone to drop it.
CDeviceTree* g_liveTree = nullptr;
CDeviceTree* g_snapshot = nullptr;
CCriticalSection g_snapshotLock;
}  // namespace

IDeviceTree* LiveTree() {
    CDeviceQueueLock hold;
    if (g_liveTree == nullptr) {
        g_liveTree = new (std::nothrow) CDeviceTree();
        if (g_liveTree == nullptr) return nullptr;
        g_liveTree->Refresh();
    }
    return g_liveTree;
}

IDeviceTree* LiveTreeIfAny() {
    CDeviceQueueLock hold;
    return g_liveTree;
}

void DeleteLiveTree() {
    CDeviceQueueLock hold;
    delete g_liveTree;
    g_liveTree = nullptr;
}

IDeviceTree* TreeSnapshot() {
    {
        CCriticalSectionGuard hold(g_snapshotLock);
        if (g_snapshot != nullptr) return g_snapshot;
    }
    // The copy reads the live tree: no refresh or delete may run meanwhile.
    CDeviceQueueLock queueHold;
    IDeviceTree* live = LiveTree();
    CCriticalSectionGuard hold(g_snapshotLock);
    if (g_snapshot == nullptr && live != nullptr) g_snapshot = CDeviceTree::CopyOf(*live);
    return g_snapshot;
}

void DropTreeSnapshot() {
    CCriticalSectionGuard hold(g_snapshotLock);
    delete g_snapshot;
    g_snapshot = nullptr;
}

// No locks: called at library end, when no thread of the library is left.
void DestroyTrees() {
    delete g_snapshot;
    g_snapshot = nullptr;
    delete g_liveTree;
    g_liveTree = nullptr;
}
