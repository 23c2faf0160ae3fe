// Topology positions, the keys of a line's topology configuration: "1-%d" for
// a host controller (its index plus one), "%s-%d" below it (the parent's
// position and the node's port number), such as 1-1-2-3. The port number, not
// the node's place among its siblings, so a port that gives no node does not
// move the ports after it.
#pragma once

#include <string>
#include <vector>

#include "HalvexZRVLib.h"

std::wstring ControllerPosition(int32_t controller);
std::wstring PortPosition(const std::wstring& parentPosition, int32_t port);

// The positions of every node of one controller's list, by node index; empty
// for a node the tree does not deliver, whose parent has no position, or
// without a port number.
std::vector<std::wstring> NodePositions(IDeviceTree& tree, int32_t controller);
