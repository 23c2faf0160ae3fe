// CDeviceTree: per host controller a flat list of nodes (the controller,
// then every port of every hub below it in depth-first order).
//
// Refresh walks the controllers \\.\HCD0..11 twice: the first pass makes node
// 0 of each controller, the second walks its root hub and, recursively,
// every external hub's ports, registering each hub with the device queue.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "UsbNode.h"

class CDriverKeyIndex;

class CDeviceTree : public IDeviceTree {
public:
    static constexpr int32_t kMaxNodes = 127;
    static constexpr int kMaxControllers = 12;

    CDeviceTree();
    ~CDeviceTree() override;
    CDeviceTree(const CDeviceTree&) = delete;
    CDeviceTree& operator=(const CDeviceTree&) = delete;

    bool Refresh() override;
    int32_t GetNodeCount(int32_t controller) override;
    int32_t GetControllerCount() override;
    IUsbNode* FindNode(const wchar_t* interfacePath, int32_t* controller, int32_t* node) override;
    IUsbNode* GetNode(int32_t controller, int32_t node) override;
    bool FindNodeIndices(const wchar_t* interfacePath, int32_t* controller, int32_t* node) override;
    int32_t SetNodeUseCount(int32_t controller, int32_t node, int32_t count) override;

    // A new tree holding copies of source's nodes.
    static CDeviceTree* CopyOf(IDeviceTree& source);

private:
    // port: the node's port number on its hub, 0 for a host controller.
    int32_t AddNode(int32_t controller, int32_t parent, int32_t port, int32_t type,
                    const std::wstring& instanceId, const std::wstring& displayName,
                    const std::wstring& devicePath);
    // The driver keys found while walking are looked up in `devNodes`.
    int32_t EnumerateHub(CDriverKeyIndex& devNodes, int32_t controller, int32_t parent,
                         const std::wstring& hubName);
    void EnumeratePorts(CDriverKeyIndex& devNodes, int32_t controller, int32_t parent, HANDLE hub,
                        ULONG portCount);
    void EnumeratePort(CDriverKeyIndex& devNodes, int32_t controller, int32_t parent, HANDLE hub,
                       ULONG port);

    std::vector<std::vector<CUsbNode>> controllers_;
    int32_t controllerCount_ = 0;
    CRITICAL_SECTION lock_;
};

// The instance ID a USB device interface path names ("\\?\USB#VID_..#..#{guid}"
// gives "USB\VID_..\.."); empty when the path cannot be one.
std::wstring InstanceIdFromInterfacePath(const wchar_t* interfacePath);
