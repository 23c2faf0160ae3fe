// How long a first-family chip takes for one request, before the time scale.
// A fixture's latency value of 0 (or none) means the default below, figures
// close to a real hub chip with a common SPI NOR flash behind it.
#pragma once

#include <cstdint>

#include "FixtureTypes.h"

namespace usbsim::first {

constexpr double kDefaultRequestUs = 250;     // one vendor control request
constexpr double kDefaultTransferByteUs = 1;  // data stage, per byte (1024 bytes: about 1.3 ms)
constexpr double kDefaultOtpByteUs = 60;      // programming one OTP byte
constexpr double kDefaultFlashPageUs = 700;   // programming one 256-byte page
constexpr double kDefaultSectorEraseMs = 45;  // erasing one 4096-byte sector
constexpr double kDefaultChipEraseMs = 400;   // erasing a 64 KiB flash
constexpr double kDefaultRebootMs = 1500;     // away from the bus during a DFU reboot

enum class ChipOperation {
    kRequest,      // a control request without programming (reads, RAM, registers)
    kOtpProgram,   // bytes: the block programmed
    kPageProgram,  // bytes: the piece programmed
    kSectorErase,
    kChipErase,
};

// Milliseconds of one operation moving `bytes` bytes.
double OperationMs(const LatencySpec& latency, ChipOperation operation, uint32_t bytes);

// Milliseconds a rebooting hub stays off the bus.
double RebootMs(const LatencySpec& latency);

}  // namespace usbsim::first
