// CDevice: the polymorphic hub object shared by the device queue, the
// programmer manager and the family drivers. Long operations run on a copy
// made by Clone; a device has no lock of its own.
#pragma once

#include <cstdint>
#include <memory>

#include "HalvexZRVLib.h"

class CDevice {
public:
    CDevice(const wchar_t* path, uint32_t length);
    CDevice(const CDevice& other);
    CDevice& operator=(const CDevice&) = delete;

    void SetNewDeviceStatus();
    bool IsNewDevice() const;
    uint32_t GetHubStatus() const;
    bool SetHubStatus(uint32_t status);
    const wchar_t* GetDeviceInstanceID() const;
    bool IsProgrammingRequired() const;

    virtual bool SetProgrammingRequired(bool required);
    virtual int32_t SetConfigurationBlock(const uint8_t* bytes, uint32_t size) = 0;
    virtual bool SetStorageMode(uint32_t mode) = 0;
    virtual bool SetValidationMethod(uint32_t method) = 0;
    virtual int32_t SetVendorBlock(const uint8_t* bytes, uint32_t size) = 0;
    virtual int32_t SetFwImage(const uint8_t* bytes, uint32_t size) = 0;
    virtual uint32_t GetConfigBlockSize() = 0;
    virtual int32_t GetConfigBlock(uint32_t size, uint8_t* buffer) = 0;
    virtual uint32_t GetFirmwareImageSize() = 0;
    virtual int32_t GetFirmwareImage(uint32_t size, uint8_t* buffer) = 0;
    virtual uint32_t GetStorageMode() = 0;
    virtual uint32_t GetValidationMethod() = 0;
    virtual int32_t RebootDeviceIfRequired() = 0;
    virtual int32_t ProgramDevice() = 0;
    virtual int32_t GetOTPSize() = 0;
    virtual int32_t ReadOTP(uint8_t* buffer, uint32_t length) = 0;
    virtual int32_t WriteToRam(const uint8_t* data, uint32_t length) = 0;
    virtual int32_t GetUUID(uint8_t* buffer, uint32_t length) = 0;
    virtual CDevice* Clone() = 0;
    virtual int32_t EP5Arrived();
    virtual int32_t DeviceCameBackAfterReboot();
    virtual bool IsPseudoOTPEnabled();
    virtual ~CDevice();
    virtual bool IsVendorBlockPresent();

    // The queue's scheduling and use counting read and write the fields below
    // under its lock; a device itself knows only its own hub.
    wchar_t instanceId[kDevicePathLength];
    uint32_t hubFamily = HUB_FAMILY_GENERIC;
    uint32_t hubStatus = HUB_STATUS_UNKNOWN;
    bool programmingRequired = false;
    bool newDevice = true;
    bool rebootPending = false;
    int32_t controllerIndex = -1;
    int32_t nodeIndex = -1;
    int32_t programmingUseCount = 0;
};
