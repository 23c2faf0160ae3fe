#include "UsbNode.h"

#include <cwchar>

namespace {
// At most 259 characters and a terminator; a null text changes nothing.
void CopyText(wchar_t (&target)[CUsbNode::kTextLength], const wchar_t* text) {
    if (text == nullptr) return;
    wcsncpy(target, text, CUsbNode::kTextLength - 1);
    target[CUsbNode::kTextLength - 1] = L'\0';
}
}  // namespace

CUsbNode::CUsbNode(IUsbNode& other) {
    type_ = other.GetNodeType();
    parentIndex_ = other.GetParentIndex();
    portNumber_ = other.GetPortNumber();
    CopyText(instanceId_, other.GetDeviceInstanceID());
    CopyText(displayName_, other.GetDisplayName());
    CopyText(devicePath_, other.GetDevicePath());
}

void CUsbNode::SetDeviceInstanceID(const wchar_t* text) {
    CopyText(instanceId_, text);
}
void CUsbNode::SetDisplayName(const wchar_t* text) {
    CopyText(displayName_, text);
}
void CUsbNode::SetDevicePath(const wchar_t* text) {
    CopyText(devicePath_, text);
}

int32_t CUsbNode::SetUseCount(int32_t count) {
    useCount_ = count;
    return 0;
}
