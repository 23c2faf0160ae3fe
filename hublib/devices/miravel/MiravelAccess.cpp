// Opening first-family hubs through zelvo.dll, and their detection.
#include "MiravelAccess.h"

#include <windows.h>

#include "HalvexZRVLib.h"
#include "HardwareApi.h"
#include "Logger.h"
#include "MiravelOtpLayout.h"

namespace miravel {

CZelvoObject::~CZelvoObject() {
    if (access_ == nullptr) return;
    access_->Close();
    DestroyZelvoAccess(&access_);
}

void Pause(uint32_t milliseconds) {
    Hw().Sleep(milliseconds);
}

int32_t OpenMiravelDevice(ZelvoAccess* access, const wchar_t* path, uint32_t limit) {
    CLogger log(L"CMiravelDevice::OpenMiravelDevice");
    if (access == nullptr || path == nullptr || limit == 0) return RESULT_INVALID_PARAMETER;
    int32_t result = -1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        result = access->Open(path, kPathLimit);
        if (result != 0) {
            log.Write(2,
                      L"Cannot open device %s czelvo->Open(), GetLastError() \t\t\t\treturned 0x%x",
                      path, static_cast<unsigned>(GetLastError()));
        }
        Pause(kOpenPauseMs);
        if (result == 0) break;
    }
    return result;
}

int32_t KeepRingOscillatorRunning(ZelvoAccess* access) {
    return Retry(
        kVendorAttempts, kRetryPauseMs,
        [&] {
            uint8_t value = 0x80;
            return access->AccessRegister(0x0950, 0, &value, 1);
        },
        Succeeded);
}

}  // namespace miravel

using namespace miravel;

int32_t IsVendorBlcokValid(const uint8_t* block) {
    CLogger log(L"IsVendorBlcokValid");
    if (HasVendorSignature(block, kVendorBlockSize)) return RESULT_SUCCESS;
    log.Write(2, L"Vendor block signature is not present\n");
    return RESULT_NO_VENDOR_BLOCK;
}

bool IsDeviceMiravel2(const wchar_t* path, const void* token) {
    CLogger log(L"CMiravelDevice::IsDeviceMiravel2");
    if (path == nullptr || token == nullptr) return false;
    CZelvoObject access;
    if (!access) return false;
    bool result = false;
    uint8_t vendor[kVendorBlockSize] = {};
    if (OpenMiravelDevice(access.get(), path, kPathLimit) != 0) {
        log.Write(2, L"Cannot open device %s", path);
    } else if (Retry(
                   2, 0,
                   [&] { return access->ReadOtp(kVendorBlockOffset, vendor, kVendorBlockSize); },
                   [](int32_t read) { return read == static_cast<int32_t>(kVendorBlockSize); }) !=
               static_cast<int32_t>(kVendorBlockSize)) {
        log.Write(2, L"Cannot read OTP of device %s", path);
    } else if (IsVendorBlcokValid(vendor) != RESULT_SUCCESS) {
        log.Write(2, L"Vendor block is invalid for device %s", path);
    } else {
        result = true;
        if (KeepRingOscillatorRunning(access.get()) != 0) {
            log.Write(2,
                      L"Not able to prevent main loop ring oscillator from\t\t\t\t\t\tstopping for "
                      L"device %s",
                      path);
        }
    }
    return result;
}
