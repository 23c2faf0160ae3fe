#include "TreeText.h"

#include <memory>
#include <vector>

#include "TopologyPosition.h"

std::wstring NodeTypeName(int32_t type) {
    switch (type) {
        case NODE_TYPE_HOST_CONTROLLER:
            return L"Controller";
        case NODE_TYPE_HUB:
            return L"Hub";
        case NODE_TYPE_DEVICE:
            return L"Device";
        default:
            return L"Unknown";
    }
}

std::wstring HubFamilyName(int32_t family) {
    switch (family) {
        case HUB_FAMILY_MIRAVEL:
            return L"first family";
        case HUB_FAMILY_TORVIK:
            return L"second family";
        case HUB_FAMILY_GENERIC:
            return L"other hub";
        case HUB_FAMILY_UNKNOWN:
            return L"not decided";
        default:
            return L"family " + std::to_wstring(family);
    }
}

std::wstring TreeText(IDeviceTree& tree, const HubAnswerSource& answers) {
    std::wstring out;
    const int32_t controllers = tree.GetControllerCount();
    for (int32_t c = 0; c < controllers; ++c) {
        const std::vector<std::wstring> positions = NodePositions(tree, c);
        const int32_t count = static_cast<int32_t>(positions.size());
        std::vector<int> depth(static_cast<size_t>(count), 0);
        for (int32_t n = 0; n < count; ++n) {
            if (positions[n].empty()) continue;
            std::unique_ptr<IUsbNode> node(tree.GetNode(c, n));
            if (!node) continue;
            if (n > 0) depth[n] = depth[node->GetParentIndex()] + 1;
            out += std::wstring(2 * static_cast<size_t>(depth[n]), L' ') + positions[n] + L"  " +
                   NodeTypeName(node->GetNodeType()) + L"  " + node->GetDisplayName();
            if (node->GetNodeType() == NODE_TYPE_HUB) {
                if (answers) {
                    const HubAnswers hub = answers(c, n);
                    out += L"  [" + HubFamilyName(hub.family) + L", status " +
                           std::to_wstring(hub.status) +
                           (hub.removable ? L", may be removed]" : L", do not remove]");
                }
                out += L"  ";
                out += node->GetDevicePath();
            }
            out += L"\n";
        }
    }
    return out;
}
