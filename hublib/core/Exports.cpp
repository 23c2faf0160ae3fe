// The per-hub and housekeeping exports. A per-hub export finds the node of
// its index pair in the snapshot and forwards the node's device path to the
// device queue; a missing node gives the export's own default.
#include <cstdio>
#include <memory>
#include <new>

#include "DeviceChangeMonitor.h"
#include "DeviceQueue.h"
#include "HalvexZRVLib.h"
#include "Logger.h"
#include "Notifications.h"
#include "TreeState.h"

namespace {

template <typename R, typename Forward>
R ForNode(int32_t controller, int32_t node, R missing, Forward forward) {
    IDeviceTree* tree = TreeSnapshot();
    if (tree == nullptr) return missing;
    std::unique_ptr<IUsbNode> found(tree->GetNode(controller, node));
    if (!found) return missing;
    return forward(found->GetDevicePath());
}

}  // namespace

int32_t __cdecl SetConfigurationBlock(int32_t c, int32_t n, const uint8_t* bytes, uint32_t size) {
    CLogger log(L"SetConfigurationBlock");
    return ForNode<int32_t>(c, n, RESULT_DEVICE_NOT_FOUND, [&](const wchar_t* path) {
        return DeviceQueue().SetConfigurationBlock(path, bytes, size);
    });
}

int32_t __cdecl SetFirmwarImage(int32_t c, int32_t n, const uint8_t* bytes, uint32_t size) {
    CLogger log(L"SetFirmwarImage");
    return ForNode<int32_t>(c, n, RESULT_DEVICE_NOT_FOUND, [&](const wchar_t* path) {
        return DeviceQueue().SetFwImage(path, bytes, size);
    });
}

int32_t __cdecl SetVendorBlock(int32_t c, int32_t n, const uint8_t* bytes, uint32_t size) {
    CLogger log(L"SetVendorBlock");
    return ForNode<int32_t>(c, n, RESULT_DEVICE_NOT_FOUND, [&](const wchar_t* path) {
        return DeviceQueue().SetVendorBlock(path, bytes, size);
    });
}

bool __cdecl SetProgrammingRequired(int32_t c, int32_t n, bool required) {
    CLogger log(L"SetProgrammingRequired");
    return ForNode<bool>(c, n, false, [&](const wchar_t* path) {
        return DeviceQueue().SetProgrammingRequired(path, required);
    });
}

bool __cdecl GetProgrammingRequired(int32_t c, int32_t n) {
    CLogger log(L"GetProgrammingRequired");
    return ForNode<bool>(c, n, false, [](const wchar_t* path) {
        return DeviceQueue().GetProgrammingRequired(path);
    });
}

int32_t __cdecl SetStorageMode(int32_t c, int32_t n, int32_t mode) {
    CLogger log(L"SetStorageMode");
    return ForNode<int32_t>(c, n, RESULT_DEVICE_NOT_FOUND, [&](const wchar_t* path) {
        return DeviceQueue().SetStorageMode(path, mode);
    });
}

int32_t __cdecl GetStorageMode(int32_t c, int32_t n) {
    CLogger log(L"GetStorageMode");
    return ForNode<int32_t>(c, n, STORAGE_UNKNOWN,
                            [](const wchar_t* path) { return DeviceQueue().GetStorageMode(path); });
}

bool __cdecl SetValidationMethod(int32_t c, int32_t n, int32_t method) {
    CLogger log(L"SetValidationMethod");
    return ForNode<bool>(c, n, false, [&](const wchar_t* path) {
        return DeviceQueue().SetValidationMethod(path, method);
    });
}

int32_t __cdecl GetValidationMethod(int32_t c, int32_t n) {
    CLogger log(L"GetValidationMethod");
    return ForNode<int32_t>(c, n, VALIDATION_NONE, [](const wchar_t* path) {
        return DeviceQueue().GetValidationMethod(path);
    });
}

int32_t __cdecl GetHubStatus(int32_t c, int32_t n) {
    CLogger log(L"GetHubStatus");
    return ForNode<int32_t>(c, n, HUB_STATUS_UNKNOWN,
                            [](const wchar_t* path) { return DeviceQueue().GetHubStatus(path); });
}

bool __cdecl IsNewDevice(int32_t c, int32_t n) {
    CLogger log(L"IsNewDevice");
    return ForNode<bool>(c, n, false,
                         [](const wchar_t* path) { return DeviceQueue().IsNewDevice(path); });
}

