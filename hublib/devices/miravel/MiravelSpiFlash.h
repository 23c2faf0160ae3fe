// SPI flash work of the first family on an open access object: erase and
// program (ProgramSPIFlash), read back in 1024-byte pieces (ReadSPIFlash) and
// compare a whole image (VerifySPIFlash). The device only names the hub in
// messages. Results: 0, a driver code, or the failing vendor call's code.
#pragma once

#include <cstdint>

#include "Device.h"
#include "ZelvoApi.h"

namespace miravel {

int32_t ProgramSPIFlash(const uint8_t* data, ZelvoAccess* access, const CDevice& device,
                        uint32_t address, uint32_t size);
int32_t ReadSPIFlash(uint8_t* buffer, uint32_t length, const CDevice& device, ZelvoAccess* access,
                     uint32_t address);
int32_t VerifySPIFlash(ZelvoAccess* access, uint32_t size, const CDevice& device,
                       const uint8_t* image);

}  // namespace miravel
