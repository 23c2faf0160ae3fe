// The library's two trees: the live tree, re-enumerated on every arrival and
// removal, and the snapshot the tool reads until it drops it.
#pragma once

#include "HalvexZRVLib.h"

// Library start and end: the snapshot lock, and destroying both trees.
void TreeStateAttach();
void TreeStateDetach();

// The live tree without creating it (null when there is none).
IDeviceTree* LiveTreeIfAny();
