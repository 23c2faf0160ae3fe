#include "TopologyPosition.h"

#include <memory>

std::wstring ControllerPosition(int32_t controller) {
    return L"1-" + std::to_wstring(controller + 1);
}

std::wstring PortPosition(const std::wstring& parentPosition, int32_t port) {
    return parentPosition + L"-" + std::to_wstring(port);
}

std::vector<std::wstring> NodePositions(IDeviceTree& tree, int32_t controller) {
    const int32_t count = tree.GetNodeCount(controller);
    std::vector<std::wstring> positions(static_cast<size_t>(count > 0 ? count : 0));
    for (int32_t n = 0; n < count; ++n) {
        std::unique_ptr<IUsbNode> node(tree.GetNode(controller, n));
        if (!node) continue;
        if (n == 0) {
            positions[0] = ControllerPosition(controller);
            continue;
        }
        // Parents come before their ports in the list.
        const int32_t parent = node->GetParentIndex();
        const int32_t port = node->GetPortNumber();
        if (parent < 0 || parent >= n || positions[parent].empty() || port < 1) continue;
        positions[n] = PortPosition(positions[parent], port);
    }
    return positions;
}
