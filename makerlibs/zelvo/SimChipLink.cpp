// Loading UsbSim.dll's chip functions (never from DllMain: objects are made
// by CreateZelvoAccess).
#include "SimChipLink.h"

namespace {

template <typename F>
bool Find(HMODULE module, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

}  // namespace

CSimChipLink::CSimChipLink() {
    module_ = LoadLibraryW(L"UsbSim.dll");
    if (module_ == nullptr) {
        loadError_ = GetLastError();
        return;
    }
    SimChipFunctions& f = functions_;
    ready_ = Find(module_, "UsbSimFirstOpen", f.Open) &&
             Find(module_, "UsbSimFirstClose", f.Close) &&
             Find(module_, "UsbSimFirstReadOtp", f.ReadOtp) &&
             Find(module_, "UsbSimFirstProgramOtp", f.ProgramOtp) &&
             Find(module_, "UsbSimFirstReadRam", f.ReadRam) &&
             Find(module_, "UsbSimFirstWriteRam", f.WriteRam) &&
             Find(module_, "UsbSimFirstApplyRam", f.ApplyRam) &&
             Find(module_, "UsbSimFirstAccessRegister", f.AccessRegister) &&
             Find(module_, "UsbSimFirstReadControl", f.ReadControl) &&
             Find(module_, "UsbSimFirstRebootToDfu", f.RebootToDfu) &&
             Find(module_, "UsbSimFirstWriteStatus", f.WriteStatus) &&
             Find(module_, "UsbSimFirstChipErase", f.ChipErase) &&
             Find(module_, "UsbSimFirstSectorErase", f.SectorErase) &&
             Find(module_, "UsbSimFirstPageProgram", f.PageProgram) &&
             Find(module_, "UsbSimFirstReadFlash", f.ReadFlash);
    if (!ready_) loadError_ = ERROR_PROC_NOT_FOUND;
}

CSimChipLink::~CSimChipLink() {
    if (module_ != nullptr) FreeLibrary(module_);
}
