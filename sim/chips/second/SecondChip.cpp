// Second-family chip logic over its memory.
#include "SecondChip.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace usbsim {

namespace {

constexpr const char* kOtp = "otp";
constexpr const char* kFlash = "flash";
constexpr const char* kRomVersion = "romVersion";
constexpr const char* kFirmwareVersion = "firmwareVersion";
constexpr const char* kManufacturer = "manufacturer";

uint8_t OtpSizeCode(uint32_t size) {
    return size == 512 ? 0x06 : size == 1024 ? 0x02 : 0x00;
}

uint16_t NumberValue(const ChipMemory& memory, const char* key, uint16_t fallback) {
    auto it = memory.values.find(key);
    if (it == memory.values.end()) return fallback;
    return static_cast<uint16_t>(std::stoul(it->second, nullptr, 0));
}

}  // namespace

CSecondChip::CSecondChip(ChipMemory& memory, const DeviceSpec& hub) : memory_(memory) {
    if (memory_.initialised || !hub.chip.second) return;
    const SecondFamilyChip& chip = *hub.chip.second;
    memory_.registers = hub.chip.registers;
    memory_.registers[kBootStatus] = chip.boot == "spi" ? 0x00 : 0x04;
    uint8_t& cache = memory_.registers[kCacheControl];
    cache = static_cast<uint8_t>(chip.cacheBit ? (cache | 0x02) : (cache & ~0x02));
    memory_.registers[kOtpSizeRegister] = OtpSizeCode(chip.otpSize);
    memory_.values[kRomVersion] = std::to_string(chip.romVersion);
    memory_.values[kFirmwareVersion] =
        std::to_string(chip.firmwareVersion.value_or(kDefaultFirmwareVersion));
    memory_.areas[kOtp] = chip.otp ? *chip.otp : BlankOtp(chip.romVersion, chip.otpSize);
    if (chip.flash) {
        memory_.values[kManufacturer] = chip.flash->manufacturer;
        std::vector<uint8_t> flash(chip.flash->size, 0xFF);
        std::copy(chip.flash->image.begin(), chip.flash->image.end(), flash.begin());
        if (chip.pseudoOtp && flash.size() > kPseudoOtpAddress) {
            flash[kPseudoOtpAddress] = *chip.pseudoOtp;
        }
        memory_.areas[kFlash] = std::move(flash);
    }
    memory_.initialised = true;
}

std::vector<uint8_t> CSecondChip::BlankOtp(uint16_t romVersionWord, uint32_t size) {
    std::vector<uint8_t> otp(size, 0);
    if (size > 1) otp[1] = 0xFF;
    if (romVersionWord == 0x0108) {
        for (int64_t slot = static_cast<int64_t>(size) - 5; slot >= 2; slot -= 5) {
            otp[static_cast<size_t>(slot) + 2] = 0xFF;
        }
    }
    return otp;
}

uint8_t CSecondChip::ReadRegister(uint32_t address) const {
    auto it = memory_.registers.find(address);
    return it == memory_.registers.end() ? 0 : it->second;
}

void CSecondChip::WriteRegister(uint32_t address, uint8_t value) {
    if (address == kBootStatus || address == kOtpSizeRegister) return;
    memory_.registers[address] = value;
}

bool CSecondChip::RunsFromRom() const {
    return (ReadRegister(kBootStatus) & 0x04) != 0;
}

uint16_t CSecondChip::RomVersionWord() const {
    return NumberValue(memory_, kRomVersion, 0x0109);
}

uint16_t CSecondChip::VersionWord() const {
    return RunsFromRom() ? RomVersionWord()
                         : NumberValue(memory_, kFirmwareVersion, kDefaultFirmwareVersion);
}

std::vector<uint8_t> CSecondChip::HubInfo() const {
    const uint16_t version = VersionWord();
    const uint16_t rom = RomVersionWord();
    return {static_cast<uint8_t>(version & 0xFF),
            static_cast<uint8_t>(version >> 8),
            static_cast<uint8_t>(rom & 0xFF),
            static_cast<uint8_t>(rom >> 8),
            ReadRegister(kBootStatus),
            ReadRegister(kOtpSizeRegister)};
}

uint32_t CSecondChip::OtpSize() const {
    auto it = memory_.areas.find(kOtp);
    return it == memory_.areas.end() ? 0 : static_cast<uint32_t>(it->second.size());
}

