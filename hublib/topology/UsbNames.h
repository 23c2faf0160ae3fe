// Reading the names that USB host controllers and hubs report: driver keys,
// the root hub name and the downstream hub name of a port. Each asks once
// with a buffer just big enough for the head to learn the size, then again.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Empty when the controller or port has no such name.
std::wstring GetHcdDriverKeyName(HANDLE controller);
std::wstring GetRootHubName(HANDLE controller);
std::wstring GetExternalHubName(HANDLE hub, ULONG port);
std::wstring GetPortDriverKeyName(HANDLE hub, ULONG port);

// The two-step read behind the four above, over any sender of the control:
// `control` sends `bytes` bytes of `buffer` and receives the answer into it,
// setting `returned`; false when the control fails.
struct UsbNameLayout {
    ULONG headBytes;    // 4: ActualLength only; 8: port number, then ActualLength
    bool checkMinimum;  // a size no larger than the probe means "no name"
};
using UsbNameControl = std::function<bool(BYTE* buffer, ULONG bytes, DWORD& returned)>;
std::wstring ReadUsbName(const UsbNameControl& control, const UsbNameLayout& layout, ULONG port);
