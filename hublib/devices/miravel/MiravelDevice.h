// CMiravelDevice: the hub device of the first family. It reaches the chip only
// through zelvo.dll's access object, one object per conversation, and keeps
// the hub's settings: storage mode, validation method, configuration block or
// firmware image. Programming of OTP (mode 3) and SPI flash (modes 0 to 2).
#pragma once

#include <cstdint>
#include <vector>

#include "Device.h"
#include "Logger.h"
#include "ZelvoApi.h"

class CMiravelDevice : public CDevice {
public:
    CMiravelDevice(const wchar_t* path, uint32_t length, bool vendorBlockPresent);
    CMiravelDevice(const CMiravelDevice& other);

    int32_t SetConfigurationBlock(const uint8_t* bytes, uint32_t size) override;
    bool SetStorageMode(uint32_t mode) override;
    bool SetValidationMethod(uint32_t method) override;
    int32_t SetVendorBlock(const uint8_t* bytes, uint32_t size) override;
    int32_t SetFwImage(const uint8_t* bytes, uint32_t size) override;
    uint32_t GetConfigBlockSize() override;
    int32_t GetConfigBlock(uint32_t size, uint8_t* buffer) override;
    uint32_t GetFirmwareImageSize() override;
    int32_t GetFirmwareImage(uint32_t size, uint8_t* buffer) override;
    uint32_t GetStorageMode() override;
    uint32_t GetValidationMethod() override;
    int32_t RebootDeviceIfRequired() override;
    int32_t ProgramDevice() override;
    int32_t GetOTPSize() override;
    int32_t ReadOTP(uint8_t* buffer, uint32_t length) override;
    int32_t WriteToRam(const uint8_t* data, uint32_t length) override;
    int32_t GetUUID(uint8_t* buffer, uint32_t length) override;
    CDevice* Clone() override;
    int32_t DeviceCameBackAfterReboot() override;
    bool IsVendorBlockPresent() override;

    // On an open access object (MiravelOtpProgramming.cpp).
    int32_t ProgramAndVerifyOTP(ZelvoAccess* access);
    int32_t VerifyOTP(ZelvoAccess* access);

    uint32_t storageMode = STORAGE_UNKNOWN;
    uint32_t validationMethod = VALIDATION_NONE;
    std::vector<uint8_t> configBlock;
    uint8_t vendorBlock[24] = {};
    std::vector<uint8_t> firmwareImage;
    bool vendorBlockPresent = false;

private:
    bool Verifying() const;
    // Steps of ProgramDevice, writing to its trace scope.
    void WriteStartRegisters(ZelvoAccess* access, CLogger& log);
    void ProgramOtpMode(ZelvoAccess* access, int32_t& result, CLogger& log);
    void ProgramSpiConfigMode(ZelvoAccess* access, int32_t& result, CLogger& log);
    // false when the vendor block could not be read (status 4 is set).
    bool CopyVendorBlockIntoImage(ZelvoAccess* access, CLogger& log);
    void ProgramSpiImageMode(ZelvoAccess* access, int32_t& result, CLogger& log);
};

// Traced comparisons of configuration blocks (bare scope names).
int32_t FindLastCFGBAndCompare(const uint8_t* memory, uint32_t memorySize, const uint8_t* block,
                               uint32_t blockSize);
int32_t CompareCFGBWithoutSerialNumber(const uint8_t* found, uint32_t foundAvailable,
                                       const uint8_t* given, uint32_t size);
