// CTorvikDevice: the second-family hub. It is reached through its vendor
// function on the fifth endpoint (WinUSB, driven by KX7100API.dll), boots from
// ROM or from SPI firmware, and keeps configuration blocks in an OTP with a
// programming counter and an index (TorvikOtpLayout.h).
//
// Files: TorvikDevice.cpp (settings, opening, ProgramDevice),
// TorvikFirmware.cpp (boot state, ROM switch, SPI flash), TorvikOtpStorage.cpp
// (OTP operations), FifthEndpoint.cpp (the free functions the queue uses).
#pragma once

#include <cstdint>
#include <vector>

#include "Device.h"
#include "KX7100API.h"
#include "TorvikOtpLayout.h"

class CTorvikDevice : public CDevice {
public:
    static constexpr uint32_t kRegBootStatus = 0x080A;
    static constexpr uint32_t kRegCacheControl = 0x2400;
    static constexpr uint32_t kRegOtpSize = 0x201C;
    static constexpr uint32_t kPseudoOtpAddress = 0x7FFA;
    static constexpr uint32_t kSpiBufferSize = 0x20000;
    static constexpr uint32_t kMinImageSize = 0xFFFE;
    static constexpr uint32_t kMaxImageSize = 0x20000;

    CTorvikDevice(const wchar_t* path, uint32_t length);
    CTorvikDevice(const CTorvikDevice& other);
    ~CTorvikDevice() override;

    // Family operations.
    bool SetProgrammingRequired(bool required) override;
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
    int32_t EP5Arrived() override;
    int32_t DeviceCameBackAfterReboot() override;
    bool IsPseudoOTPEnabled() override;
    bool IsVendorBlockPresent() override;

    // Opening: the library module once per process, then the WinUSB record
    // (5 attempts, 1000 ms apart).
    bool OpenWinUSBDeviceHandle();
    bool IsOpen() const;
    void CloseWinUSBDeviceHandle();

    // Boot state and the switch from SPI firmware to ROM (TorvikFirmware.cpp).
    bool CheckAndRebootIfTorvikRunningfromSPI();
    // 1 ROM, 2 SPI, 3 unknown.
    int32_t CheckTorvikBootDevice();
    // 0 unknown, 1 version word 0x0108, 2 version word 0x0109 and up.
    int32_t GetTorvikRomVersion();
    int32_t ReadSPIContent(uint8_t* buffer, uint32_t firstAddress, uint32_t* length);
    int32_t WriteSPIFlashDevice();
    int32_t ProgramSPIFlash();
    int32_t VerifySPIFlash();

    // OTP storage (TorvikOtpStorage.cpp).
    bool OTPStorageEndOffsets();
    int32_t OTPStorageHandler();
    int32_t PrepareOTPDataFromConfigBlock();
    int32_t ProgOtpConfiguration();
    int32_t ProgramAndVerifyOTP();
    int32_t VerifyOTP();

    uint32_t storageMode = STORAGE_UNKNOWN;
    uint32_t validationMethod = VALIDATION_NONE;
    std::vector<uint8_t> configBlock;
    std::vector<uint8_t> firmwareImage;
    tagDeviceInfo deviceInfo;
    int32_t romVersion = torvik::kRomUnknown;
    uint16_t otpIndexStart = 0;
    uint16_t otpDataEnd = 0;
    uint8_t spiAccessFlag = 1;
    uint8_t otpImage[torvik::kMaxOtpSize] = {};
    bool verifyAfterWrite = true;

private:
    bool ReadPseudoOtpByte(uint8_t& value);
    // Library statuses (0 success).
    int32_t ReadRegister(uint32_t address, uint8_t& value);
    int32_t WriteRegister(uint32_t address, uint8_t value);
    bool ReadHubVersionWord(uint16_t& word, uint32_t& length);
};

// Opens the hub for the scope of an operation when it is not open yet, and
// closes it again at the end when it opened it.
class CTorvikSession {
public:
    explicit CTorvikSession(CTorvikDevice& device)
        : device_(device), opened_(!device.IsOpen() && device.OpenWinUSBDeviceHandle()) {}
    ~CTorvikSession() {
        if (opened_) device_.CloseWinUSBDeviceHandle();
    }
    CTorvikSession(const CTorvikSession&) = delete;
    CTorvikSession& operator=(const CTorvikSession&) = delete;
    bool IsOpen() const { return device_.IsOpen(); }

private:
    CTorvikDevice& device_;
    bool opened_;
};

// The library module, loaded by name once per process and never released.
bool LoadKX7100Library();
bool IsKX7100LibraryLoaded();

// A failed library call in the log: status 4 with the Windows error behind it,
// anything else with its status.
class CLogger;
void LogLibraryFailure(CLogger& log, int32_t status, const wchar_t* function, const wchar_t* path);

// Free operations used by the device queue (FifthEndpoint.cpp).
// 1 when a WinUSB vendor function hangs below the hub, else 0.
int32_t IsWinUSBDeviceEnumerated(const wchar_t* hubPath);
// Sends the two vendor requests that make the hub show its vendor function.
int32_t EnableFifthEndpoint(const wchar_t* hubPath);