uint32_t CSecondChip::ReadOtp(uint32_t offset, uint8_t* buffer, uint32_t count) const {
    auto it = memory_.areas.find(kOtp);
    if (it == memory_.areas.end() || offset >= it->second.size()) return 0;
    uint32_t copied = std::min<uint32_t>(count, static_cast<uint32_t>(it->second.size()) - offset);
    memcpy(buffer, it->second.data() + offset, copied);
    return copied;
}

bool CSecondChip::WriteOtp(uint32_t offset, const uint8_t* data, uint32_t count,
                           uint32_t& written) {
    written = 0;
    auto it = memory_.areas.find(kOtp);
    if (it == memory_.areas.end() || offset >= it->second.size()) return false;
    std::vector<uint8_t>& otp = it->second;
    const std::vector<uint8_t> blank =
        BlankOtp(RomVersionWord(), static_cast<uint32_t>(otp.size()));
    const uint32_t inside = std::min<uint32_t>(count, static_cast<uint32_t>(otp.size()) - offset);
    for (uint32_t i = 0; i < inside; ++i) {
        const uint8_t programmed = otp[offset + i] ^ blank[offset + i];
        // A programmed bit must keep its programmed value.
        if ((programmed & (otp[offset + i] ^ data[i])) != 0) return false;
    }
    memcpy(otp.data() + offset, data, inside);
    written = inside;
    return true;
}

std::vector<uint8_t>* CSecondChip::Flash() {
    auto it = memory_.areas.find(kFlash);
    return it == memory_.areas.end() ? nullptr : &it->second;
}

const std::vector<uint8_t>* CSecondChip::Flash() const {
    auto it = memory_.areas.find(kFlash);
    return it == memory_.areas.end() ? nullptr : &it->second;
}

FlashAnswer CSecondChip::IdentifyFlash() const {
    if (Flash() == nullptr) return FlashAnswer::kNone;
    auto it = memory_.values.find(kManufacturer);
    std::string answer = it == memory_.values.end() ? "ok" : it->second;
    return answer == "ok"            ? FlashAnswer::kUsable
           : answer == "unsupported" ? FlashAnswer::kUnsupported
                                     : FlashAnswer::kNone;
}

bool CSecondChip::ReadFlash(uint32_t first, uint32_t last, uint8_t* buffer) const {
    const std::vector<uint8_t>* flash = Flash();
    if (IdentifyFlash() != FlashAnswer::kUsable || first > last || last >= flash->size()) {
        return false;
    }
    memcpy(buffer, flash->data() + first, last - first + 1);
    return true;
}

bool CSecondChip::EraseSector(uint32_t address, const FlashStepFails& fails, FlashWork& work) {
    std::vector<uint8_t>& flash = *Flash();
    const uint32_t start = address - address % kSectorSize;
    if (fails && fails("flashErase", start)) return false;
    std::fill(flash.begin() + start,
              flash.begin() + std::min<size_t>(start + kSectorSize, flash.size()), 0xFF);
    ++work.sectorsErased;
    return true;
}

bool CSecondChip::LoadFlash(const uint8_t* image, uint32_t size, const FlashStepFails& fails,
                            FlashWork& work) {
    std::vector<uint8_t>* flash = Flash();
    if (IdentifyFlash() != FlashAnswer::kUsable || size == 0 || size > flash->size()) return false;
    for (uint32_t address = 0; address < size; address += kSectorSize) {
        if (!EraseSector(address, fails, work)) return false;
    }
    for (uint32_t page = 0; page < size; page += kPageSize) {
        if (fails && fails("flashProgram", page)) return false;
        const uint32_t end = std::min(page + kPageSize, size);
        for (uint32_t i = page; i < end; ++i) (*flash)[i] &= image[i];
        ++work.pagesProgrammed;
    }
    return true;
}

bool CSecondChip::EraseSignature(const FlashStepFails& fails, FlashWork& work) {
    std::vector<uint8_t>* flash = Flash();
    if (IdentifyFlash() != FlashAnswer::kUsable) return false;
    if (fails && fails("signatureErase", kSignatureAddress)) return false;
    // A flash too small to hold the signature has nothing to erase.
    return flash->size() <= kSignatureAddress || EraseSector(kSignatureAddress, nullptr, work);
}

void CSecondChip::RestartInRom() {
    memory_.registers[kBootStatus] = 0x04;
}

}  // namespace usbsim
