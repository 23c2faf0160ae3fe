// Erasing, programming and reading a first-family hub's SPI flash. A read that
// an erase depends on (the rest of the last sector, the image around a
// configuration block) must succeed first: the flash is never erased on the
// strength of a failed read.
#include "MiravelSpiFlash.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "Logger.h"
#include "MiravelAccess.h"
#include "MiravelSpiPlan.h"

namespace miravel {

namespace {

int32_t EraseChip(ZelvoAccess* access, const CDevice& device, CLogger& log) {
    const int32_t result = Retry(
        kVendorAttempts, kRetryPauseMs, [&] { return access->ChipErase(0); }, Succeeded);
    if (result != 0) {
        log.Write(2, L"ChipErase for device %s failed, error %d", device.GetDeviceInstanceID(),
                  result);
    }
    return result;
}

int32_t EraseSector(ZelvoAccess* access, uint32_t address) {
    return Retry(
        kVendorAttempts, kRetryPauseMs, [&] { return access->SectorErase(address); }, Succeeded);
}

// Erases the sectors [address, address + count sectors); each is read back
// afterwards (a failed read is only logged).
int32_t EraseSectors(ZelvoAccess* access, const CDevice& device, uint32_t address, uint32_t count,
                     CLogger& log) {
    std::vector<uint8_t> check(kSectorSize);
    for (uint32_t s = 0; s < count; ++s) {
        const uint32_t sector = address + kSectorSize * s;
        const int32_t result = EraseSector(access, sector);
        if (result != 0) {
            log.Write(2, L"Erase sector failed at address %u, error: %d for %s", sector, result,
                      device.GetDeviceInstanceID());
            log.Write(2, L"The device %s may not be in a working state.",
                      device.GetDeviceInstanceID());
            return RESULT_DEVICE_IO_FAILED;
        }
        if (ReadSPIFlash(check.data(), kSectorSize, device, access, sector) != 0) {
            log.Write(2, L"After erasing %dth sector of device %s not \t\t\t\t\t\table to read it",
                      s, device.GetDeviceInstanceID());
        }
    }
    return RESULT_SUCCESS;
}

int32_t ProgramPages(ZelvoAccess* access, const CDevice& device, const uint8_t* data,
                     uint32_t address, uint32_t length, CLogger& log) {
    for (const Piece& piece : SplitIntoPieces(address, length, kPageSize)) {
        const int32_t result = Retry(
            kVendorAttempts, kRetryPauseMs,
            [&] { return access->PageProgram(piece.address, data + piece.offset, piece.length); },
            Succeeded);
        if (result != 0) {
            log.Write(2, L"PageProgram failed at address %ld for device %s",
                      static_cast<long>(piece.address), device.GetDeviceInstanceID());
            return result;
        }
    }
    return RESULT_SUCCESS;
}

// A configuration block at 0xF01E. Over a firmware image the whole image is
// rewritten with the block laid in (one chip erase); over anything else only
// the block's sector is erased and the block's own bytes programmed.
int32_t WriteConfigBlock(const uint8_t* data, ZelvoAccess* access, const CDevice& device,
                         uint32_t size, std::vector<uint8_t>& work, CLogger& log) {
    uint8_t tag[4] = {};
    int32_t result = ReadSPIFlash(tag, sizeof(tag), device, access, kFirmwareTagAddress);
    if (result != 0) return result;
    if (IsFirmwareTag(tag)) {
        if (!ConfigBlockFitsImage(size)) return RESULT_INVALID_DATA;
        work.assign(kFirmwareImageSize, 0);
        result = ReadSPIFlash(work.data(), kFirmwareImageSize, device, access, 0);
        if (result != 0) return result;
        memcpy(work.data() + kFlashConfigAddress, data, size);
        result = EraseChip(access, device, log);
        if (result != 0) return result;
        return ProgramPages(access, device, work.data(), 0, kFirmwareImageSize, log);
    }
    result = EraseSector(access, kFlashConfigAddress);
    if (result != 0) {
        log.Write(2, L"SectorErase failed at address %u", kFlashConfigAddress);
        return result;
    }
    return ProgramPages(access, device, work.data(), kFlashConfigAddress, size, log);
}

// Any other write: the sectors it touches are erased; the rest of its last
// sector is read first and written back.
int32_t WriteSectors(ZelvoAccess* access, const CDevice& device, uint32_t address, uint32_t size,
                     std::vector<uint8_t>& work, CLogger& log) {
    const SectorPlan plan = PlanSectors(size);
    if (plan.keptTail != 0) {
        const int32_t result =
            ReadSPIFlash(work.data() + size, plan.keptTail, device, access, address + size);
        if (result != 0) return result;
    }
    log.Write(2, L"Going to erase %d sectors from address %u", plan.sectorCount, address);
    const int32_t result = EraseSectors(access, device, address, plan.sectorCount, log);
    if (result != 0) return result;
    return ProgramPages(access, device, work.data(), address, plan.programLength, log);
}

}  // namespace

int32_t ProgramSPIFlash(const uint8_t* data, ZelvoAccess* access, const CDevice& device,
                        uint32_t address, uint32_t size) {
    CLogger log(L"CMiravelDevice::ProgramSPIFlash");
    if (data == nullptr || access == nullptr || size == 0) return RESULT_INVALID_PARAMETER;
    int32_t result = Retry(
        kVendorAttempts, kRetryPauseMs, [&] { return access->WriteStatus(0); }, Succeeded);
    if (result != 0) {
        log.Write(2, L"WriteStatus failed for device %s with error: %d\n",
                  device.GetDeviceInstanceID(), result);
    } else {
        std::vector<uint8_t> work(RoundUpToSector(size), 0);
        memcpy(work.data(), data, size);
        switch (ClassifySpiWrite(address, size)) {
            case SpiWriteKind::kWholeImage:
                log.Write(2, L"Doing firmware update for device %s", device.GetDeviceInstanceID());
                result = EraseChip(access, device, log);
                if (result == 0) result = ProgramPages(access, device, work.data(), 0, size, log);
                break;
            case SpiWriteKind::kConfigBlock:
                result = WriteConfigBlock(data, access, device, size, work, log);
                break;
            case SpiWriteKind::kSectors:
                result = WriteSectors(access, device, address, size, work, log);
                break;
        }
    }
    if (result != 0) {
        log.Write(2, L"Programming block to external ROM failed for %s, error %d\n",
                  device.GetDeviceInstanceID(), result);
    }
    return result;
}

int32_t ReadSPIFlash(uint8_t* buffer, uint32_t length, const CDevice& device, ZelvoAccess* access,
                     uint32_t address) {
    CLogger log(L"CMiravelDevice::ReadSPIFlash");
    if (access == nullptr || buffer == nullptr || length == 0) return RESULT_INVALID_PARAMETER;
    static const uint8_t kZeros[kReadPieceSize] = {};
    for (const Piece& piece : SplitIntoPieces(address, length, kReadPieceSize)) {
        access->WriteRam(0, kZeros, kReadPieceSize);
        const int32_t result = Retry(
            3, kRetryPauseMs,
            [&] { return access->ReadFlash(piece.address, buffer + piece.offset, piece.length); },
            Succeeded);
        if (result != 0) {
            log.Write(2, L"PageProgram failed at address %ld for device %s",
                      static_cast<long>(piece.address), device.GetDeviceInstanceID());
            return result;
        }
    }
    return RESULT_SUCCESS;
}

int32_t VerifySPIFlash(ZelvoAccess* access, uint32_t size, const CDevice& device,
                       const uint8_t* image) {
    CLogger log(L"CMiravelDevice::VerifySPIFlash");
    std::unique_ptr<uint8_t[]> read(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
    if (!read) {
        log.Write(2, L"Not able to allocate %d bytes\n", size);
        return RESULT_VALIDATION_FAILED;
    }
    memset(read.get(), 0, size);
    const int32_t result = ReadSPIFlash(read.get(), size, device, access, 0);
    if (result != 0) {
        log.Write(2, L"Data is not written correctly in SPI Flash for device %s, error: %d",
                  device.GetDeviceInstanceID(), result);
        return result;
    }
    if (image == nullptr || memcmp(read.get(), image, size) != 0) {
        log.Write(2, L"Data written and read is not same for device %s",
                  device.GetDeviceInstanceID());
        log.Write(2, L"Data is not written correctly in SPI Flash for device %s, error: %d",
                  device.GetDeviceInstanceID(), RESULT_VERIFY_MISMATCH);
        return RESULT_VERIFY_MISMATCH;
    }
    return RESULT_SUCCESS;
}

}  // namespace miravel
