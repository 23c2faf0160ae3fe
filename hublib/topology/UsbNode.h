// CUsbNode: one node of a device tree (a host controller or a port).
#pragma once

#include "HalvexZRVLib.h"

class CUsbNode : public IUsbNode {
public:
    static constexpr int kTextLength = 260;

    CUsbNode() = default;
    // Copies type, parent index, port number and the three texts through
    // other's operations.
    explicit CUsbNode(IUsbNode& other);

    int32_t GetNodeType() override { return type_; }
    int32_t SetNodeType(int32_t type) override { return type_ = type; }
    int32_t GetParentIndex() override { return parentIndex_; }
    int32_t SetParentIndex(int32_t index) override { return parentIndex_ = index; }
    void SetDeviceInstanceID(const wchar_t* text) override;
    const wchar_t* GetDeviceInstanceID() override { return instanceId_; }
    const wchar_t* GetDisplayName() override { return displayName_; }
    const wchar_t* GetDevicePath() override { return devicePath_; }
    ~CUsbNode() override = default;
    int32_t SetUseCount(int32_t count) override;
    int32_t GetPortNumber() override { return portNumber_; }

    void SetDisplayName(const wchar_t* text);
    void SetDevicePath(const wchar_t* text);
    void SetPortNumber(int32_t port) { portNumber_ = port; }
    int32_t UseCount() const { return useCount_; }

private:
    int32_t type_ = NODE_TYPE_UNKNOWN;
    wchar_t instanceId_[kTextLength] = {};
    wchar_t displayName_[kTextLength] = {};
    wchar_t devicePath_[kTextLength] = {};
    int32_t parentIndex_ = 0;
    int32_t useCount_ = 0;
    int32_t portNumber_ = 0;
};
