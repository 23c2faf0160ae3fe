// CTorvikDevice: the OTP operations. A step that cannot open the hub reports
// RESULT_OPEN_FAILED (-11; false for OTPStorageEndOffsets) and its callers
// stop on it. The layout itself is in TorvikOtpLayout.cpp.
#include <cstring>
#include <vector>

#include "HardwareApi.h"
#include "Logger.h"
#include "TorvikDevice.h"

namespace {

constexpr DWORD kAfterOtpWriteMs = 100;

bool IsOtpSize(int32_t size) {
    return size > 0 && size <= static_cast<int32_t>(torvik::kMaxOtpSize);
}

}  // namespace

int32_t CTorvikDevice::GetOTPSize() {
    CLogger log(L"CTorvikDevice::GetOTPSize");
    CTorvikSession session(*this);
    if (!session.IsOpen()) {
        log.Write(2, L"KX7100 Device Not Found: Device id %s ", instanceId);
        return RESULT_OPEN_FAILED;
    }
    uint8_t value = 0;
    int32_t status = ReadRegister(kRegOtpSize, value);
    if (status != KX_STATUS_SUCCESS) {
        LogLibraryFailure(log, status, L"KX7100_Device_Read_XDATA_Data", instanceId);
        return 0;
    }
    return static_cast<int32_t>(torvik::OtpSizeFromRegister(value));
}

