// KX7100API.dll: the second-family hubs' vendor library (WinUSB based). Our
// stand-in talks to the simulated fixture (UsbSim.dll); on a production PC
// the maker's library takes its place. Plain C functions, C calling
// convention; status results are _APISTATUS values, 0 meaning success.
#pragma once

#include <cstdint>

#ifndef KX7100_API
#define KX7100_API extern "C" __declspec(dllimport)
#endif

enum _APISTATUS : int32_t {
    KX_STATUS_SUCCESS = 0,
    KX_STATUS_INVALID_PARAMETER = 1,
    KX_STATUS_DEVICE_NOT_OPEN = 2,
    KX_STATUS_DEVICE_NOT_FOUND = 3,     // no WinUSB function, or no USB stack to reach it
    KX_STATUS_WINUSB_ERROR = 4,         // the transfer failed: see KX7100_Get_System_ErrorCode
    KX_STATUS_DEVICE_ERROR = 0x1001,    // the hub refused or failed the request
    KX_STATUS_VERIFY_FAILED = 0x1002,   // flash read back differs from the image
    KX_STATUS_NO_SPI_FLASH = 0x1005,    // no flash answers
    KX_STATUS_UNSUPPORTED_SPI = 0x100A  // unsupported SPI interface or no flash
};

// The WinUSB side of an opened hub. The hub is open when deviceHandle is
// neither 0 nor -1.
struct tagWinusbDevice {
    void* deviceHandle;
    void* interfaceHandle;
    wchar_t devicePath[260];
    uint32_t reserved[4];
};

struct tagDeviceInfo {
    tagWinusbDevice winusb;
    uint8_t hubInfo[16];
    uint32_t passthrough;  // 1 while SPI pass-through is entered
    uint8_t reserved[3144];
};
#if defined(__i386__)
static_assert(sizeof(tagWinusbDevice) == 544, "tagWinusbDevice crosses the boundary");
static_assert(sizeof(tagDeviceInfo) == 3708, "tagDeviceInfo crosses the boundary");
#endif

// Fills the record for the hub with this device interface path: 0, or -1
// when its WinUSB function cannot be opened.
KX7100_API int32_t __cdecl KX7100_USB_WUBuildDeviceInfoFromDeviceName(tagWinusbDevice* device,
                                                                      const wchar_t* devicePath);
// Closes the hub; the caller zeroes the record afterwards.
KX7100_API int32_t __cdecl KX7100_USB_WUDestroyDeviceInfo(tagWinusbDevice* device);

// Extended data space (registers), one byte per address.
KX7100_API int32_t __cdecl KX7100_Device_Read_XDATA_Data(tagDeviceInfo* info, uint16_t address,
                                                         uint8_t* buffer, uint16_t count,
                                                         uint16_t* done);
KX7100_API int32_t __cdecl KX7100_Device_Write_XDATA_Data(tagDeviceInfo* info, uint16_t address,
                                                          uint8_t* data, uint16_t count,
                                                          uint16_t* done);

// OTP content; the counts come back in `done` (a small OTP ends early).
KX7100_API int32_t __cdecl KX7100_OTP_Read_Data(tagDeviceInfo* info, uint16_t offset,
                                                uint8_t* buffer, uint16_t count, uint16_t* done);
KX7100_API int32_t __cdecl KX7100_OTP_Write_Data(tagDeviceInfo* info, uint16_t offset,
                                                 uint8_t* data, uint16_t count, uint16_t* done);

// Version word (little-endian) first. length: the buffer's capacity in, the bytes out.
KX7100_API int32_t __cdecl KX7100_Get_Hub_Info(tagDeviceInfo* info, uint8_t* buffer,
                                               uint32_t* length);
// The Windows error behind this thread's last status 4.
KX7100_API int32_t __cdecl KX7100_Get_System_ErrorCode(uint32_t* code);

// 1 enters, 0 leaves SPI pass-through. Non-zero on success; on failure the
// thread's last error tells why.
KX7100_API int32_t __cdecl KX7100_SPI_SPIPassthruEnterExit(tagDeviceInfo* info, uint8_t enter);
// text receives the flash's identification (at most 15 characters and a terminator).
KX7100_API int32_t __cdecl KX7100_SPI_GetManufactureID(char* text, tagDeviceInfo* info,
                                                       uint8_t spiAccess);
// Flash bytes first..last (inclusive) while firmware runs from SPI.
KX7100_API int32_t __cdecl KX7100_SPI_ReadSPIContent(tagDeviceInfo* info, uint8_t* buffer,
                                                     uint32_t reserved, uint32_t first,
                                                     uint32_t last);
// The same through pass-through, with the hub in ROM.
KX7100_API int32_t __cdecl KX7100_SPI_UploadBinary(tagDeviceInfo* info, uint8_t* buffer,
                                                   uint32_t reserved, uint32_t first, uint32_t last,
                                                   uint8_t spiAccess);
// Writes the image from flash address 0; unless noVerify, reads it back and compares.
KX7100_API int32_t __cdecl KX7100_SPI_LoadBinary(tagDeviceInfo* info, const uint8_t* image,
                                                 uint32_t reserved, int32_t noVerify,
                                                 uint32_t reserved2, uint32_t size,
                                                 uint8_t spiAccess);
// Erases the flash signature, so that the hub boots from ROM next time.
KX7100_API int32_t __cdecl KX7100_SPI_SignatureErase(tagDeviceInfo* info);
