// How the first-family driver lays data into SPI flash: which erase a write
// needs, how much of the last sector must be read and kept, and the pieces
// in which pages are programmed and the flash is read. Pure arithmetic.
#pragma once

#include <cstdint>
#include <vector>

namespace miravel {

constexpr uint32_t kSectorSize = 4096;
constexpr uint32_t kPageSize = 256;
constexpr uint32_t kReadPieceSize = 1024;
constexpr uint32_t kFirmwareImageSize = 65535;
constexpr uint32_t kFlashVendorBlockAddress = 0xF006;
constexpr uint32_t kFlashConfigAddress = 0xF01E;
constexpr uint32_t kFlashConfigAreaSize = 2047;
constexpr uint32_t kFirmwareTagAddress = 0xFFFA;

enum class SpiWriteKind {
    kWholeImage,   // address 0, 65535 bytes: one chip erase
    kConfigBlock,  // address 0xF01E: rewrite the image around it, or erase its sector
    kSectors,      // anything else: erase the sectors it touches, keep the rest of the last
};

SpiWriteKind ClassifySpiWrite(uint32_t address, uint32_t size);

struct SectorPlan {
    uint32_t sectorCount = 0;    // sectors erased from the address on
    uint32_t keptTail = 0;       // bytes after the data up to the end of its last sector
    uint32_t programLength = 0;  // data plus kept tail
};

SectorPlan PlanSectors(uint32_t size);

// size rounded up to a whole number of sectors.
uint32_t RoundUpToSector(uint32_t size);

struct Piece {
    uint32_t address = 0;
    uint32_t offset = 0;  // into the data
    uint32_t length = 0;
};

// Consecutive pieces of at most pieceSize bytes covering [address, address + length).
std::vector<Piece> SplitIntoPieces(uint32_t address, uint32_t length, uint32_t pieceSize);

// "2DFU" in exact case.
bool IsFirmwareTag(const uint8_t* tag);

// True when a block of that size fits at 0xF01E without reaching the firmware tag.
bool ConfigBlockFitsImage(uint32_t size);

}  // namespace miravel
