#include "UsbNames.h"

#include <winioctl.h>
#include <usbioctl.h>

#include <cstring>
#include <vector>

#include "HardwareApi.h"

namespace {

// Names longer than this are not believed.
constexpr ULONG kMaxNameBytes = 64 * 1024;

struct NameRequest {
    DWORD ioctl;
    ULONG headBytes;    // 4: ActualLength only; 8: port number, then ActualLength
    bool checkMinimum;  // a size no larger than the probe means "no name"
};

std::wstring ReadName(HANDLE handle, const NameRequest& request, ULONG port) {
    const ULONG lengthOffset = request.headBytes - sizeof(ULONG);
    const ULONG probeBytes = request.headBytes + sizeof(WCHAR);
    std::vector<BYTE> probe(probeBytes, 0);
    if (request.headBytes == 8) memcpy(probe.data(), &port, sizeof(port));
    DWORD returned = 0;
    if (!Hw().DeviceIoControl(handle, request.ioctl, probe.data(), probeBytes, probe.data(),
                              probeBytes, &returned, nullptr)) {
        return {};
    }
    ULONG needed = 0;
    memcpy(&needed, probe.data() + lengthOffset, sizeof(needed));
    if (request.checkMinimum && needed <= probeBytes) return {};
    if (needed <= request.headBytes || needed > kMaxNameBytes) return {};

    std::vector<BYTE> buffer(needed, 0);
    if (request.headBytes == 8) memcpy(buffer.data(), &port, sizeof(port));
    if (!Hw().DeviceIoControl(handle, request.ioctl, buffer.data(), needed, buffer.data(), needed,
                              &returned, nullptr)) {
        return {};
    }
    const size_t chars = (needed - request.headBytes) / sizeof(WCHAR);
    std::wstring name(chars, L'\0');
    memcpy(&name[0], buffer.data() + request.headBytes, chars * sizeof(WCHAR));
    name.resize(wcsnlen(name.c_str(), chars));
    return name;
}

}  // namespace

std::wstring GetHcdDriverKeyName(HANDLE controller) {
    return ReadName(controller, {IOCTL_GET_HCD_DRIVERKEY_NAME, 4, true}, 0);
}

std::wstring GetRootHubName(HANDLE controller) {
    return ReadName(controller, {IOCTL_USB_GET_ROOT_HUB_NAME, 4, false}, 0);
}

std::wstring GetExternalHubName(HANDLE hub, ULONG port) {
    return ReadName(hub, {IOCTL_USB_GET_NODE_CONNECTION_NAME, 8, true}, port);
}

std::wstring GetPortDriverKeyName(HANDLE hub, ULONG port) {
    return ReadName(hub, {IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, 8, true}, port);
}
