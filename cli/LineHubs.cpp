#include "LineHubs.h"

#include <memory>

#include "HubText.h"
#include "TopologyPosition.h"

std::vector<LineHub> ReadLineHubs(const HubExports& lib) {
    std::vector<LineHub> hubs;
    lib.FinishedUsingDeviceTreeUI();
    IDeviceTree* tree = lib.CreateDeviceTreeUI();
    if (tree == nullptr) return hubs;
    for (int32_t c = 0; c < tree->GetControllerCount(); ++c) {
        const std::vector<std::wstring> positions = NodePositions(*tree, c);
        for (int32_t n = 1; n < static_cast<int32_t>(positions.size()); ++n) {
            std::unique_ptr<IUsbNode> node(tree->GetNode(c, n));
            if (!node || node->GetNodeType() != NODE_TYPE_HUB || positions[n].empty()) continue;
            LineHub hub;
            hub.controller = c;
            hub.node = n;
            hub.position = positions[n];
            hub.path = node->GetDevicePath() ? node->GetDevicePath() : L"";
            hub.instanceId = node->GetDeviceInstanceID() ? node->GetDeviceInstanceID() : L"";
            hub.part = PartName(hub.instanceId);
            hub.family = lib.GetHubFamily(c, n);
            hubs.push_back(hub);
        }
    }
    return hubs;
}

const LineHub* FindByPosition(const std::vector<LineHub>& hubs, const std::wstring& position) {
    for (const LineHub& hub : hubs) {
        if (hub.position == position) return &hub;
    }
    return nullptr;
}

const LineHub* FindByPath(const std::vector<LineHub>& hubs, const std::wstring& path) {
    for (const LineHub& hub : hubs) {
        if (_wcsicmp(hub.path.c_str(), path.c_str()) == 0) return &hub;
    }
    return nullptr;
}

bool HasNodeAt(const HubExports& lib, const std::wstring& position) {
    IDeviceTree* tree = lib.CreateDeviceTreeUI();
    if (tree == nullptr) return false;
    for (int32_t c = 0; c < tree->GetControllerCount(); ++c) {
        for (const std::wstring& p : NodePositions(*tree, c)) {
            if (p == position) return true;
        }
    }
    return false;
}
