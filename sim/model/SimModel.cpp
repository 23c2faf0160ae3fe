// Building and changing the simulated PC's devnode tree.
#include "SimModel.h"

#include <algorithm>
#include <atomic>
#include <cwchar>

#include "Text.h"

namespace usbsim {

const wchar_t kHubInterfaceGuid[] = L"{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
const wchar_t kUsbDeviceInterfaceGuid[] = L"{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const wchar_t kEp5InterfaceGuid[] = L"{6c2e9a14-7b3d-4f58-a1c6-2d8e5f0b9c37}";

namespace {

const wchar_t kUsbClassKey[] = L"{36fc9e60-c465-11cf-8056-444553540000}";

// Ids are unique for the life of the process, so a handle or devnode of an
// earlier model (or of an unplugged device) never finds a new node.
std::atomic<uint32_t> g_nextId{1};

std::wstring Format(const wchar_t* format, uint32_t a, uint32_t b = 0, uint32_t c = 0) {
    wchar_t buffer[128];
    swprintf(buffer, 128, format, a, b, c);
    return buffer;
}

std::wstring InterfacePath(const std::wstring& instanceId, const wchar_t* guid) {
    std::wstring path = L"\\\\?\\" + instanceId;
    for (size_t i = 4; i < path.size(); ++i) {
        if (path[i] == L'\\') path[i] = L'#';
    }
    return path + L"#" + guid;
}

// Windows' instance suffix for a device without a serial: parent-derived, per port.
std::wstring GeneratedSuffix(const std::wstring& parentInstance, uint32_t port) {
    return Format(L"5&%x&0&%u", Fnv1a(parentInstance), port);
}

std::wstring UsbInstanceId(uint16_t vid, uint16_t pid, const std::wstring& suffix) {
    return Format(L"USB\\VID_%04X&PID_%04X\\", vid, pid) + suffix;
}

}  // namespace

CSimModel::CSimModel() = default;

const SimNode* CSimModel::Node(uint32_t id) const {
    auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : &it->second;
}

SimNode* CSimModel::Node(uint32_t id) {
    auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : &it->second;
}

uint32_t CSimModel::AddNode(SimNode node) {
    node.id = g_nextId++;
    uint32_t id = node.id;
    uint32_t parent = node.parent;
    byInstance_.emplace(UpperAscii(node.instanceId), id);
    if (node.kind == NodeKind::kHub || node.kind == NodeKind::kRootHub) {
        hubsByName_.emplace(UpperAscii(node.symbolicName), id);
    }
    nodes_[id] = std::move(node);
    if (parent != 0) nodes_[parent].children.push_back(id);
    return id;
}

uint32_t CSimModel::AddSystemNode(uint32_t parent, const wchar_t* instanceId,
                                  const wchar_t* description, const wchar_t* driverKey) {
    SimNode node;
    node.parent = parent;
    node.instanceId = instanceId;
    node.description = description;
    node.driverKey = driverKey;
    node.manufacturer = L"(Standard system devices)";
    return AddNode(std::move(node));
}

std::wstring CSimModel::NextUsbDriverKey() {
    return std::wstring(kUsbClassKey) + Format(L"\\%04u", nextDriverKey_++);
}

bool CSimModel::Load(const FixtureSpec& fixture, std::string& error) {
    nodes_.clear();
    byInstance_.clear();
    hubsByName_.clear();
    controllers_.clear();
    nextAddress_.clear();
    nextDriverKey_ = 0;
    timeScale_ = fixture.timeScale;
    latency_ = fixture.latency;

    // A plausible PC around the USB part, so a walk has to climb back over
    // branches that hold no USB device.
    rootId_ = AddSystemNode(0, L"HTREE\\ROOT\\0", L"", L"");
    uint32_t hal = AddSystemNode(rootId_, L"ROOT\\ACPI_HAL\\0000", L"ACPI x64-based PC",
                                 L"{4d36e966-e325-11ce-bfc1-08002be10318}\\0000");
    AddSystemNode(rootId_, L"ROOT\\BASICRENDER\\0000", L"Microsoft Basic Render Driver",
                  L"{4d36e968-e325-11ce-bfc1-08002be10318}\\0001");
    uint32_t acpi = AddSystemNode(hal, L"ACPI_HAL\\PNP0C08\\0", L"Microsoft ACPI-Compliant System",
                                  L"{4d36e97d-e325-11ce-bfc1-08002be10318}\\0000");
    uint32_t pci = AddSystemNode(acpi, L"ACPI\\PNP0A08\\0", L"PCI Express Root Complex",
                                 L"{4d36e97d-e325-11ce-bfc1-08002be10318}\\0001");
    AddSystemNode(pci, L"PCI\\VEN_1234&DEV_1111&SUBSYS_00015853&REV_02\\3&267a616a&0&10",
                  L"Microsoft Basic Display Adapter",
                  L"{4d36e968-e325-11ce-bfc1-08002be10318}\\0000");

    std::vector<const ControllerSpec*> ordered;
    for (const auto& controller : fixture.controllers) ordered.push_back(&controller);
    std::stable_sort(
        ordered.begin(), ordered.end(),
        [](const ControllerSpec* a, const ControllerSpec* b) { return a->hcd < b->hcd; });
    for (size_t i = 0; i < ordered.size(); ++i) {
        uint32_t id = AddController(pci, *ordered[i], static_cast<uint32_t>(i), error);
        if (id == 0) return false;
        controllers_.push_back(id);
    }
    return true;
}

uint32_t CSimModel::AddController(uint32_t parent, const ControllerSpec& spec, uint32_t index,
                                  std::string& error) {
    SimNode controller;
    controller.kind = NodeKind::kController;
    controller.parent = parent;
    controller.controller = index;
    controller.hcd = spec.hcd;
    controller.instanceId =
        spec.instanceId.empty()
            ? Format(L"PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&%02X",
                     0xA0 + index * 8)
            : spec.instanceId;
    if (FindInstance(controller.instanceId) != nullptr) {
        error = spec.jsonPath + ".instanceId: instance ID " + Narrow(controller.instanceId) +
                " is used twice";
        return 0;
    }
    controller.description = spec.description;
    controller.manufacturer = L"Standard USB Host Controller";
    controller.driverKey = NextUsbDriverKey();
    uint32_t controllerId = AddNode(std::move(controller));

    SimNode rootHub;
    rootHub.kind = NodeKind::kRootHub;
    rootHub.parent = controllerId;
    rootHub.controller = index;
    rootHub.instanceId = Format(L"USB\\ROOT_HUB20\\4&%x&0", Fnv1a(Node(controllerId)->instanceId));
    rootHub.description = L"USB Root Hub";
    rootHub.manufacturer = L"(Standard USB Host Controller)";
    rootHub.driverKey = NextUsbDriverKey();
    rootHub.symbolicName = InterfacePath(rootHub.instanceId, kHubInterfaceGuid).substr(4);
    rootHub.ports = spec.ports + spec.superSpeedPorts;
    rootHub.superSpeedPorts = spec.superSpeedPorts;
    rootHub.address = 1;
    uint32_t rootHubId = AddNode(std::move(rootHub));
    nextAddress_[index] = 2;

    for (const auto& [port, child] : spec.children) {
        if (!AddDevice(rootHubId, port, child, error)) return 0;
    }
    return controllerId;
}

bool CSimModel::AddDevice(uint32_t hubId, uint32_t port,
                          const std::shared_ptr<const DeviceSpec>& spec, std::string& error) {
    const SimNode* hub = Node(hubId);
    SimNode node;
    node.kind = spec->isHub ? NodeKind::kHub : NodeKind::kDevice;
    node.parent = hubId;
    node.port = port;
    node.controller = hub->controller;
    node.instanceId =
        UsbInstanceId(spec->vid, spec->pid,
                      spec->serial.empty() ? GeneratedSuffix(hub->instanceId, port) : spec->serial);
    if (FindInstance(node.instanceId) != nullptr) {
        error = spec->jsonPath + ": instance ID " + Narrow(node.instanceId) +
                " is already used (two devices with the same vid, pid and serial)";
        return false;
    }
    node.description = spec->description;
    node.manufacturer = spec->isHub ? L"(Generic USB Hub)" : L"(Standard USB Host Controller)";
    node.driverKey = NextUsbDriverKey();
    node.spec = spec;
    node.faults = MakeFaultStates(spec->faults);
    uint16_t& address = nextAddress_[node.controller];
    node.address = address;
    address = address >= 127 ? 2 : address + 1;
    if (spec->isHub) {
        node.symbolicName = InterfacePath(node.instanceId, kHubInterfaceGuid).substr(4);
        node.ports = spec->ports;
        if (spec->chip.second && spec->chip.second->ep5Port) {
            // The fifth-endpoint function sits on an internal port the hub reports too.
            node.ports = std::max(node.ports, *spec->chip.second->ep5Port);
        }
    }
    uint32_t id = AddNode(std::move(node));
    if (spec->isHub && spec->usb3 && !AddSuperSpeedHalf(id, error)) return false;
    for (const auto& [childPort, child] : spec->children) {
        if (!AddDevice(id, childPort, child, error)) return false;
    }
    if (spec->chip.second && spec->chip.second->ep5Enabled) {
        AddEp5Function(id, *spec->chip.second->ep5Port);
    }
    return true;
}

bool CSimModel::AddSuperSpeedHalf(uint32_t highSpeedId, std::string& error) {
    const SimNode* half = Node(highSpeedId);
    const SimNode* parent = Node(half->parent);
    uint32_t parentId = 0, port = 0;
    if (parent->kind == NodeKind::kRootHub) {
        if (half->port <= parent->superSpeedPorts) {
            parentId = parent->id;
            port = parent->ports - parent->superSpeedPorts + half->port;
        }
    } else if (parent->twin != 0) {
        parentId = parent->twin;  // the same port of the parent's SuperSpeed half
        port = half->port;
    }
    if (parentId == 0) return true;
    auto spec = std::make_shared<DeviceSpec>();
    spec->isHub = true;
    spec->vid = half->spec->vid;
    spec->pid = half->spec->superSpeedPid.value_or(half->spec->pid);
    spec->bcdDevice = half->spec->bcdDevice;
    // Windows gives the second device with a serial it already saw on the same
    // vid and pid an instance ID made from its place.
    if (spec->pid != half->spec->pid) spec->serial = half->spec->serial;
    spec->description = L"Generic SuperSpeed USB Hub";
    spec->ports = half->spec->ports;
    spec->speed = UsbSpeed::kSuper;
    spec->jsonPath = half->spec->jsonPath + ".usb3";
    if (!AddDevice(parentId, port, spec, error)) return false;
    SimNode* superSpeed = Node(PortChild(parentId, port)->id);
    superSpeed->superSpeedHalf = true;
    superSpeed->twin = highSpeedId;
    Node(highSpeedId)->twin = superSpeed->id;
    return true;
}

void CSimModel::AddEp5Function(uint32_t hubId, uint32_t port) {
    const SimNode* hub = Node(hubId);
    auto spec = std::make_shared<DeviceSpec>();
    spec->vid = hub->spec->vid;
    spec->pid = kEp5FunctionPid;
    spec->description = L"USB Hub Vendor Function";
    spec->speed = UsbSpeed::kHigh;
    spec->jsonPath = hub->spec->jsonPath + ".chip";
    SimNode node;
    node.kind = NodeKind::kEp5Function;
    node.parent = hubId;
    node.port = port;
    node.controller = hub->controller;
    node.instanceId = UsbInstanceId(spec->vid, spec->pid, GeneratedSuffix(hub->instanceId, port));
    node.description = spec->description;
    node.manufacturer = L"WinUSB Device";
    node.driverKey = L"{88bae032-5a81-49f0-bc3d-a4ff138216d6}\\" + HexWord(nextDriverKey_++, 4);
    node.spec = spec;
    uint16_t& address = nextAddress_[node.controller];
    node.address = address;
    address = address >= 127 ? 2 : address + 1;
    AddNode(std::move(node));
}

const SimNode* CSimModel::FindController(uint32_t hcd) const {
    for (uint32_t id : controllers_) {
        const SimNode* node = Node(id);
        if (node->hcd == hcd) return node;
    }
    return nullptr;
}

const SimNode* CSimModel::FindHub(const std::wstring& symbolicName) const {
    auto it = hubsByName_.find(UpperAscii(symbolicName));
    return it == hubsByName_.end() ? nullptr : Node(it->second);
}

const SimNode* CSimModel::FindInstance(const std::wstring& instanceId) const {
    auto it = byInstance_.find(UpperAscii(instanceId));
    return it == byInstance_.end() ? nullptr : Node(it->second);
}

const SimNode* CSimModel::PortChild(uint32_t hubId, uint32_t port) const {
    const SimNode* hub = Node(hubId);
    if (hub == nullptr) return nullptr;
    for (uint32_t child : hub->children) {
        const SimNode* node = Node(child);
        if (node != nullptr && node->port == port) return node;
    }
    return nullptr;
}

std::vector<InterfaceEvent> CSimModel::Interfaces(const SimNode& node) const {
    std::vector<InterfaceEvent> list;
    auto add = [&](const wchar_t* guid) {
        list.push_back(InterfaceEvent{guid, InterfacePath(node.instanceId, guid)});
    };
    switch (node.kind) {
        case NodeKind::kRootHub:
            add(kHubInterfaceGuid);
            break;
        case NodeKind::kHub:
            add(kUsbDeviceInterfaceGuid);
            add(kHubInterfaceGuid);
            break;
        case NodeKind::kDevice:
            add(kUsbDeviceInterfaceGuid);
            break;
        case NodeKind::kEp5Function:
            add(kUsbDeviceInterfaceGuid);
            add(kEp5InterfaceGuid);
            break;
        default:
            break;
    }
    return list;
}

const SimNode* CSimModel::ResolveParent(const Position& position, uint32_t& port,
                                        std::string& error) const {
    if (position.controller >= controllers_.size()) {
        error = "there is no controller " + std::to_string(position.controller + 1);
        return nullptr;
    }
    const SimNode* controller = Node(controllers_[position.controller]);
    const SimNode* hub = Node(controller->children.front());
    for (size_t i = 0; i + 1 < position.ports.size(); ++i) {
        const SimNode* child = PortChild(hub->id, position.ports[i]);
        if (child == nullptr || child->kind != NodeKind::kHub || child->superSpeedHalf) {
            error = "no hub at port " + std::to_string(position.ports[i]) + " of " +
                    Narrow(hub->description);
            return nullptr;
        }
        hub = child;
    }
    port = position.ports.back();
    uint32_t ports = hub->kind == NodeKind::kRootHub ? hub->ports : hub->spec->ports;
    const uint32_t usb2Ports = ports - hub->superSpeedPorts;
    if (port > usb2Ports && port <= ports) {
        // Boards plug into the high-speed port; their SuperSpeed half follows.
        error = "port " + std::to_string(port) + " is the SuperSpeed companion of port " +
                std::to_string(port - usb2Ports) + " of " + Narrow(hub->description);
        return nullptr;
    }
    if (port > ports) {
        error = "port " + std::to_string(port) + " is beyond the " + std::to_string(ports) +
                " ports of " + Narrow(hub->description);
        return nullptr;
    }
    return hub;
}

const SimNode* CSimModel::ResolvePosition(const std::wstring& position, uint32_t& port,
                                          std::string& error) const {
    auto parsed = ParsePosition(position);
    if (!parsed) {
        error = "\"" + Narrow(position) + "\" is not a port position (1-<controller>-<port>...)";
        return nullptr;
    }
    return ResolveParent(*parsed, port, error);
}

CSimModel::Result CSimModel::Attach(const std::wstring& position, const DeviceSpec& board,
                                    std::vector<InterfaceEvent>& arrived, std::string& error) {
    uint32_t port = 0;
    const SimNode* hub = ResolvePosition(position, port, error);
    if (hub == nullptr) return Result::kBadPosition;
    if (PortChild(hub->id, port) != nullptr) {
        error = "port " + Narrow(position) + " is not empty";
        return Result::kBadPosition;
    }
    uint32_t hubId = hub->id;
    size_t before = nodes_.at(hubId).children.size();
    if (!AddDevice(hubId, port, std::make_shared<DeviceSpec>(board), error)) {
        // Undo whatever part of the board was built before the conflict.
        while (nodes_.at(hubId).children.size() > before) {
            RemoveSubtree(nodes_.at(hubId).children.back(), nullptr);
        }
        return Result::kBadBoard;
    }
    CollectArrivals(PortChild(hubId, port)->id, arrived);
    return Result::kOk;
}

void CSimModel::CollectArrivals(uint32_t id, std::vector<InterfaceEvent>& arrived) const {
    // Parents arrive before their children.
    std::vector<uint32_t> stack{id};
    while (!stack.empty()) {
        const SimNode* node = Node(stack.back());
        stack.pop_back();
        for (auto& event : Interfaces(*node)) arrived.push_back(event);
        if (const SimNode* twin = node->superSpeedHalf ? nullptr : Node(node->twin)) {
            for (auto& event : Interfaces(*twin)) arrived.push_back(event);
        }
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
            stack.push_back(*it);
        }
    }
}

