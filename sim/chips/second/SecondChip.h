// The second-family hub chip as plain logic over its ChipMemory: boot state
// and registers, hub info, an OTP whose bits move once away from their blank
// value, and the SPI flash behind the hub. No Windows; the simulator's glue
// adds the USB side, latency and faults.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ChipMemory.h"
#include "FixtureTypes.h"

namespace usbsim {

enum class FlashAnswer { kUsable, kUnsupported, kNone };

// Work a flash operation did, for the latency model.
struct FlashWork {
    uint32_t sectorsErased = 0;
    uint32_t pagesProgrammed = 0;
};

// Asked before each sector erase ("flashErase") and page program
// ("flashProgram") with its flash address; true makes that step fail.
using FlashStepFails = std::function<bool(const char* op, uint32_t address)>;

class CSecondChip {
public:
    static constexpr uint32_t kBootStatus = 0x080A;    // bit 2: ROM; 0: SPI firmware
    static constexpr uint32_t kCacheControl = 0x2400;  // bit 1: SPI cache
    static constexpr uint32_t kOtpSizeRegister = 0x201C;
    static constexpr uint32_t kSignatureAddress = 0xFFFA;  // "2DFU" of a bootable image
    static constexpr uint32_t kPseudoOtpAddress = 0x7FFA;
    static constexpr uint32_t kSectorSize = 4096;
    static constexpr uint32_t kPageSize = 256;
    static constexpr uint16_t kDefaultFirmwareVersion = 0x0116;

    // Fills memory from the hub's fixture description the first time.
    CSecondChip(ChipMemory& memory, const DeviceSpec& hub);

    // What a never programmed OTP of this ROM version word holds: counter
    // 00 FF; for ROM 0x0108 an end mark (offset field 00 FF) in every 5-byte
    // index slot, so its index walk stops at once; otherwise zeros.
    static std::vector<uint8_t> BlankOtp(uint16_t romVersionWord, uint32_t size);

    uint8_t ReadRegister(uint32_t address) const;
    // Boot status and OTP size are read-only; writes to them are ignored.
    void WriteRegister(uint32_t address, uint8_t value);

    bool RunsFromRom() const;
    uint16_t RomVersionWord() const;
    // The ROM's version word in ROM, the firmware's while firmware runs from SPI.
    uint16_t VersionWord() const;
    // Version word (little-endian), ROM version word, boot status, OTP size register.
    std::vector<uint8_t> HubInfo() const;

    uint32_t OtpSize() const;
    // Copies up to count bytes from offset; returns how many.
    uint32_t ReadOtp(uint32_t offset, uint8_t* buffer, uint32_t count) const;
    // All or nothing: fails, changing nothing, when a byte would take a bit
    // back to its blank value. Bytes past the end of the OTP are not written;
    // `written` counts those inside.
    bool WriteOtp(uint32_t offset, const uint8_t* data, uint32_t count, uint32_t& written);

    FlashAnswer IdentifyFlash() const;
    // Copies flash bytes first..last (inclusive); false without a usable flash
    // or beyond its end.
    bool ReadFlash(uint32_t first, uint32_t last, uint8_t* buffer) const;
    // Erases the sectors the image covers and programs it from address 0
    // (programming only clears bits). Stops at the first failing step.
    bool LoadFlash(const uint8_t* image, uint32_t size, const FlashStepFails& fails,
                   FlashWork& work);
    // Erases the sector holding the boot signature, so the next start is in ROM.
    bool EraseSignature(const FlashStepFails& fails, FlashWork& work);
    // A start after the signature was erased: the hub runs from ROM.
    void RestartInRom();

private:
    std::vector<uint8_t>* Flash();
    const std::vector<uint8_t>* Flash() const;
    bool EraseSector(uint32_t address, const FlashStepFails& fails, FlashWork& work);

    ChipMemory& memory_;
};

}  // namespace usbsim
