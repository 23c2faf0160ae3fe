#include "TreeText.h"

#include <memory>
#include <vector>

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

std::wstring TreeText(IDeviceTree& tree) {
    std::wstring out;
    const int32_t controllers = tree.GetControllerCount();
    for (int32_t c = 0; c < controllers; ++c) {
        const int32_t count = tree.GetNodeCount(c);
        std::vector<std::wstring> positions(static_cast<size_t>(count));
        std::vector<int> depth(static_cast<size_t>(count), 0);
        std::vector<int> children(static_cast<size_t>(count), 0);
        for (int32_t n = 0; n < count; ++n) {
            std::unique_ptr<IUsbNode> node(tree.GetNode(c, n));
            if (!node) continue;
            if (n == 0) {
                positions[0] = L"1-" + std::to_wstring(c + 1);
            } else {
                const int32_t parent = node->GetParentIndex();
                if (parent < 0 || parent >= n) continue;
                positions[n] = positions[parent] + L"-" + std::to_wstring(++children[parent]);
                depth[n] = depth[parent] + 1;
            }
            out += std::wstring(2 * static_cast<size_t>(depth[n]), L' ') + positions[n] + L"  " +
                   NodeTypeName(node->GetNodeType()) + L"  " + node->GetDisplayName();
            if (node->GetNodeType() == NODE_TYPE_HUB) {
                out += L"  ";
                out += node->GetDevicePath();
            }
            out += L"\n";
        }
    }
    return out;
}
