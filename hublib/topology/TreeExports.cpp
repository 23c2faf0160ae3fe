// Exports that hand out and drop the live tree and its snapshot.
#include "TreeState.h"

IDeviceTree* __cdecl CreateDeviceTree() {
    return LiveTree();
}

IDeviceTree* __cdecl CreateDeviceTreeUI() {
    return TreeSnapshot();
}

void __cdecl DeleteDeviceTree() {
    DeleteLiveTree();
}

void __cdecl DeleteDeviceTreeUI() {
    DropTreeSnapshot();
}

int32_t __cdecl FinishedUsingDeviceTreeUI() {
    DropTreeSnapshot();
    return 0;
}

// Makes the snapshot when there is none, as the per-hub exports do, so the pair
// found is one those exports resolve.
bool __cdecl GetDeviceIndicesUI(const wchar_t* interfacePath, int32_t* controller, int32_t* node) {
    IDeviceTree* snapshot = TreeSnapshot();
    return snapshot != nullptr && snapshot->FindNodeIndices(interfacePath, controller, node);
}
