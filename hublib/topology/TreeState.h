// The library's two trees: the live tree, re-enumerated on every arrival and
// removal, and the snapshot the tool reads until it drops it.
//
// The live tree is created, refreshed, copied and destroyed only under the
// device queue's lock (taken before the tree's own lock), so a pointer to it
// stays good while its user holds that lock. The snapshot lock comes after
// the queue's lock.
#pragma once

#include "HalvexZRVLib.h"

// The live tree, created and enumerated on the first call; null only when it
// cannot be had.
IDeviceTree* LiveTree();
// The live tree without creating it (null when there is none).
IDeviceTree* LiveTreeIfAny();
void DeleteLiveTree();

// The snapshot, copied from the live tree when there is none.
IDeviceTree* TreeSnapshot();
void DropTreeSnapshot();

// Library end: destroys both trees (no other thread of the library is left).
void DestroyTrees();
