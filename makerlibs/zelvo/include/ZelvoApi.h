// The first-family vendor-access library (zelvo.dll): an access object per
// conversation with one hub. The slot order of ZelvoAccess is binary layout:
// the numbered slots are the ones callers use, the reserved ones keep the
// numbering; never reorder, insert or remove a slot.
//
// Every operation returns 0 on success and a non-zero Windows error code on
// failure (the thread's last error is set to it too), except ReadOtp, which
// returns the number of bytes read (0 on failure). The object is created
// inside zelvo.dll on the process heap; release it with DestroyZelvoAccess or
// delete through the virtual destructor.
#pragma once

#include <cstdint>

class ZelvoAccess {
public:
    // 0: opens the hub by its device interface path (at most maxChars characters).
    virtual int32_t Open(const wchar_t* path, uint32_t maxChars) = 0;
    // 1
    virtual void Close() = 0;
    // 2, 3: RAM bytes at an offset; both return 0 on success.
    virtual int32_t ReadRam(uint32_t offset, uint8_t* buffer, uint32_t length) = 0;
    virtual int32_t WriteRam(uint32_t offset, const uint8_t* data, uint32_t length) = 0;
    // 4: direction 0 writes length bytes from address on, 1 reads them.
    virtual int32_t AccessRegister(uint32_t address, uint32_t direction, uint8_t* buffer,
                                   uint32_t length) = 0;
    virtual int32_t Reserved5() = 0;
    // 6: code 0xF9 with one byte answers the boot flags.
    virtual int32_t ReadControl(uint32_t code, uint32_t length, uint8_t* buffer) = 0;
    virtual int32_t Reserved7() = 0;
    virtual int32_t Reserved8() = 0;
    // 9: appends a block after the last one of the configuration area at areaOffset.
    virtual int32_t ProgramOtp(uint32_t areaOffset, const uint8_t* data, uint16_t length) = 0;
    // 10: returns the number of bytes read.
    virtual int32_t ReadOtp(uint32_t offset, uint8_t* buffer, uint32_t length) = 0;
    // 11 to 13: SPI flash; a page program takes at most 256 bytes, a sector
    // erase clears the 4096-byte sector holding the address.
    virtual int32_t PageProgram(uint32_t address, const uint8_t* data, uint32_t length) = 0;
    virtual int32_t ChipErase(uint32_t reserved) = 0;
    virtual int32_t SectorErase(uint32_t address) = 0;
    virtual int32_t Reserved14() = 0;
    virtual int32_t Reserved15() = 0;
    virtual int32_t Reserved16() = 0;
    // 17: writes the flash status register.
    virtual int32_t WriteStatus(uint8_t value) = 0;
    virtual int32_t Reserved18() = 0;
    virtual int32_t Reserved19() = 0;
    // 20: at most 1024 bytes.
    virtual int32_t ReadFlash(uint32_t address, uint8_t* buffer, uint32_t length) = 0;
    // 21: the hub leaves the bus and returns in DFU mode.
    virtual int32_t RebootToDfu() = 0;
    // 22: makes the RAM content the hub's configuration.
    virtual void ApplyRam() = 0;
    virtual int32_t Reserved23() = 0;
    virtual int32_t Reserved24() = 0;
    // 25
    virtual ~ZelvoAccess() = default;
};
static_assert(sizeof(ZelvoAccess) == sizeof(void*), "ZelvoAccess is a bare interface");

extern "C" {
// A new access object, or null when none can be made.
ZelvoAccess* __cdecl CreateZelvoAccess();
// Releases *access (closing it first) and sets *access to null; null is allowed.
void __cdecl DestroyZelvoAccess(ZelvoAccess** access);
}
