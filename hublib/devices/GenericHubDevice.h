// A hub of neither family: known to the queue, never programmed.
#pragma once

#include "Device.h"

class CGenericHubDevice : public CDevice {
public:
    using CDevice::CDevice;

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
};
