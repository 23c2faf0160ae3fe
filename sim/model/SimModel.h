// The live model of a simulated PC: a configuration-manager devnode tree (root,
// a few system nodes, host controllers, root hubs, hubs and devices) in which
// the USB nodes also know their ports. Not thread-safe: the simulator guards it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ChipMemory.h"
#include "Faults.h"
#include "FixtureTypes.h"
#include "Position.h"

namespace usbsim {

enum class NodeKind { kSystem, kController, kRootHub, kHub, kDevice, kEp5Function };

extern const wchar_t kHubInterfaceGuid[];
extern const wchar_t kUsbDeviceInterfaceGuid[];
extern const wchar_t kEp5InterfaceGuid[];
constexpr uint16_t kEp5FunctionPid = 0x7100;

struct SimNode {
    uint32_t id = 0;
    NodeKind kind = NodeKind::kSystem;
    uint32_t parent = 0;             // 0 for the root
    std::vector<uint32_t> children;  // devnode children in enumeration order
    uint32_t port = 0;               // USB nodes: the port on the parent hub or root hub
    uint32_t controller = 0;         // USB nodes: index of the controller they hang below
    std::wstring instanceId;
    std::wstring description;
    std::wstring driverKey;  // empty: no driver
    std::wstring manufacturer;
    std::wstring symbolicName;               // hubs and root hubs: the name their parent reports
    uint32_t ports = 0;                      // hubs and root hubs: ports in the hub descriptor
    uint32_t hcd = 0;                        // controllers
    uint16_t address = 0;                    // USB address
    std::shared_ptr<const DeviceSpec> spec;  // hubs, devices, and the fifth-endpoint function
    std::vector<FaultState> faults;
    std::string portStatus;  // a portStatus fault's state at the last connection query; "" none
    uint32_t superSpeedPorts = 0;  // root hubs: the last ports, SuperSpeed companions of 1..n
    uint32_t twin = 0;             // USB 3 hubs: the other half (high-speed <-> SuperSpeed)
    bool superSpeedHalf = false;   // the SuperSpeed half of a USB 3 hub
};

// One device interface that arrived or left: what WM_DEVICECHANGE reports.
struct InterfaceEvent {
    std::wstring classGuid;  // "{f18a0e88-...}"
    std::wstring path;       // "\\?\USB#VID_...#...#{guid}"
};

// A hub that left the bus to come back: where it was and what hung below it.
struct Departure {
    uint32_t parentId = 0;
    uint32_t port = 0;
    std::shared_ptr<DeviceSpec> spec;                        // the subtree as it was when it left
    std::map<std::wstring, std::vector<FaultState>> faults;  // by upper-case instance ID
};

class CSimModel {
public:
    CSimModel();

    // Builds the model; false with `error` (JSON path and reason) for duplicate ids.
    bool Load(const FixtureSpec& fixture, std::string& error);

    double TimeScale() const { return timeScale_; }
    void SetTimeScale(double scale) { timeScale_ = scale; }
    const LatencySpec& Latency() const { return latency_; }

    uint32_t RootId() const { return rootId_; }
    const SimNode* Node(uint32_t id) const;
    SimNode* Node(uint32_t id);
    const SimNode* FindController(uint32_t hcd) const;
    // Hubs and root hubs by the name their parent reports (case-insensitive).
    const SimNode* FindHub(const std::wstring& symbolicName) const;
    const SimNode* FindInstance(const std::wstring& instanceId) const;
    // The USB node on a port of a hub or root hub; null for an empty port.
    const SimNode* PortChild(uint32_t hubId, uint32_t port) const;
    // Device interfaces of a node (hubs: USB device + hub; root hubs: hub).
    std::vector<InterfaceEvent> Interfaces(const SimNode& node) const;

    // Plugs a board into an empty port; `arrived` lists its interfaces, parents first.
    // The error names the board's JSON path or the position.
    enum class Result { kOk, kBadBoard, kBadPosition };
    Result Attach(const std::wstring& position, const DeviceSpec& board,
                  std::vector<InterfaceEvent>& arrived, std::string& error);
    // Unplugs the port's device; `left` lists interfaces, children first.
    Result Detach(const std::wstring& position, std::vector<InterfaceEvent>& left,
                  std::string& error);

    // Removes a hub or device with what hangs below it, remembering how to bring
    // it back; `left` lists interfaces, children first. Null for an unknown node.
    std::optional<Departure> Leave(uint32_t nodeId, std::vector<InterfaceEvent>& left);
    // Plugs a departed subtree back on its port (faults keep their counts);
    // false when that port is gone or taken meanwhile.
    bool Return(const Departure& departure, std::vector<InterfaceEvent>& arrived);
    // The spec of a node as it is now: its own spec with the devices that hang
    // on its ports now (fifth-endpoint functions left out).
    std::shared_ptr<DeviceSpec> CurrentSpec(uint32_t nodeId) const;

    // Shows a second-family hub's fifth-endpoint function on its internal port;
    // false (nothing changed) when the hub is gone or the function is there.
    bool EnableEp5Function(uint32_t hubId, std::vector<InterfaceEvent>& arrived);

    // The memory of the chip with this node's instance ID, created empty.
    ChipMemory& Memory(const SimNode& node);
    const ChipMemories& Memories() const { return memories_; }
    void SetMemories(ChipMemories memories) { memories_ = std::move(memories); }

    // Counts a call of `op` on a node against its faults; the fault if one fires.
    std::optional<FaultSpec> FireFault(uint32_t nodeId, const std::string& op,
                                       std::optional<uint32_t> address = std::nullopt);

private:
    uint32_t AddNode(SimNode node);
    uint32_t AddSystemNode(uint32_t parent, const wchar_t* instanceId, const wchar_t* description,
                           const wchar_t* driverKey);
    std::wstring NextUsbDriverKey();
    uint32_t AddController(uint32_t parent, const ControllerSpec& spec, uint32_t index,
                           std::string& error);
    bool AddDevice(uint32_t hubId, uint32_t port, const std::shared_ptr<const DeviceSpec>& spec,
                   std::string& error);
    void AddEp5Function(uint32_t hubId, uint32_t port);
    // A USB 3 hub's SuperSpeed half on the companion port of its high-speed
    // half's port; nothing behind a port without SuperSpeed (a USB 2 hub).
    bool AddSuperSpeedHalf(uint32_t highSpeedId, std::string& error);
    void RemoveSubtree(uint32_t id, std::vector<InterfaceEvent>* left);
    // Interfaces of a subtree, parents first.
    void CollectArrivals(uint32_t id, std::vector<InterfaceEvent>& arrived) const;
    // The hub or root hub at the position's parent; the port number comes back in `port`.
    const SimNode* ResolveParent(const Position& position, uint32_t& port,
                                 std::string& error) const;
    // The same from a position string, or null with error set.
    const SimNode* ResolvePosition(const std::wstring& position, uint32_t& port,
                                   std::string& error) const;

    std::map<uint32_t, SimNode> nodes_;
    // Upper-case instance IDs and hub names to node ids, so loading stays linear.
    std::unordered_map<std::wstring, uint32_t> byInstance_;
    std::unordered_map<std::wstring, uint32_t> hubsByName_;
    std::vector<uint32_t> controllers_;  // in position order (ascending HCD number)
    uint32_t rootId_ = 0;
    uint32_t nextDriverKey_ = 0;
    std::map<uint32_t, uint16_t> nextAddress_;  // per controller
    double timeScale_ = 1;
    LatencySpec latency_;
    ChipMemories memories_;
};

}  // namespace usbsim
