// First-family chip behaviour over its memory.
#include "FirstChip.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace usbsim::first {

const char kOtpArea[] = "otp";
const char kRamArea[] = "ram";
const char kAppliedRamArea[] = "appliedRam";
const char kFlashArea[] = "flash";
const char kBootValue[] = "boot";

namespace {

bool InRange(size_t size, uint32_t offset, uint32_t length) {
    return offset <= size && length <= size - offset;
}

bool SpellsCfgb(const uint8_t* p) {
    static const char kLetters[] = "CFGB";
    for (int i = 0; i < 4; ++i) {
        if (std::toupper(p[i]) != kLetters[i]) return false;
    }
    return true;
}

// Size a block's header and descriptors call for; 0 when they do not fit.
size_t DeclaredSize(const std::vector<uint8_t>& otp, size_t at) {
    if (at + 5 > otp.size() || !SpellsCfgb(&otp[at])) return 0;
    const size_t items = otp[at + 4];
    size_t size = 5 + 3 * items;
    if (at + size > otp.size()) return 0;
    for (size_t i = 0; i < items; ++i) {
        const uint8_t* d = &otp[at + 5 + 3 * i];
        size += static_cast<size_t>(d[1] & 0x07) << 8 | d[2];
    }
    return size;
}

}  // namespace

std::vector<uint8_t> InitialOtp(const FirstFamilyChip& chip) {
    if (chip.otp) return *chip.otp;
    std::vector<uint8_t> otp(kOtpSize, 0);
    if (chip.uuid) {
        memcpy(&otp[kVendorBlockOffset], chip.vendorSignature.data(), 4);
        std::copy(chip.uuid->begin(), chip.uuid->end(), otp.begin() + kUuidOffset);
    }
    size_t at = kConfigAreaOffset;
    for (const auto& block : chip.otpBlocks) {
        const size_t copy = std::min(block.size(), otp.size() - at);
        std::copy(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(copy),
                  otp.begin() + static_cast<std::ptrdiff_t>(at));
        at += copy;
    }
    return otp;
}

void InitialiseMemory(ChipMemory& memory, const ChipSpec& chip) {
    FirstFamilyChip first = chip.first.value_or(FirstFamilyChip{});
    memory.areas[kOtpArea] = InitialOtp(first);
    memory.areas[kRamArea].assign(kRamSize, 0);
    if (first.flash) {
        std::vector<uint8_t>& flash = memory.areas[kFlashArea];
        flash.assign(first.flash->size, 0xFF);
        std::copy(first.flash->image.begin(), first.flash->image.end(), flash.begin());
    }
    for (const auto& [address, value] : chip.registers) memory.registers[address] = value;
    memory.values[kBootValue] = first.bootState;
    memory.initialised = true;
}

uint32_t NextBlockOffset(const std::vector<uint8_t>& otp) {
    size_t at = kConfigAreaOffset;
    while (size_t size = DeclaredSize(otp, at)) at += size;
    // Bytes programmed past the last readable block are used all the same.
    for (size_t i = otp.size(); i > at; --i) {
        if (otp[i - 1] != 0) return static_cast<uint32_t>(i);
    }
    return static_cast<uint32_t>(std::min(at, otp.size()));
}

std::vector<uint8_t>& CFirstChip::Area(const char* name) {
    return memory_.areas[name];
}

const std::vector<uint8_t>* CFirstChip::FindArea(const char* name) const {
    auto it = memory_.areas.find(name);
    return it == memory_.areas.end() ? nullptr : &it->second;
}

uint32_t CFirstChip::ReadOtp(uint32_t offset, uint8_t* out, uint32_t length) const {
    const std::vector<uint8_t>* otp = FindArea(kOtpArea);
    if (otp == nullptr || offset >= otp->size()) return 0;
    const uint32_t count = std::min<uint32_t>(length, static_cast<uint32_t>(otp->size()) - offset);
    memcpy(out, otp->data() + offset, count);
    return count;
}

ChipStatus CFirstChip::ProgramOtp(uint32_t areaOffset, const uint8_t* data, uint32_t length) {
    std::vector<uint8_t>& otp = Area(kOtpArea);
    const uint32_t at = std::max(NextBlockOffset(otp), areaOffset);
    if (length == 0 || !InRange(otp.size(), at, length)) {
        memory_.registers[kOtpStatusRegister] |= kOtpFullBit;
        return ChipStatus::kNoRoom;
    }
    const ChipStatus status = WriteOtp(at, data, length);
    if (status == ChipStatus::kOk) memory_.registers[kOtpStatusRegister] &= ~kOtpFullBit & 0xFF;
    return status;
}

ChipStatus CFirstChip::WriteOtp(uint32_t offset, const uint8_t* data, uint32_t length) {
    std::vector<uint8_t>& otp = Area(kOtpArea);
    if (!InRange(otp.size(), offset, length)) return ChipStatus::kOutOfRange;
    for (uint32_t i = 0; i < length; ++i) {
        if ((otp[offset + i] & ~data[i]) != 0) return ChipStatus::kWouldClearBit;
    }
    for (uint32_t i = 0; i < length; ++i) otp[offset + i] |= data[i];
    return ChipStatus::kOk;
}