std::shared_ptr<DeviceSpec> CSimModel::CurrentSpec(uint32_t nodeId) const {
    const SimNode* node = Node(nodeId);
    if (node == nullptr || node->spec == nullptr) return nullptr;
    auto spec = std::make_shared<DeviceSpec>(*node->spec);
    spec->children.clear();
    for (uint32_t child : node->children) {
        const SimNode* childNode = Node(child);
        if (childNode->kind != NodeKind::kHub && childNode->kind != NodeKind::kDevice) continue;
        spec->children[childNode->port] = CurrentSpec(child);
    }
    return spec;
}

std::optional<Departure> CSimModel::Leave(uint32_t nodeId, std::vector<InterfaceEvent>& left) {
    const SimNode* node = Node(nodeId);
    if (node != nullptr && node->superSpeedHalf) {
        nodeId = node->twin;  // one chip: both halves leave
        node = Node(nodeId);
    }
    if (node == nullptr || (node->kind != NodeKind::kHub && node->kind != NodeKind::kDevice)) {
        return std::nullopt;
    }
    Departure departure;
    departure.parentId = node->parent;
    departure.port = node->port;
    departure.spec = CurrentSpec(nodeId);
    // A chip that restarts comes back with its fifth-endpoint function off.
    std::vector<DeviceSpec*> specs{departure.spec.get()};
    while (!specs.empty()) {
        DeviceSpec* spec = specs.back();
        specs.pop_back();
        if (spec->chip.second) spec->chip.second->ep5Enabled = false;
        for (auto& [port, child] : spec->children) specs.push_back(child.get());
    }
    std::vector<uint32_t> stack{nodeId};
    while (!stack.empty()) {
        const SimNode* below = Node(stack.back());
        stack.pop_back();
        departure.faults[UpperAscii(below->instanceId)] = below->faults;
        stack.insert(stack.end(), below->children.begin(), below->children.end());
    }
    RemoveSubtree(nodeId, &left);
    return departure;
}

