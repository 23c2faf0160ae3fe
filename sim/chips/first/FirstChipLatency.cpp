// Latency of first-family chip operations.
#include "FirstChipLatency.h"

namespace usbsim::first {

namespace {

double Or(double value, double fallback) {
    return value > 0 ? value : fallback;
}

}  // namespace

double OperationMs(const LatencySpec& latency, ChipOperation operation, uint32_t bytes) {
    const double requestMs =
        (Or(latency.requestUs, kDefaultRequestUs) + kDefaultTransferByteUs * bytes) / 1000.0;
    switch (operation) {
        case ChipOperation::kRequest:
            return requestMs;
        case ChipOperation::kOtpProgram:
            return requestMs + Or(latency.otpByteUs, kDefaultOtpByteUs) * bytes / 1000.0;
        case ChipOperation::kPageProgram:
            return requestMs + Or(latency.flashPageUs, kDefaultFlashPageUs) / 1000.0;
        case ChipOperation::kSectorErase:
            return requestMs + Or(latency.sectorEraseMs, kDefaultSectorEraseMs);
        case ChipOperation::kChipErase:
            return requestMs + Or(latency.chipEraseMs, kDefaultChipEraseMs);
    }
    return requestMs;
}

double RebootMs(const LatencySpec& latency) {
    return Or(latency.rebootMs, kDefaultRebootMs);
}

}  // namespace usbsim::first
