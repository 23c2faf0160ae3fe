#include "DeviceTree.h"

#include <winioctl.h>
#include <usbioctl.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <memory>

#include "DevNodeLookup.h"
#include "DeviceQueue.h"
#include "HardwareApi.h"
#include "UsbNames.h"

namespace {

class CTreeHold {
public:
    explicit CTreeHold(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~CTreeHold() { LeaveCriticalSection(&cs_); }
    CTreeHold(const CTreeHold&) = delete;
    CTreeHold& operator=(const CTreeHold&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

// The connection information without its pipe list, as the _EX control and
// the old one share it.
constexpr DWORD kConnectionInfoBytes = 35;
constexpr DWORD kOldConnectionInfoBytes = 365;
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION_EX) == kConnectionInfoBytes,
              "connection information without pipes");
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION) + 30 * sizeof(USB_PIPE_INFO) ==
                  kOldConnectionInfoBytes,
              "old connection information with 30 pipes");
static_assert(sizeof(USB_NODE_INFORMATION) == 76, "node information");
// A hub's answer shorter than this does not reach its descriptor's port count.
constexpr DWORD kNodeInfoPortCountEnd =
    offsetof(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bNumberOfPorts) + 1;

HANDLE OpenForWrite(const wchar_t* name) {
    return Hw().CreateFileW(name, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
}

class CDeviceHandle {
public:
    explicit CDeviceHandle(HANDLE h) : h_(h) {}
    ~CDeviceHandle() {
        if (valid()) Hw().CloseHandle(h_);
    }
    CDeviceHandle(const CDeviceHandle&) = delete;
    CDeviceHandle& operator=(const CDeviceHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

std::wstring ControllerName(int n) {
    wchar_t name[32];
    swprintf(name, 32, L"\\\\.\\HCD%d", n);
    return name;
}

bool ReadConnectionInfo(HANDLE hub, ULONG port, USB_NODE_CONNECTION_INFORMATION_EX& info) {
    DWORD returned = 0;
    memset(&info, 0, sizeof(info));
    info.ConnectionIndex = port;
    if (Hw().DeviceIoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, &info,
                             kConnectionInfoBytes, &info, kConnectionInfoBytes, &returned,
                             nullptr)) {
        return true;
    }
    BYTE old[kOldConnectionInfoBytes] = {};
    memcpy(old, &port, sizeof(port));
    if (!Hw().DeviceIoControl(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, old, sizeof(old), old,
                              sizeof(old), &returned, nullptr)) {
        return false;
    }
    USB_NODE_CONNECTION_INFORMATION fixed;
    memcpy(&fixed, old, sizeof(fixed));
    info.ConnectionIndex = fixed.ConnectionIndex;
    info.DeviceDescriptor = fixed.DeviceDescriptor;
    info.CurrentConfigurationValue = fixed.CurrentConfigurationValue;
    info.Speed = UsbFullSpeed;
    info.DeviceIsHub = fixed.DeviceIsHub;
    info.DeviceAddress = fixed.DeviceAddress;
    info.NumberOfOpenPipes = fixed.NumberOfOpenPipes;
    info.ConnectionStatus = fixed.ConnectionStatus;
    return true;
}

}  // namespace

CDeviceTree::CDeviceTree() {
    InitializeCriticalSection(&lock_);
}

CDeviceTree::~CDeviceTree() {
    DeleteCriticalSection(&lock_);
}

bool CDeviceTree::Refresh() {
    CDeviceQueueLock queueHold;
    CTreeHold hold(lock_);
    // Emptied lists keep their room for the next refresh: a list of 1.5 KB
    // nodes is large, and allocating it anew on every refresh costs.
    std::vector<std::vector<CUsbNode>> spare;
    spare.swap(controllers_);
    CDriverKeyIndex devNodes;

    int32_t opened = 0;
    for (int n = 0; n < kMaxControllers; ++n) {
        CDeviceHandle controller(OpenForWrite(ControllerName(n).c_str()));
        if (!controller.valid()) continue;
        if (spare.empty()) {
            controllers_.emplace_back();
        } else {
            controllers_.push_back(std::move(spare.back()));
            spare.pop_back();
            controllers_.back().clear();
        }
        std::wstring instanceId, description;
        const std::wstring driverKey = GetHcdDriverKeyName(controller.get());
        if (!driverKey.empty()) devNodes.Find(driverKey, instanceId, description);
        AddNode(opened, 0, 0, NODE_TYPE_HOST_CONTROLLER, instanceId, description, L"");
        ++opened;
    }
    controllerCount_ = opened;

    int32_t index = 0;
    for (int n = 0; n < kMaxControllers && index < controllerCount_; ++n) {
        CDeviceHandle controller(OpenForWrite(ControllerName(n).c_str()));
        if (!controller.valid()) continue;
        const std::wstring rootHub = GetRootHubName(controller.get());
        if (!rootHub.empty()) EnumerateHub(devNodes, index, 0, rootHub);
        ++index;
    }

    StartEnumeration();
    return true;
}

int32_t CDeviceTree::EnumerateHub(CDriverKeyIndex& devNodes, int32_t controller, int32_t parent,
                                  const std::wstring& hubName) {
    CTreeHold hold(lock_);
    std::unique_ptr<USB_NODE_INFORMATION> info(new (std::nothrow) USB_NODE_INFORMATION());
    if (!info) return -1;
    CDeviceHandle hub(OpenForWrite((L"\\\\.\\" + hubName).c_str()));
    ULONG ports = 0;
    if (hub.valid()) {
        DWORD returned = 0;
        if (Hw().DeviceIoControl(hub.get(), IOCTL_USB_GET_NODE_INFORMATION, info.get(),
                                 sizeof(*info), info.get(), sizeof(*info), &returned, nullptr) &&
            returned >= kNodeInfoPortCountEnd && info->NodeType == UsbHub) {
            ports = info->u.HubInformation.HubDescriptor.bNumberOfPorts;
        }
        EnumeratePorts(devNodes, controller, parent, hub.get(), ports);
    }
    return 1;
}

void CDeviceTree::EnumeratePorts(CDriverKeyIndex& devNodes, int32_t controller, int32_t parent,
                                 HANDLE hub, ULONG portCount) {
    CTreeHold hold(lock_);
    for (ULONG port = 1; port <= portCount; ++port) {
        EnumeratePort(devNodes, controller, parent, hub, port);
    }
}

void CDeviceTree::EnumeratePort(CDriverKeyIndex& devNodes, int32_t controller, int32_t parent,
                                HANDLE hub, ULONG port) {
    USB_NODE_CONNECTION_INFORMATION_EX info;
    if (!ReadConnectionInfo(hub, port, info)) return;

    std::wstring instanceId, description;
    if (info.ConnectionStatus != NoDeviceConnected) {
        const std::wstring driverKey = GetPortDriverKeyName(hub, port);
        if (!driverKey.empty()) devNodes.Find(driverKey, instanceId, description);
    }
    wchar_t portName[32];
    swprintf(portName, 32, L"Port%lu", static_cast<unsigned long>(port));

    const auto portNumber = static_cast<int32_t>(port);
    if (!info.DeviceIsHub) {
        AddNode(controller, parent, portNumber, NODE_TYPE_DEVICE, instanceId,
                std::wstring(portName) + L" :  " + description, L"");
        return;
    }
    const std::wstring hubName = GetExternalHubName(hub, port);
    if (hubName.empty()) return;
    const std::wstring devicePath = L"\\\\?\\" + hubName;
    const int32_t index = AddNode(controller, parent, portNumber, NODE_TYPE_HUB, instanceId,
                                  std::wstring(portName) + L" : " + description, devicePath);
    DeviceQueue().AddDevice(devicePath.c_str(),
                            static_cast<uint32_t>(devicePath.size() * sizeof(wchar_t)), controller,
                            index);
    EnumerateHub(devNodes, controller, index, hubName);
}

int32_t CDeviceTree::AddNode(int32_t controller, int32_t parent, int32_t port, int32_t type,
                             const std::wstring& instanceId, const std::wstring& displayName,
                             const std::wstring& devicePath) {
    CTreeHold hold(lock_);
    if (controller < 0 || controller >= static_cast<int32_t>(controllers_.size())) return -1;
    auto& nodes = controllers_[controller];
    if (static_cast<int32_t>(nodes.size()) >= kMaxNodes) return -1;
    CUsbNode& node = nodes.emplace_back();
    node.SetNodeType(type);
    node.SetParentIndex(parent);
    node.SetPortNumber(port);
    node.SetDeviceInstanceID(instanceId.c_str());
    node.SetDisplayName(displayName.c_str());
    node.SetDevicePath(devicePath.c_str());
    return static_cast<int32_t>(nodes.size()) - 1;
}

int32_t CDeviceTree::GetNodeCount(int32_t controller) {
    CTreeHold hold(lock_);
    if (controller < 0 || controller >= static_cast<int32_t>(controllers_.size())) return 0;
    return static_cast<int32_t>(controllers_[controller].size());
}

int32_t CDeviceTree::GetControllerCount() {
    CTreeHold hold(lock_);
    return controllerCount_;
}

IUsbNode* CDeviceTree::GetNode(int32_t controller, int32_t node) {
    CTreeHold hold(lock_);
    if (controller < 0 || controller >= static_cast<int32_t>(controllers_.size())) return nullptr;
    auto& nodes = controllers_[controller];
    if (node < 0 || node >= static_cast<int32_t>(nodes.size())) return nullptr;
    return new (std::nothrow) CUsbNode(static_cast<IUsbNode&>(nodes[node]));
}

std::wstring InstanceIdFromInterfacePath(const wchar_t* interfacePath) {
    constexpr size_t kPrefix = 4;  // "\\?\"
    constexpr size_t kMaxRest = 199;
    constexpr size_t kGuidSuffix = 39;  // "#{...}"
    if (interfacePath == nullptr) return {};
    const size_t length = wcslen(interfacePath);
    if (length < 43 || length - kPrefix > kMaxRest) return {};
    std::wstring id(interfacePath + kPrefix, length - kPrefix);
    id[3] = L'\\';
    id[21] = L'\\';
    id.resize(id.size() - kGuidSuffix);
    return id;
}

bool CDeviceTree::FindNodeIndices(const wchar_t* interfacePath, int32_t* controller,
                                  int32_t* node) {
    CTreeHold hold(lock_);
    const std::wstring id = InstanceIdFromInterfacePath(interfacePath);
    if (id.empty()) return false;
    for (size_t i = 0; i < controllers_.size(); ++i) {
        auto& nodes = controllers_[i];
        for (size_t j = 0; j < nodes.size(); ++j) {
            if (!SamePath(nodes[j].GetDeviceInstanceID(), id.c_str())) continue;
            if (controller) *controller = static_cast<int32_t>(i);
            if (node) *node = static_cast<int32_t>(j);
            return true;
        }
    }
    return false;
}

IUsbNode* CDeviceTree::FindNode(const wchar_t* interfacePath, int32_t* controller, int32_t* node) {
    CTreeHold hold(lock_);
    int32_t i = 0, j = 0;
    if (!FindNodeIndices(interfacePath, &i, &j)) return nullptr;
    if (controller) *controller = i;
    if (node) *node = j;
    return GetNode(i, j);
}

int32_t CDeviceTree::SetNodeUseCount(int32_t controller, int32_t node, int32_t count) {
    CTreeHold hold(lock_);
    if (controller >= 0 && controller < static_cast<int32_t>(controllers_.size()) && node >= 0 &&
        node < static_cast<int32_t>(controllers_[controller].size())) {
        controllers_[controller][node].SetUseCount(count);
    }
    return 0;
}

CDeviceTree* CDeviceTree::CopyOf(IDeviceTree& source) {
    auto* copy = new (std::nothrow) CDeviceTree();
    if (copy == nullptr) return nullptr;
    copy->controllerCount_ = source.GetControllerCount();
    copy->controllers_.resize(static_cast<size_t>(copy->controllerCount_));
    for (int32_t i = 0; i < copy->controllerCount_; ++i) {
        const int32_t count = source.GetNodeCount(i);
        for (int32_t j = 0; j < count; ++j) {
            std::unique_ptr<IUsbNode> node(source.GetNode(i, j));
            if (node) copy->controllers_[i].emplace_back(*node);
        }
    }
    return copy;
}