bool CSimModel::Return(const Departure& departure, std::vector<InterfaceEvent>& arrived) {
    if (Node(departure.parentId) == nullptr || PortChild(departure.parentId, departure.port)) {
        return false;
    }
    std::string error;
    if (!AddDevice(departure.parentId, departure.port, departure.spec, error)) {
        // Something with the same instance ID arrived meanwhile: undo the partial build.
        if (const SimNode* partial = PortChild(departure.parentId, departure.port)) {
            RemoveSubtree(partial->id, nullptr);
        }
        return false;
    }
    uint32_t id = PortChild(departure.parentId, departure.port)->id;
    std::vector<uint32_t> stack{id};
    while (!stack.empty()) {
        SimNode* below = Node(stack.back());
        stack.pop_back();
        auto faults = departure.faults.find(UpperAscii(below->instanceId));
        if (faults != departure.faults.end()) below->faults = faults->second;
        stack.insert(stack.end(), below->children.begin(), below->children.end());
    }
    CollectArrivals(id, arrived);
    return true;
}

bool CSimModel::EnableEp5Function(uint32_t hubId, std::vector<InterfaceEvent>& arrived) {
    const SimNode* hub = Node(hubId);
    if (hub == nullptr || hub->kind != NodeKind::kHub || !hub->spec->chip.second) return false;
    const uint32_t port = *hub->spec->chip.second->ep5Port;
    if (PortChild(hubId, port) != nullptr) return false;
    AddEp5Function(hubId, port);
    CollectArrivals(PortChild(hubId, port)->id, arrived);
    return true;
}

