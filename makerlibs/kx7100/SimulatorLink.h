// The simulated fixture's second-family exports, bound once by name from
// UsbSim.dll on first use (never from DllMain).
#pragma once

#include "UsbSimApi.h"

struct SimulatorLink {
    PfnUsbSimSecondOpen open;
    PfnUsbSimSecondClose close;
    PfnUsbSimSecondReadRegister readRegister;
    PfnUsbSimSecondWriteRegister writeRegister;
    PfnUsbSimSecondReadOtp readOtp;
    PfnUsbSimSecondWriteOtp writeOtp;
    PfnUsbSimSecondHubInfo hubInfo;
    PfnUsbSimSecondPassthrough passthrough;
    PfnUsbSimSecondFlashId flashId;
    PfnUsbSimSecondReadFlash readFlash;
    PfnUsbSimSecondLoadFlash loadFlash;
    PfnUsbSimSecondEraseSignature eraseSignature;
};

// Null when UsbSim.dll or one of its exports is missing (the reason is in
// the thread's last error).
const SimulatorLink* Simulator();
