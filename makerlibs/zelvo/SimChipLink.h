// The simulated chip's entry points in UsbSim.dll, looked up by name. Each
// link holds its own reference to the module and releases it when destroyed.
#pragma once

#include <windows.h>

#include "UsbSimApi.h"

struct SimChipFunctions {
    decltype(&UsbSimFirstOpen) Open;
    decltype(&UsbSimFirstClose) Close;
    decltype(&UsbSimFirstReadOtp) ReadOtp;
    decltype(&UsbSimFirstProgramOtp) ProgramOtp;
    decltype(&UsbSimFirstReadRam) ReadRam;
    decltype(&UsbSimFirstWriteRam) WriteRam;
    decltype(&UsbSimFirstApplyRam) ApplyRam;
    decltype(&UsbSimFirstAccessRegister) AccessRegister;
    decltype(&UsbSimFirstReadControl) ReadControl;
    decltype(&UsbSimFirstRebootToDfu) RebootToDfu;
    decltype(&UsbSimFirstWriteStatus) WriteStatus;
    decltype(&UsbSimFirstChipErase) ChipErase;
    decltype(&UsbSimFirstSectorErase) SectorErase;
    decltype(&UsbSimFirstPageProgram) PageProgram;
    decltype(&UsbSimFirstReadFlash) ReadFlash;
};

class CSimChipLink {
public:
    CSimChipLink();
    ~CSimChipLink();
    CSimChipLink(const CSimChipLink&) = delete;
    CSimChipLink& operator=(const CSimChipLink&) = delete;

    // Null when UsbSim.dll or one of its functions is missing; LoadError() says why.
    const SimChipFunctions* Functions() const { return ready_ ? &functions_ : nullptr; }
    DWORD LoadError() const { return loadError_; }

private:
    HMODULE module_ = nullptr;
    SimChipFunctions functions_ = {};
    bool ready_ = false;
    DWORD loadError_ = ERROR_SUCCESS;
};
