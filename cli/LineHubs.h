// The hubs of the library's snapshot, with their positions and families.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HubLibrary.h"

struct LineHub {
    int32_t controller = -1;
    int32_t node = -1;
    std::wstring position;
    std::wstring path;
    std::wstring instanceId;
    std::wstring part;  // PartName of the hub's instance ID
    int32_t family = HUB_FAMILY_UNKNOWN;
};

// Drops the snapshot and reads every hub node of a fresh one.
std::vector<LineHub> ReadLineHubs(const HubExports& lib);

// The hub at position, or null.
const LineHub* FindByPosition(const std::vector<LineHub>& hubs, const std::wstring& position);
const LineHub* FindByPath(const std::vector<LineHub>& hubs, const std::wstring& path);

// True when some position of the snapshot holds a node that is not a hub.
bool HasNodeAt(const HubExports& lib, const std::wstring& position);
