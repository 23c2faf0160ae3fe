// SPI flash write planning of the first-family driver.
#include "MiravelSpiPlan.h"

#include <cstring>

namespace miravel {

SpiWriteKind ClassifySpiWrite(uint32_t address, uint32_t size) {
    if (address == 0 && size == kFirmwareImageSize) return SpiWriteKind::kWholeImage;
    if (address == kFlashConfigAddress) return SpiWriteKind::kConfigBlock;
    return SpiWriteKind::kSectors;
}

SectorPlan PlanSectors(uint32_t size) {
    SectorPlan plan;
    const uint32_t remainder = size % kSectorSize;
    plan.sectorCount = size / kSectorSize + (remainder != 0 ? 1 : 0);
    plan.keptTail = remainder != 0 ? kSectorSize - remainder : 0;
    plan.programLength = size + plan.keptTail;
    return plan;
}

uint32_t RoundUpToSector(uint32_t size) {
    return PlanSectors(size).programLength;
}

std::vector<Piece> SplitIntoPieces(uint32_t address, uint32_t length, uint32_t pieceSize) {
    std::vector<Piece> pieces;
    if (pieceSize == 0) return pieces;
    for (uint32_t offset = 0; offset < length; offset += pieceSize) {
        const uint32_t piece = length - offset < pieceSize ? length - offset : pieceSize;
        pieces.push_back(Piece{address + offset, offset, piece});
    }
    return pieces;
}

bool IsFirmwareTag(const uint8_t* tag) {
    return tag != nullptr && memcmp(tag, "2DFU", 4) == 0;
}

bool ConfigBlockFitsImage(uint32_t size) {
    return size <= kFirmwareTagAddress - kFlashConfigAddress;
}

}  // namespace miravel
