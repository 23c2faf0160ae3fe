#include "UsbNames.h"

#include <winioctl.h>
#include <usbioctl.h>

#include <cstring>
#include <vector>

#include "HardwareApi.h"

namespace {

// Names longer than this are not believed.
constexpr ULONG kMaxNameBytes = 64 * 1024;

ULONG ActualLength(const std::vector<BYTE>& answer, const UsbNameLayout& layout) {
    ULONG length = 0;
    memcpy(&length, answer.data() + layout.headBytes - sizeof(ULONG), sizeof(length));
    return length;
}

std::wstring ReadName(HANDLE handle, DWORD ioctl, const UsbNameLayout& layout, ULONG port) {
    const auto control = [handle, ioctl](BYTE* buffer, ULONG bytes, DWORD& returned) {
        return Hw().DeviceIoControl(handle, ioctl, buffer, bytes, buffer, bytes, &returned,
                                    nullptr) != FALSE;
    };
    return ReadUsbName(control, layout, port);
}

}  // namespace

std::wstring ReadUsbName(const UsbNameControl& control, const UsbNameLayout& layout, ULONG port) {
    const ULONG probeBytes = layout.headBytes + sizeof(WCHAR);
    std::vector<BYTE> probe(probeBytes, 0);
    if (layout.headBytes == 8) memcpy(probe.data(), &port, sizeof(port));
    DWORD returned = 0;
    // Only what the answer says it returned is read: at least the head.
    if (!control(probe.data(), probeBytes, returned) || returned < layout.headBytes) return {};
    const ULONG needed = ActualLength(probe, layout);
    if (layout.checkMinimum && needed <= probeBytes) return {};
    if (needed <= layout.headBytes || needed > kMaxNameBytes) return {};

    std::vector<BYTE> buffer(needed, 0);
    if (layout.headBytes == 8) memcpy(buffer.data(), &port, sizeof(port));
    returned = 0;
    if (!control(buffer.data(), needed, returned) || returned < layout.headBytes) return {};
    // A name that grew since the first answer was cut to our buffer, and one
    // the answer did not return whole, is no name.
    const ULONG actual = ActualLength(buffer, layout);
    if (actual > needed || actual <= layout.headBytes || returned < actual) return {};
    const size_t chars = (actual - layout.headBytes) / sizeof(WCHAR);
    std::wstring name(chars, L'\0');
    memcpy(&name[0], buffer.data() + layout.headBytes, chars * sizeof(WCHAR));
    name.resize(wcsnlen(name.c_str(), chars));
    return name;
}

std::wstring GetHcdDriverKeyName(HANDLE controller) {
    return ReadName(controller, IOCTL_GET_HCD_DRIVERKEY_NAME, {4, true}, 0);
}

std::wstring GetRootHubName(HANDLE controller) {
    return ReadName(controller, IOCTL_USB_GET_ROOT_HUB_NAME, {4, false}, 0);
}

std::wstring GetExternalHubName(HANDLE hub, ULONG port) {
    return ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, {8, true}, port);
}

std::wstring GetPortDriverKeyName(HANDLE hub, ULONG port) {
    return ReadName(hub, IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, {8, true}, port);
}
