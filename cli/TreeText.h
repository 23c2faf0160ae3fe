// The snapshot as text: one line per node, indented by depth, with the
// node's position string, type, display name and, for hubs, what the library
// decided about the hub (when asked to show it) and the device path.
#pragma once

#include <functional>
#include <string>

#include "HalvexZRVLib.h"

// A hub's family code, status and whether it may be unplugged now, as the per-hub exports
// answer them.
struct HubAnswers {
    int32_t family;
    int32_t status;
    bool removable;
};
using HubAnswerSource = std::function<HubAnswers(int32_t controller, int32_t node)>;

std::wstring NodeTypeName(int32_t type);
std::wstring HubFamilyName(int32_t family);
// Without a source, hub lines carry no family, status or removal answer.
std::wstring TreeText(IDeviceTree& tree, const HubAnswerSource& answers = nullptr);
