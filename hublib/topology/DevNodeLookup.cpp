#include "DevNodeLookup.h"

#include "HardwareApi.h"

namespace {

// 260 bytes: a property that does not fit is left unread.
constexpr ULONG kPropertyBytes = 260;

std::wstring FoldAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
    }
    return text;
}

// False when the node has no driver key that fits the buffer.
bool ReadDriverKey(DEVINST node, std::wstring& driverKey) {
    BYTE buffer[kPropertyBytes] = {};
    ULONG length = kPropertyBytes;
    if (Hw().CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_DRIVER, nullptr, buffer, &length, 0) !=
        CR_SUCCESS) {
        return false;
    }
    buffer[kPropertyBytes - 2] = 0;
    buffer[kPropertyBytes - 1] = 0;
    driverKey = reinterpret_cast<const wchar_t*>(buffer);
    return true;
}

void ReadNode(DEVINST node, std::wstring& instanceId, std::wstring& description) {
    wchar_t id[260] = {};
    if (Hw().CM_Get_Device_IDW(node, id, 260, 0) == CR_SUCCESS) {
        id[259] = L'\0';
        instanceId = id;
    }
    wchar_t text[kPropertyBytes / sizeof(wchar_t)] = {};
    ULONG length = kPropertyBytes;
    if (Hw().CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_DEVICEDESC, nullptr, text, &length,
                                               0) == CR_SUCCESS) {
        text[kPropertyBytes / sizeof(wchar_t) - 1] = L'\0';
        description = text;
    }
}

}  // namespace

void CDriverKeyIndex::Build() {
    built_ = true;
    DEVINST root = 0;
    if (Hw().CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return;
    // Depth first, pre-order; climb back up until a node has a sibling. The
    // first node with a key keeps it.
    DEVINST node = root;
    for (;;) {
        std::wstring driverKey;
        if (ReadDriverKey(node, driverKey)) nodes_.emplace(FoldAscii(driverKey), node);
        DEVINST next = 0;
        if (Hw().CM_Get_Child(&next, node, 0) == CR_SUCCESS) {
            node = next;
            continue;
        }
        for (;;) {
            if (node == root) return;
            if (Hw().CM_Get_Sibling(&next, node, 0) == CR_SUCCESS) {
                node = next;
                break;
            }
            if (Hw().CM_Get_Parent(&next, node, 0) != CR_SUCCESS) return;
            node = next;
        }
    }
}

bool CDriverKeyIndex::Find(const std::wstring& driverKey, std::wstring& instanceId,
                           std::wstring& description) {
    if (!built_) Build();
    const auto found = nodes_.find(FoldAscii(driverKey));
    if (found == nodes_.end()) return false;
    ReadNode(found->second, instanceId, description);
    return true;
}
