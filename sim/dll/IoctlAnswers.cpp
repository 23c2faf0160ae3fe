// USB I/O control answers of the simulated controllers and hubs.
#include "IoctlAnswers.h"

#include <cstring>

#include "UsbStructs.h"

namespace usbsim {

namespace {

constexpr UCHAR kHubDescriptorType = 0x29;
constexpr UCHAR kHubClass = 0x09;

// Writes the head (and, when it fits, the name) of a name structure whose name
// starts at `nameOffset`; the structure's size is nameOffset + one character.
DWORD AnswerName(const std::wstring& name, size_t nameOffset, size_t actualLengthOffset, void* out,
                 DWORD outSize, DWORD& returned) {
    const size_t head = nameOffset + sizeof(WCHAR);
    if (out == nullptr || outSize < head) return ERROR_INSUFFICIENT_BUFFER;
    const size_t needed = nameOffset + (name.size() + 1) * sizeof(WCHAR);
    auto* bytes = static_cast<BYTE*>(out);
    ULONG actual = static_cast<ULONG>(needed);
    memcpy(bytes + actualLengthOffset, &actual, sizeof(actual));
    if (outSize >= needed) {
        memcpy(bytes + nameOffset, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
        returned = static_cast<DWORD>(needed);
    } else {
        memset(bytes + nameOffset, 0, sizeof(WCHAR));
        returned = static_cast<DWORD>(head);
    }
    return ERROR_SUCCESS;
}

bool ReadPort(const void* in, DWORD inSize, ULONG& port) {
    if (in == nullptr || inSize < sizeof(ULONG)) return false;
    memcpy(&port, in, sizeof(port));
    return true;
}

USB_DEVICE_DESCRIPTOR DeviceDescriptor(const SimNode& node) {
    USB_DEVICE_DESCRIPTOR d = {};
    const DeviceSpec& spec = *node.spec;
    d.bLength = sizeof(USB_DEVICE_DESCRIPTOR);
    d.bDescriptorType = USB_DEVICE_DESCRIPTOR_TYPE;
    // The high-speed half of a USB 3 hub says 2.10, as such hubs do.
    d.bcdUSB = spec.speed == UsbSpeed::kSuper  ? 0x0300
               : spec.speed != UsbSpeed::kHigh ? 0x0110
               : spec.usb3                     ? 0x0210
                                               : 0x0200;
    bool hub = node.kind == NodeKind::kHub;
    d.bDeviceClass = hub ? kHubClass : 0;
    d.bDeviceProtocol = !hub                             ? 0
                        : spec.speed == UsbSpeed::kHigh  ? 1
                        : spec.speed == UsbSpeed::kSuper ? 3
                                                         : 0;
    d.bMaxPacketSize0 = spec.speed == UsbSpeed::kLow ? 8 : 64;
    d.idVendor = spec.vid;
    d.idProduct = spec.pid;
    d.bcdDevice = spec.bcdDevice;
    d.iManufacturer = 1;
    d.iProduct = 2;
    d.iSerialNumber = spec.serial.empty() ? 0 : 3;
    d.bNumConfigurations = 1;
    return d;
}

// Every connected device has its interrupt or bulk endpoint open.
USB_PIPE_INFO InterruptPipe(const SimNode& node) {
    USB_PIPE_INFO pipe = {};
    pipe.EndpointDescriptor.bLength = sizeof(USB_ENDPOINT_DESCRIPTOR);
    pipe.EndpointDescriptor.bDescriptorType = USB_ENDPOINT_DESCRIPTOR_TYPE;
    pipe.EndpointDescriptor.bEndpointAddress = 0x81;
    pipe.EndpointDescriptor.bmAttributes = USB_ENDPOINT_TYPE_INTERRUPT;
    pipe.EndpointDescriptor.wMaxPacketSize = node.kind == NodeKind::kHub ? 1 : 8;
    pipe.EndpointDescriptor.bInterval = node.kind == NodeKind::kHub ? 12 : 10;
    return pipe;
}

// What a port shows while a "portStatus" fault holds it, as Windows' hub driver
// reports it: the connection status, whether the device descriptor was read,
// and whether the driver key (the devnode exists) and the downstream hub name
// (the hub's driver runs) can be had yet.
struct PortState {
    const char* name;
    USB_CONNECTION_STATUS status;
    bool descriptor;
    bool driverKey;
};

const PortState kPortStates[] = {
    {"enumerating", DeviceConnected, true, false},
    {"starting", DeviceConnected, true, true},
    {"failedEnumeration", DeviceFailedEnumeration, false, false},
    {"notEnoughPower", DeviceNotEnoughPower, true, false},
    {"overCurrent", DeviceCausedOvercurrent, false, false},
    {"generalFailure", DeviceGeneralFailure, false, false},
};

// Null for a port without a fault state: the device is connected and running.
const PortState* StateOf(const SimNode& child) {
    for (const auto& state : kPortStates) {
        if (child.portStatus == state.name) return &state;
    }
    return nullptr;
}

DWORD AnswerConnectionInfo(CSimModel& model, const SimNode& hub, bool extended, const void* in,
                           DWORD inSize, void* out, DWORD outSize, DWORD& returned) {
    ULONG port = 0;
    if (!ReadPort(in, inSize, port)) return ERROR_INVALID_PARAMETER;
    if (out == nullptr || outSize < sizeof(USB_NODE_CONNECTION_INFORMATION_EX)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (port == 0 || port > hub.ports) return ERROR_INVALID_PARAMETER;
    const PortState* state = nullptr;
    const SimNode* child = model.PortChild(hub.id, port);
    if (child != nullptr) {
        if (auto fault = model.FireFault(child->id, "connectionInfo")) {
            return fault->systemError.value_or(ERROR_GEN_FAILURE);
        }
        // The state holds until the next connection query, so the name
        // queries that follow it answer alike.
        auto held = model.FireFault(child->id, "portStatus");
        model.Node(child->id)->portStatus = held ? held->status : "";
        state = StateOf(*child);
    }
    // Both layouts share every field but the speed byte.
    USB_NODE_CONNECTION_INFORMATION_EX info = {};
    info.ConnectionIndex = port;
    info.ConnectionStatus = NoDeviceConnected;
    DWORD pipes = 0;
    if (child != nullptr && (state == nullptr || state->descriptor)) {
        info.DeviceDescriptor = DeviceDescriptor(*child);
        // The extended query tops out at high speed: Windows reports a SuperSpeed
        // device as UsbHighSpeed there. The old one only has a low-speed flag.
        UsbSpeed speed = child->spec->speed;
        if (extended) {
            info.Speed = static_cast<UCHAR>(speed == UsbSpeed::kSuper ? UsbSpeed::kHigh : speed);
        } else {
            info.Speed = speed == UsbSpeed::kLow ? 1 : 0;
        }
        info.DeviceIsHub = child->kind == NodeKind::kHub;
        info.DeviceAddress = child->address;
    }
    if (child != nullptr && state == nullptr) {
        info.CurrentConfigurationValue = 1;
        info.NumberOfOpenPipes = 1;
        pipes = 1;
    }
    if (child != nullptr) info.ConnectionStatus = state ? state->status : DeviceConnected;
    auto* bytes = static_cast<BYTE*>(out);
    memcpy(bytes, &info, sizeof(info));
    returned = sizeof(info);
    // The pipe list gets what fits; NumberOfOpenPipes tells how many there are.
    for (DWORD i = 0; i < pipes && returned + sizeof(USB_PIPE_INFO) <= outSize; ++i) {
        USB_PIPE_INFO pipe = InterruptPipe(*child);
        memcpy(bytes + returned, &pipe, sizeof(pipe));
        returned += sizeof(pipe);
    }
    return ERROR_SUCCESS;
}

DWORD AnswerNodeInformation(const SimNode& hub, void* out, DWORD outSize, DWORD& returned) {
    if (out == nullptr || outSize < sizeof(USB_NODE_INFORMATION)) return ERROR_INSUFFICIENT_BUFFER;
    USB_NODE_INFORMATION info = {};
    info.NodeType = UsbHub;
    USB_HUB_DESCRIPTOR& d = info.u.HubInformation.HubDescriptor;
    const UCHAR ports = static_cast<UCHAR>(hub.ports);
    const UCHAR maskBytes = static_cast<UCHAR>((ports + 8) / 8);  // bit 0 is reserved
    d.bDescriptorLength = static_cast<UCHAR>(7 + 2 * maskBytes);
    d.bDescriptorType = kHubDescriptorType;
    d.bNumberOfPorts = ports;
    d.wHubCharacteristics = 0x0009;  // per-port power switching and overcurrent
    d.bPowerOnToPowerGood = 50;      // 100 ms
    d.bHubControlCurrent = 100;
    // Every port removable (zero bits), then the power control mask all ones.
    memset(d.bRemoveAndPowerMask + maskBytes, 0xFF, maskBytes);
    info.u.HubInformation.HubIsBusPowered = FALSE;
    memcpy(out, &info, sizeof(info));
    returned = sizeof(info);
    return ERROR_SUCCESS;
}

DWORD AnswerPortName(CSimModel& model, const SimNode& hub, bool driverKey, const void* in,
                     DWORD inSize, void* out, DWORD outSize, DWORD& returned) {
    ULONG port = 0;
    if (!ReadPort(in, inSize, port)) return ERROR_INVALID_PARAMETER;
    if (out == nullptr || outSize < sizeof(USB_NODE_CONNECTION_NAME)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (port == 0 || port > hub.ports) return ERROR_INVALID_PARAMETER;
    const SimNode* child = model.PortChild(hub.id, port);
    // A port held in a fault state has no hub name, and a driver key only once
    // its devnode exists: the name comes back empty.
    const PortState* state = child != nullptr ? StateOf(*child) : nullptr;
    std::wstring name;
    if (driverKey) {
        if (child == nullptr) return ERROR_DEVICE_NOT_CONNECTED;
        if (state == nullptr || state->driverKey) name = child->driverKey;
    } else if (child != nullptr && child->kind == NodeKind::kHub && state == nullptr) {
        name = child->symbolicName;  // a port without a hub gets an empty name
    }
    memcpy(out, &port, sizeof(port));
    return AnswerName(name, offsetof(USB_NODE_CONNECTION_NAME, NodeName),
                      offsetof(USB_NODE_CONNECTION_NAME, ActualLength), out, outSize, returned);
}

}  // namespace

DWORD AnswerIoctl(CSimModel& model, uint32_t targetId, DWORD code, const void* in, DWORD inSize,
                  void* out, DWORD outSize, DWORD& returned) {
    returned = 0;
    const SimNode* target = model.Node(targetId);
    if (target == nullptr) return ERROR_NO_SUCH_DEVICE;
    if (target->kind == NodeKind::kController) {
        switch (code) {
            case IOCTL_GET_HCD_DRIVERKEY_NAME:
                return AnswerName(target->driverKey,
                                  offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName), 0, out, outSize,
                                  returned);
            case IOCTL_USB_GET_ROOT_HUB_NAME:
                return AnswerName(model.Node(target->children.front())->symbolicName,
                                  offsetof(USB_ROOT_HUB_NAME, RootHubName), 0, out, outSize,
                                  returned);
            default:
                return ERROR_INVALID_FUNCTION;
        }
    }
    switch (code) {
        case IOCTL_USB_GET_NODE_INFORMATION:
            return AnswerNodeInformation(*target, out, outSize, returned);
        case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX:
            return AnswerConnectionInfo(model, *target, true, in, inSize, out, outSize, returned);
        case IOCTL_USB_GET_NODE_CONNECTION_INFORMATION:
            return AnswerConnectionInfo(model, *target, false, in, inSize, out, outSize, returned);
        case IOCTL_USB_GET_NODE_CONNECTION_NAME:
            return AnswerPortName(model, *target, false, in, inSize, out, outSize, returned);
        case IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME:
            return AnswerPortName(model, *target, true, in, inSize, out, outSize, returned);
        default:
            return ERROR_INVALID_FUNCTION;
    }
}

}  // namespace usbsim
