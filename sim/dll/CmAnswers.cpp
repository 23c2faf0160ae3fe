// Configuration-manager answers over the simulated devnode tree.
#include "CmAnswers.h"

#include <algorithm>
#include <cstring>

#include "Text.h"

namespace usbsim {

namespace {

std::wstring HardwareIds(const SimNode& node) {
    if (!node.spec) return node.instanceId.substr(0, node.instanceId.rfind(L'\\')) + L'\0';
    const DeviceSpec& spec = *node.spec;
    std::wstring id = L"USB\\VID_" + HexWord(spec.vid, 4) + L"&PID_" + HexWord(spec.pid, 4);
    return id + L"&REV_" + HexWord(spec.bcdDevice, 4) + L'\0' + id + L'\0';
}

}  // namespace

CONFIGRET CmLocateDevNode(const CSimModel& model, PDEVINST devInst, const wchar_t* deviceId,
                          ULONG flags) {
    (void)flags;
    if (devInst == nullptr) return CR_INVALID_POINTER;
    *devInst = 0;
    if (deviceId == nullptr || *deviceId == L'\0') {
        if (model.RootId() == 0) return CR_NO_SUCH_DEVNODE;  // nothing loaded
        *devInst = model.RootId();
        return CR_SUCCESS;
    }
    if (wcslen(deviceId) >= MAX_DEVICE_ID_LEN) return CR_INVALID_DEVICE_ID;
    const SimNode* node = model.FindInstance(deviceId);
    if (node == nullptr) return CR_NO_SUCH_DEVNODE;
    *devInst = node->id;
    return CR_SUCCESS;
}

CONFIGRET CmGetChild(const CSimModel& model, PDEVINST child, DEVINST devInst, ULONG flags) {
    (void)flags;
    if (child == nullptr) return CR_INVALID_POINTER;
    *child = 0;
    const SimNode* node = model.Node(devInst);
    if (node == nullptr) return CR_INVALID_DEVNODE;
    if (node->children.empty()) return CR_NO_SUCH_DEVNODE;
    *child = node->children.front();
    return CR_SUCCESS;
}

CONFIGRET CmGetSibling(const CSimModel& model, PDEVINST sibling, DEVINST devInst, ULONG flags) {
    (void)flags;
    if (sibling == nullptr) return CR_INVALID_POINTER;
    *sibling = 0;
    const SimNode* node = model.Node(devInst);
    if (node == nullptr) return CR_INVALID_DEVNODE;
    const SimNode* parent = model.Node(node->parent);
    if (parent == nullptr) return CR_NO_SUCH_DEVNODE;
    auto it = std::find(parent->children.begin(), parent->children.end(), node->id);
    if (it == parent->children.end() || ++it == parent->children.end()) return CR_NO_SUCH_DEVNODE;
    *sibling = *it;
    return CR_SUCCESS;
}

CONFIGRET CmGetParent(const CSimModel& model, PDEVINST parent, DEVINST devInst, ULONG flags) {
    (void)flags;
    if (parent == nullptr) return CR_INVALID_POINTER;
    *parent = 0;
    const SimNode* node = model.Node(devInst);
    if (node == nullptr) return CR_INVALID_DEVNODE;
    if (node->parent == 0) return CR_NO_SUCH_DEVNODE;
    *parent = node->parent;
    return CR_SUCCESS;
}

CONFIGRET CmGetDeviceId(const CSimModel& model, DEVINST devInst, PWCHAR buffer, ULONG bufferChars,
                        ULONG flags) {
    (void)flags;
    if (buffer == nullptr) return CR_INVALID_POINTER;
    const SimNode* node = model.Node(devInst);
    if (node == nullptr) return CR_INVALID_DEVNODE;
    const std::wstring& id = node->instanceId;
    // As cfgmgr32: an ID exactly as long as the buffer comes without terminator.
    size_t copy = std::min<size_t>(id.size(), bufferChars);
    memcpy(buffer, id.c_str(), copy * sizeof(wchar_t));
    if (copy < bufferChars) buffer[copy] = L'\0';
    return id.size() > bufferChars ? CR_BUFFER_SMALL : CR_SUCCESS;
}

CONFIGRET CmGetRegistryProperty(const CSimModel& model, DEVINST devInst, ULONG property,
                                PULONG regDataType, PVOID buffer, PULONG length, ULONG flags) {
    (void)flags;
    if (length == nullptr) return CR_INVALID_POINTER;
    if (buffer == nullptr && *length != 0) return CR_INVALID_POINTER;
    const SimNode* node = model.Node(devInst);
    if (node == nullptr) return CR_INVALID_DEVNODE;
    std::wstring value;
    ULONG type = REG_SZ;
    switch (property) {
        case CM_DRP_DEVICEDESC:
            value = node->description;
            break;
        case CM_DRP_DRIVER:
            value = node->driverKey;
            break;
        case CM_DRP_MFG:
            value = node->manufacturer;
            break;
        case CM_DRP_HARDWAREID:
            value = HardwareIds(*node);
            type = REG_MULTI_SZ;
            break;
        default:
            return CR_NO_SUCH_VALUE;
    }
    if (value.empty()) return CR_NO_SUCH_VALUE;
    ULONG needed = static_cast<ULONG>((value.size() + 1) * sizeof(wchar_t));
    if (regDataType != nullptr) *regDataType = type;
    if (*length < needed) {
        *length = needed;
        return CR_BUFFER_SMALL;
    }
    memcpy(buffer, value.c_str(), needed);
    *length = needed;
    return CR_SUCCESS;
}

}  // namespace usbsim
