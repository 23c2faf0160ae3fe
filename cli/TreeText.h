// The snapshot as text: one line per node, indented by depth, with the
// node's position string, type, display name and, for hubs, the device path.
#pragma once

#include <string>

#include "HalvexZRVLib.h"

std::wstring NodeTypeName(int32_t type);
std::wstring TreeText(IDeviceTree& tree);
