// Programming a configuration block into a first-family hub's OTP and
// verifying it there, on an access object the caller has opened.
#include <cstring>
#include <vector>

#include "Logger.h"
#include "MiravelAccess.h"
#include "MiravelDevice.h"
#include "MiravelOtpLayout.h"

using namespace miravel;

namespace {

int32_t ReadWholeOtp(ZelvoAccess* access, uint8_t* buffer) {
    return Retry(
        kVendorAttempts, kRetryPauseMs, [&] { return access->ReadOtp(0, buffer, kOtpSize); },
        [](int32_t read) { return read == static_cast<int32_t>(kOtpSize); });
}

// Bit 5 of register 0x523A: the OTP has no room left.
bool OtpIsFull(ZelvoAccess* access) {
    uint8_t status = 0;
    const int32_t result = Retry(
        kVendorAttempts, kRetryPauseMs,
        [&] { return access->AccessRegister(kOtpStatusRegister, 1, &status, 1); }, Succeeded);
    return result == 0 && (status & kOtpFullBit) != 0;
}

}  // namespace

int32_t CMiravelDevice::ProgramAndVerifyOTP(ZelvoAccess* access) {
    CLogger log(L"CMiravelDevice::ProgramAndVerifyOTP");
    if (access == nullptr) return RESULT_INVALID_PARAMETER;
    const bool verify = Verifying();
    std::vector<uint8_t> before(kOtpSize, 0);
    std::vector<uint8_t> after(kOtpSize, 0);
    const uint32_t size = static_cast<uint32_t>(configBlock.size());

    if (verify) {
        const int32_t read = ReadWholeOtp(access, before.data());
        if (read != static_cast<int32_t>(kOtpSize)) {
            log.Write(1, L"Not able to read OTP in device %ws, error code / num bytes read is %d",
                      instanceId, read);
            return RESULT_DEVICE_IO_FAILED;
        }
    }

    static const uint8_t kZeros[kRamSize] = {};
    if (Retry(
            kVendorAttempts, kRetryPauseMs, [&] { return access->WriteRam(0, kZeros, kRamSize); },
            Succeeded) != 0) {
        log.Write(2, L"Not able to clear RAM in device %s", instanceId);
    }

    // The length goes to the chip as 16 bits; a longer block fits nowhere.
    if (size > 0xFFFF) return RESULT_INSUFFICIENT_SPACE;
    const int32_t programmed = Retry(
        2, kRetryPauseMs,
        [&] {
            return access->ProgramOtp(kConfigAreaOffset, configBlock.data(),
                                      static_cast<uint16_t>(size));
        },
        Succeeded);
    if (programmed != 0) {
        if (OtpIsFull(access)) return RESULT_INSUFFICIENT_SPACE;
        log.Write(1, L"Not able to program OTP in device %ws, error code is %d", instanceId,
                  programmed);
        return RESULT_DEVICE_IO_FAILED;
    }
    if (!verify) return RESULT_SUCCESS;

    const int32_t read = ReadWholeOtp(access, after.data());
    if (read != static_cast<int32_t>(kOtpSize)) {
        log.Write(1, L"Not able to read OTP after programming OTP in device %ws", instanceId);
        log.Write(1, L"Error code / Number of bytes read is %d", read);
        return RESULT_READ_FAILED;
    }
    const std::optional<size_t> offset =
        NewBlockOffset(before.data(), after.data(), kOtpSize, size);
    if (!offset) {
        log.Write(1, L"Not able to determine the configuration block offset in OTP for device %ws",
                  instanceId);
        return RESULT_RESOURCE_FAILURE;
    }
    if (memcmp(after.data() + *offset, configBlock.data(), size) != 0) {
        log.Write(1, L"Mismatch in data written and read from OTP for device %ws", instanceId);
        return RESULT_VERIFY_MISMATCH;
    }
    return RESULT_SUCCESS;
}

int32_t CMiravelDevice::VerifyOTP(ZelvoAccess* access) {
    CLogger log(L"CMiravelDevice::VerifyOTP");
    if (access == nullptr) return RESULT_INVALID_PARAMETER;
    std::vector<uint8_t> area(kConfigAreaSize, 0);
    const int32_t read = Retry(
        kVendorAttempts, kRetryPauseMs,
        [&] { return access->ReadOtp(kConfigAreaOffset, area.data(), kConfigAreaSize); },
        [](int32_t count) { return count == static_cast<int32_t>(kConfigAreaSize); });
    if (read != static_cast<int32_t>(kConfigAreaSize)) {
        log.Write(1,
                  L"Not able to read OTP in device %ws, error code / num bytes\t\t\t\tread is %d",
                  instanceId, read);
        return RESULT_DEVICE_IO_FAILED;
    }
    if (FindLastCFGBAndCompare(area.data(), kConfigAreaSize, configBlock.data(),
                               static_cast<uint32_t>(configBlock.size())) != 0) {
        log.Write(
            1, L"Last config block present does not match with config\t\t\t\tblock provided for %s",
            instanceId);
        return RESULT_VERIFY_MISMATCH;
    }
    return RESULT_SUCCESS;
}