bool __cdecl IsPseudoOTPSet(int32_t c, int32_t n) {
    CLogger log(L"IsPseudoOTPSet");
    return ForNode<bool>(
        c, n, false, [](const wchar_t* path) { return DeviceQueue().IsSPIPseudoOTPEnabled(path); });
}

bool __cdecl IsVendorBlockPresent(int32_t c, int32_t n) {
    CLogger log(L"IsVendorBlockPresent");
    return ForNode<bool>(
        c, n, false, [](const wchar_t* path) { return DeviceQueue().IsVendorBlockPresent(path); });
}

int32_t __cdecl GetUUID(int32_t c, int32_t n, uint8_t* buffer, uint32_t size) {
    CLogger log(L"GetUUID");
    return ForNode<int32_t>(c, n, RESULT_DEVICE_NOT_FOUND, [&](const wchar_t* path) {
        return DeviceQueue().GetUUID(path, buffer, size);
    });
}

bool __cdecl CanDeviceBeRemoved(int32_t c, int32_t n) {
    CLogger log(L"CanDeviceBeRemoved");
    return ForNode<bool>(
        c, n, false, [](const wchar_t* path) { return DeviceQueue().CanDeviceBeRemoved(path); });
}

int32_t __cdecl GetHubFamily(int32_t c, int32_t n) {
    return ForNode<int32_t>(c, n, HUB_FAMILY_UNKNOWN,
                            [](const wchar_t* path) { return DeviceQueue().GetHubFamily(path); });
}

bool __cdecl RegisterNotificationCallback(NotificationCallback callback) {
    CLogger log(L"RegisterNotificationCallback");
    return SetNotificationCallback(callback);
}

int32_t __cdecl FinishedProcessingEvent(int32_t event) {
    CLogger log(L"FinishedProcessingEvent");
    if (event == EVENT_DEVICE_ARRIVED || event == EVENT_DEVICE_REMOVED) {
        DropTreeSnapshot();
        return RESULT_SUCCESS;
    }
    log.Write(2, L"Nothing to do for event %d", event);
    return RESULT_COMPARE_FAILED;
}

int32_t __cdecl SetNumberOfConfiguredHubs(int32_t count) {
    return DeviceQueue().SetNumberOfConfiguredHubs(count);
}

int32_t __cdecl DumpOTP(const wchar_t* devicePath, int32_t pathLength, const wchar_t* fileName) {
    CLogger log(L"DumpOTP");
    if (devicePath == nullptr || pathLength == 0) {
        log.Write(1, L"Invalid device path");
        return RESULT_INVALID_PARAMETER;
    }
    uint32_t size = 0;
    const int32_t sizeResult = DeviceQueue().GetOTPSize(devicePath, &size);
    if (sizeResult != RESULT_SUCCESS) return sizeResult;
    // A hub that cannot be opened answers its size query with a negative code.
    if (static_cast<int32_t>(size) < 0) return static_cast<int32_t>(size);
    // No exception may leave an export: a buffer that cannot be had is a code.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
    if (!buffer) return RESULT_RESOURCE_FAILURE;
    const int32_t result = DeviceQueue().ReadOTP(devicePath, buffer.get(), size);
    if (result == RESULT_SUCCESS && fileName != nullptr) {
        // A dump that did not reach its file is no success.
        FILE* file = _wfopen(fileName, L"wb");
        if (file == nullptr) {
            log.Write(1, L"Cannot create %s", fileName);
            return RESULT_RESOURCE_FAILURE;
        }
        const bool written = size == 0 || fwrite(buffer.get(), 1, size, file) == size;
        if (fclose(file) != 0 || !written) {
            log.Write(1, L"Cannot write %s", fileName);
            return RESULT_RESOURCE_FAILURE;
        }
    }
    return result;
}

int32_t __cdecl WriteToRAM(const wchar_t* devicePath, int32_t pathLength, const uint8_t* bytes,
                           uint32_t size) {
    CLogger log(L"WriteToRAM");
    if (devicePath == nullptr || pathLength == 0) {
        log.Write(1, L"Invalid device path");
        return RESULT_INVALID_PARAMETER;
    }
    return DeviceQueue().WriteToRam(devicePath, bytes, size);
}

int32_t __cdecl StartEnumeration() {
    return StartDeviceChangeMonitor();
}

void __cdecl StopEnumeration() {
    StopDeviceChangeMonitor();
}
