// Time the simulated chips spend: chip latency and the pauses callers make
// through the hardware seam, both slept divided by the time scale and counted
// before it, so a benchmark can tell the device's share of a run.
#pragma once

#include <cstdint>

namespace usbsim {

// Sleeps one chip operation's latency (ms before the time scale). Sub-
// millisecond latencies are not lost: each thread keeps a due time, so the
// latencies of back-to-back requests add up and are slept once they reach a
// millisecond, as a device clock that runs on while the caller works.
void SpendChipTime(double unscaledMs);
// Counts a pause made through the seam (ms before the time scale); the caller sleeps it.
void CountPause(double unscaledMs);

struct DeviceTimeTotals {
    double chipMs = 0;   // latency of every chip operation
    double pauseMs = 0;  // pauses through the seam
    uint64_t chipOperations = 0;
    uint64_t pauses = 0;
};
DeviceTimeTotals DeviceTime();
// Back to zero; a fixture load does it.
void ResetDeviceTime();

}  // namespace usbsim