ChipStatus CFirstChip::WriteRam(uint32_t offset, const uint8_t* data, uint32_t length) {
    std::vector<uint8_t>& ram = Area(kRamArea);
    ram.resize(kRamSize, 0);
    if (!InRange(ram.size(), offset, length)) return ChipStatus::kOutOfRange;
    memcpy(ram.data() + offset, data, length);
    return ChipStatus::kOk;
}

ChipStatus CFirstChip::ReadRam(uint32_t offset, uint8_t* out, uint32_t length) const {
    const std::vector<uint8_t>* ram = FindArea(kRamArea);
    if (ram == nullptr || !InRange(ram->size(), offset, length)) return ChipStatus::kOutOfRange;
    memcpy(out, ram->data() + offset, length);
    return ChipStatus::kOk;
}

void CFirstChip::ApplyRam() {
    Area(kAppliedRamArea) = Area(kRamArea);
}

void CFirstChip::WriteRegisters(uint32_t address, const uint8_t* data, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) memory_.registers[address + i] = data[i];
}

void CFirstChip::ReadRegisters(uint32_t address, uint8_t* out, uint32_t length) const {
    for (uint32_t i = 0; i < length; ++i) {
        auto it = memory_.registers.find(address + i);
        out[i] = it == memory_.registers.end() ? 0 : it->second;
    }
}

ChipStatus CFirstChip::ReadControl(uint32_t code, uint8_t* out, uint32_t length) const {
    if (code != kControlBootFlags || length != 1) return ChipStatus::kBadRequest;
    out[0] = RunsSpiFirmware() ? kBootFlagSpiFirmware : 0;
    return ChipStatus::kOk;
}

std::string CFirstChip::Boot() const {
    auto it = memory_.values.find(kBootValue);
    return it == memory_.values.end() ? "spi" : it->second;
}

// Firmware runs from the flash only when the boot state says so and the flash
// holds an image ("2DFU" at 0xFFFA); otherwise the hub runs its ROM.
bool CFirstChip::RunsSpiFirmware() const {
    const std::vector<uint8_t>* flash = FindArea(kFlashArea);
    if (Boot() != "spi" || flash == nullptr || flash->size() < kFirmwareTagAddress + 4) {
        return false;
    }
    return memcmp(flash->data() + kFirmwareTagAddress, "2DFU", 4) == 0;
}

void CFirstChip::EnterDfu() {
    memory_.values[kBootValue] = "dfu";
}

bool CFirstChip::HasFlash() const {
    const std::vector<uint8_t>* flash = FindArea(kFlashArea);
    return flash != nullptr && !flash->empty();
}

ChipStatus CFirstChip::WriteFlashStatus(uint8_t value) {
    if (!HasFlash()) return ChipStatus::kNoFlash;
    memory_.values["flashStatus"] = std::to_string(value);
    return ChipStatus::kOk;
}

ChipStatus CFirstChip::ChipErase() {
    if (!HasFlash()) return ChipStatus::kNoFlash;
    std::vector<uint8_t>& flash = Area(kFlashArea);
    std::fill(flash.begin(), flash.end(), 0xFF);
    return ChipStatus::kOk;
}

ChipStatus CFirstChip::SectorErase(uint32_t address) {
    if (!HasFlash()) return ChipStatus::kNoFlash;
    std::vector<uint8_t>& flash = Area(kFlashArea);
    if (address >= flash.size()) return ChipStatus::kOutOfRange;
    const uint32_t start = address - address % kSectorSize;
    std::fill(flash.begin() + start, flash.begin() + start + kSectorSize, 0xFF);
    return ChipStatus::kOk;
}

ChipStatus CFirstChip::PageProgram(uint32_t address, const uint8_t* data, uint32_t length) {
    if (!HasFlash()) return ChipStatus::kNoFlash;
    if (length == 0 || length > kMaxPageProgram) return ChipStatus::kBadRequest;
    std::vector<uint8_t>& flash = Area(kFlashArea);
    if (!InRange(flash.size(), address, length)) return ChipStatus::kOutOfRange;
    for (uint32_t i = 0; i < length; ++i) flash[address + i] &= data[i];
    return ChipStatus::kOk;
}

ChipStatus CFirstChip::ReadFlash(uint32_t address, uint8_t* out, uint32_t length) const {
    const std::vector<uint8_t>* flash = FindArea(kFlashArea);
    if (flash == nullptr || flash->empty()) return ChipStatus::kNoFlash;
    if (length == 0 || length > kMaxFlashRead) return ChipStatus::kBadRequest;
    if (!InRange(flash->size(), address, length)) return ChipStatus::kOutOfRange;
    memcpy(out, flash->data() + address, length);
    return ChipStatus::kOk;
}

}  // namespace usbsim::first
