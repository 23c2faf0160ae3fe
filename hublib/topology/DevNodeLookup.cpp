#include "DevNodeLookup.h"

#include "HardwareApi.h"

namespace {

// 260 bytes: a property that does not fit is left unread.
constexpr ULONG kPropertyBytes = 260;
BYTE g_driverKeyBuffer[kPropertyBytes];

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c;
}

bool SameKey(const wchar_t* a, const std::wstring& b) {
    size_t i = 0;
    for (; a[i] != L'\0' && i < b.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return a[i] == L'\0' && i == b.size();
}

bool DriverKeyMatches(DEVINST node, const std::wstring& driverKey) {
    ULONG length = kPropertyBytes;
    g_driverKeyBuffer[0] = 0;
    g_driverKeyBuffer[1] = 0;
    if (Hw().CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_DRIVER, nullptr, g_driverKeyBuffer,
                                               &length, 0) != CR_SUCCESS) {
        return false;
    }
    g_driverKeyBuffer[kPropertyBytes - 2] = 0;
    g_driverKeyBuffer[kPropertyBytes - 1] = 0;
    return SameKey(reinterpret_cast<const wchar_t*>(g_driverKeyBuffer), driverKey);
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

bool FindDeviceByDriverKey(const std::wstring& driverKey, std::wstring& instanceId,
                           std::wstring& description) {
    DEVINST root = 0;
    if (Hw().CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
        return false;
    }
    // Depth first, pre-order; climb back up until a node has a sibling.
    DEVINST node = root;
    for (;;) {
        if (DriverKeyMatches(node, driverKey)) {
            ReadNode(node, instanceId, description);
            return true;
        }
        DEVINST next = 0;
        if (Hw().CM_Get_Child(&next, node, 0) == CR_SUCCESS) {
            node = next;
            continue;
        }
        for (;;) {
            if (node == root) return false;
            if (Hw().CM_Get_Sibling(&next, node, 0) == CR_SUCCESS) {
                node = next;
                break;
            }
            if (Hw().CM_Get_Parent(&next, node, 0) != CR_SUCCESS) return false;
            node = next;
        }
    }
}