ChipMemory& CSimModel::Memory(const SimNode& node) {
    return memories_[UpperAscii(node.instanceId)];
}

CSimModel::Result CSimModel::Detach(const std::wstring& position, std::vector<InterfaceEvent>& left,
                                    std::string& error) {
    uint32_t port = 0;
    const SimNode* hub = ResolvePosition(position, port, error);
    if (hub == nullptr) return Result::kBadPosition;
    const SimNode* child = PortChild(hub->id, port);
    if (child == nullptr) {
        error = "nothing is attached at " + Narrow(position);
        return Result::kBadPosition;
    }
    RemoveSubtree(child->id, &left);
    return Result::kOk;
}

void CSimModel::RemoveSubtree(uint32_t id, std::vector<InterfaceEvent>* left) {
    SimNode* node = Node(id);
    if (node == nullptr) return;
    // Children leave before their parent.
    std::vector<uint32_t> children = node->children;
    for (uint32_t child : children) RemoveSubtree(child, left);
    node = Node(id);
    // A USB 3 hub leaves with its other half (whose children left as the
    // twins of this half's children).
    if (SimNode* twin = Node(node->twin)) {
        twin->twin = 0;
        node->twin = 0;
        RemoveSubtree(twin->id, left);
        node = Node(id);
    }
    if (left != nullptr) {
        for (auto& event : Interfaces(*node)) left->push_back(event);
    }
    auto unindex = [id](std::unordered_map<std::wstring, uint32_t>& index,
                        const std::wstring& key) {
        auto it = index.find(UpperAscii(key));
        if (it != index.end() && it->second == id) index.erase(it);
    };
    unindex(byInstance_, node->instanceId);
    unindex(hubsByName_, node->symbolicName);
    if (SimNode* parent = Node(node->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), id), siblings.end());
    }
    nodes_.erase(id);
}

std::optional<FaultSpec> CSimModel::FireFault(uint32_t nodeId, const std::string& op,
                                              std::optional<uint32_t> address) {
    SimNode* node = Node(nodeId);
    if (node == nullptr) return std::nullopt;
    return usbsim::FireFault(node->faults, op, address);
}

}  // namespace usbsim