int32_t CTorvikDevice::ReadOTP(uint8_t* buffer, uint32_t length) {
    CLogger log(L"CTorvikDevice::ReadOTP");
    if (length == 0 || length > torvik::kMaxOtpSize) {
        log.Write(1, L" Read OTP size is not correct  . Device id %s", instanceId);
        return RESULT_INVALID_PARAMETER;
    }
    if (buffer == nullptr) {
        log.Write(1, L" Buffer to store OTP content not avilable  . Device id %s", instanceId);
        return RESULT_INVALID_PARAMETER;
    }
    CTorvikSession session(*this);
    if (!session.IsOpen()) {
        log.Write(2, L"KX7100 Device Not Found: Device id %s ", instanceId);
        return RESULT_OPEN_FAILED;
    }
    uint16_t count = 0;
    int32_t status =
        KX7100_OTP_Read_Data(&deviceInfo, 0, buffer, static_cast<uint16_t>(length), &count);
    if (status != KX_STATUS_SUCCESS) {
        LogLibraryFailure(log, status, L"KX7100_OTP_Read_Data", instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    // A short read would pass the unread part off as OTP content.
    if (count < length) {
        log.Write(1, L"Cannot read Otp.Device id %s", instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    return RESULT_SUCCESS;
}

bool CTorvikDevice::OTPStorageEndOffsets() {
    CLogger log(L"CTorvikDevice::OTPStorageEndOffsets");
    const int32_t size = GetOTPSize();
    if (!IsOtpSize(size)) return false;
    CTorvikSession session(*this);
    if (!session.IsOpen()) return false;
    std::vector<uint8_t> otp(static_cast<size_t>(size), 0);
    uint16_t count = 0;
    int32_t status =
        KX7100_OTP_Read_Data(&deviceInfo, 0, otp.data(), static_cast<uint16_t>(size), &count);
    if (status != KX_STATUS_SUCCESS) {
        LogLibraryFailure(log, status, L"KX7100_OTP_Read_Data", instanceId);
        return false;
    }
    if (count != size) return false;
    torvik::OtpIndex index =
        torvik::WalkOtpIndex(otp.data(), static_cast<uint32_t>(size), romVersion);
    if (!index.known || index.dataEnd > 0xFFFF) return false;
    otpIndexStart = static_cast<uint16_t>(index.indexStart);
    otpDataEnd = static_cast<uint16_t>(index.dataEnd);
    return index.HasRoom();
}

int32_t CTorvikDevice::OTPStorageHandler() {
    CLogger log(L"CTorvikDevice::OTPStorageHandler");
    const int32_t size = GetOTPSize();
    if (size == 0) {
        log.Write(1, L" Function OTPStorageHandler: Unable to get OTP size ...Error.Device id %s ",
                  instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    if (!IsOtpSize(size)) return size < 0 ? size : RESULT_DEVICE_IO_FAILED;
    CTorvikSession session(*this);
    if (!session.IsOpen()) return RESULT_OPEN_FAILED;
    if (romVersion == torvik::kRomVersion1 && otpDataEnd == 0x00FF) otpDataEnd = 0x0100;
    std::vector<uint8_t> otp(static_cast<size_t>(size), 0);
    uint16_t count = 0;
    int32_t status =
        KX7100_OTP_Read_Data(&deviceInfo, 0, otp.data(), static_cast<uint16_t>(size), &count);
    if (status != KX_STATUS_SUCCESS) {
        LogLibraryFailure(log, status, L"KX7100_OTP_Read_Data", instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    if (count != size) {
        log.Write(1, L"OTPStorageHandler: No data read from OTP . Error");
        return RESULT_OPEN_FAILED;
    }
    const uint32_t blockSize = static_cast<uint32_t>(configBlock.size());
    if (otpIndexStart <= otpDataEnd ||
        blockSize >= static_cast<uint32_t>(otpIndexStart - otpDataEnd)) {
        log.Write(1, L"Not enough space avilable : Device id %s Error Code %d  ", instanceId,
                  RESULT_INSUFFICIENT_SPACE);
        return RESULT_INSUFFICIENT_SPACE;
    }
    switch (torvik::AppendBlock(otp, otpIndexStart, otpDataEnd, romVersion, configBlock.data(),
                                blockSize)) {
        case torvik::AppendResult::kCounterFull:
            return RESULT_OTP_WRITE_LIMIT;
        case torvik::AppendResult::kNoSpace:
            log.Write(1, L"Not enough space avilable : Device id %s Error Code %d  ", instanceId,
                      RESULT_INSUFFICIENT_SPACE);
            return RESULT_INSUFFICIENT_SPACE;
        case torvik::AppendResult::kOk:
            break;
    }
    memcpy(otpImage, otp.data(), otp.size());
    return RESULT_SUCCESS;
}

int32_t CTorvikDevice::PrepareOTPDataFromConfigBlock() {
    CLogger log(L"CTorvikDevice::PrepareOTPDataFromConfigBlock");
    if (configBlock.empty() || configBlock.size() > torvik::kMaxOtpSize) {
        log.Write(1,
                  L" No configuration data is present OR Configuration Data is larger than OTP "
                  L"size .Device id %s",
                  instanceId);
        return RESULT_INVALID_DATA;
    }
    CTorvikSession session(*this);
    if (!session.IsOpen()) {
        log.Write(2, L"KX7100 Device Not Found: Device id %s ", instanceId);
        return RESULT_OPEN_FAILED;
    }
    if (!OTPStorageEndOffsets()) {
        log.Write(1,
                  L"Unable to Get OTP Storage End Offset...OTP Configuration Fails .Device id %s",
                  instanceId);
        return RESULT_COMPARE_FAILED;
    }
    int32_t result = OTPStorageHandler();
    if (result != RESULT_SUCCESS) {
        log.Write(1, L"Error while writing OTP...OTP Configuration Fails .Device id %s",
                  instanceId);
    }
    return result;
}

int32_t CTorvikDevice::ProgOtpConfiguration() {
    CLogger log(L"CTorvikDevice::ProgOtpConfiguration");
    CTorvikSession session(*this);
    if (!session.IsOpen()) {
        log.Write(2, L"KX7100 Device Not Found: Device id %s ", instanceId);
        return RESULT_OPEN_FAILED;
    }
    uint16_t count = 0;
    int32_t status = KX7100_OTP_Write_Data(&deviceInfo, 0, otpImage,
                                           static_cast<uint16_t>(sizeof(otpImage)), &count);
    if (status != KX_STATUS_SUCCESS) {
        LogLibraryFailure(log, status, L"KX7100_OTP_Write_Data", instanceId);
        return RESULT_DEVICE_IO_FAILED;
    }
    if (count == 0) {
        log.Write(1, L"Cannot read Otp.");
        return RESULT_DEVICE_IO_FAILED;
    }
    Hw().Sleep(kAfterOtpWriteMs);
    return RESULT_SUCCESS;
}

int32_t CTorvikDevice::ProgramAndVerifyOTP() {
    CLogger log(L"CTorvikDevice::ProgramAndVerifyOTP");
    log.Write(1, L"Entering CTorvikDevice::ProgramAndVerifyOTP Device ID   %s", instanceId);
    const bool verify =
        validationMethod == VALIDATION_VERIFY || validationMethod == VALIDATION_VERIFY_ALT;
    int32_t result = PrepareOTPDataFromConfigBlock();
    if (result != RESULT_SUCCESS) return result;
    result = ProgOtpConfiguration();
    if (result != RESULT_SUCCESS) {
        log.Write(1, L"Not able to program OTP in device %s, error code is %d", instanceId, result);
        return result;
    }
    if (verify) {
        result = VerifyOTP();
        if (result != RESULT_SUCCESS) {
            log.Write(1, L"Varify OTP fails after successful programming OTP in device %s",
                      instanceId);
            return result;
        }
    }
    return RESULT_SUCCESS;
}

// Verification walks the index the way the chip's ROM version lays it out, in
// an OTP of the chip's size, like OTPStorageEndOffsets.
int32_t CTorvikDevice::VerifyOTP() {
    CLogger log(L"CTorvikDevice::VerifyOTP");
    std::vector<uint8_t> otp(torvik::kMaxOtpSize, 0);
    int32_t size = GetOTPSize();
    int32_t result = IsOtpSize(size) ? ReadOTP(otp.data(), static_cast<uint32_t>(size))
                                     : (size < 0 ? size : RESULT_DEVICE_IO_FAILED);
    if (result != RESULT_SUCCESS) {
        log.Write(1, L"Not able to read OTP in device %s, error code / num bytes read is %d",
                  instanceId, result);
        return result;
    }
    if (torvik::CounterValue(otp.data()) == 0) {
        log.Write(1, L"Number of times  OTP programmed %d  in device %s, ", 0, instanceId);
        return RESULT_COMPARE_FAILED;
    }
    if (configBlock.empty()) {
        log.Write(1, L"Input Bin file not provided  in device %s, ", instanceId);
        return RESULT_COMPARE_FAILED;
    }
    int32_t version = romVersion != torvik::kRomUnknown ? romVersion : GetTorvikRomVersion();
    torvik::OtpIndex index = torvik::WalkOtpIndex(otp.data(), static_cast<uint32_t>(size), version);
    if (torvik::ContainsBlock(otp.data(), static_cast<uint32_t>(size), index, configBlock.data(),
                              static_cast<uint32_t>(configBlock.size()))) {
        return RESULT_SUCCESS;
    }
    return RESULT_VERIFY_MISMATCH;
}
