// The first-family hub chip as its memory holds it: a 2048-byte OTP whose bits
// only ever go from 0 to 1, a 2048-byte RAM that can be applied, registers, the
// boot state and an optional SPI flash (4096-byte sectors, programming clears
// bits, erasing sets 0xFF). Pure logic over ChipMemory; the simulator's glue
// finds the memory, fires faults, reports changes and sleeps the latency.
#pragma once

#include <cstdint>
#include <string>

#include "ChipMemory.h"
#include "FixtureTypes.h"

namespace usbsim::first {

constexpr uint32_t kOtpSize = 2048;
constexpr uint32_t kRamSize = 2048;
constexpr uint32_t kVendorBlockOffset = 6;
constexpr uint32_t kUuidOffset = 10;
constexpr uint32_t kConfigAreaOffset = 30;
constexpr uint32_t kOtpStatusRegister = 0x523A;
constexpr uint8_t kOtpFullBit = 0x20;
constexpr uint32_t kSectorSize = 4096;
constexpr uint32_t kMaxPageProgram = 256;
constexpr uint32_t kMaxFlashRead = 1024;
constexpr uint32_t kFirmwareTagAddress = 0xFFFA;
// ReadControl(0xF9): bit 7 tells the hub runs the firmware from its SPI flash.
constexpr uint32_t kControlBootFlags = 0xF9;
constexpr uint8_t kBootFlagSpiFirmware = 0x80;

extern const char kOtpArea[];
extern const char kRamArea[];
extern const char kAppliedRamArea[];  // the RAM content at the last apply
extern const char kFlashArea[];
extern const char kBootValue[];  // "spi" or "dfu"

// Fills an uninitialised memory from the fixture's chip description.
void InitialiseMemory(ChipMemory& memory, const ChipSpec& chip);

// The OTP image a fixture describes: vendor block and UUID at offset 6 (or
// blank), blocks one after another from offset 30; or the whole "otp".
std::vector<uint8_t> InitialOtp(const FirstFamilyChip& chip);

enum class ChipStatus {
    kOk,
    kOutOfRange,     // offset or length beyond the memory
    kNoRoom,         // the OTP configuration area cannot take the block
    kWouldClearBit,  // an OTP write that would turn a 1 back into 0
    kNoFlash,
    kBadRequest,  // an unknown control code or an oversized transfer
};

// Offset after the last configuration block of the OTP: blocks are walked
// from offset 30 by their headers; anything programmed beyond them counts too.
uint32_t NextBlockOffset(const std::vector<uint8_t>& otp);

class CFirstChip {
public:
    explicit CFirstChip(ChipMemory& memory) : memory_(memory) {}

    // Copies up to length bytes from offset; the count copied.
    uint32_t ReadOtp(uint32_t offset, uint8_t* out, uint32_t length) const;
    // Appends a block after the last one in the area starting at areaOffset;
    // with no room it sets bit 5 of register 0x523A and changes nothing.
    ChipStatus ProgramOtp(uint32_t areaOffset, const uint8_t* data, uint32_t length);
    // Ors bits into the OTP; refused as a whole if any programmed bit would clear.
    ChipStatus WriteOtp(uint32_t offset, const uint8_t* data, uint32_t length);

    ChipStatus WriteRam(uint32_t offset, const uint8_t* data, uint32_t length);
    ChipStatus ReadRam(uint32_t offset, uint8_t* out, uint32_t length) const;
    void ApplyRam();

    // Registers are bytes at consecutive addresses; unknown ones read 0.
    void WriteRegisters(uint32_t address, const uint8_t* data, uint32_t length);
    void ReadRegisters(uint32_t address, uint8_t* out, uint32_t length) const;
    ChipStatus ReadControl(uint32_t code, uint8_t* out, uint32_t length) const;

    bool RunsSpiFirmware() const;
    void EnterDfu();
    std::string Boot() const;

    bool HasFlash() const;
    ChipStatus WriteFlashStatus(uint8_t value);
    ChipStatus ChipErase();
    ChipStatus SectorErase(uint32_t address);
    // Clears bits only (flash AND data); may cross a page boundary.
    ChipStatus PageProgram(uint32_t address, const uint8_t* data, uint32_t length);
    ChipStatus ReadFlash(uint32_t address, uint8_t* out, uint32_t length) const;

private:
    std::vector<uint8_t>& Area(const char* name);
    const std::vector<uint8_t>* FindArea(const char* name) const;

    ChipMemory& memory_;
};

}  // namespace usbsim::first
