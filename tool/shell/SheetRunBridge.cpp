// CSheet's run control as far as the pages need it: start and stop the library's programmer
// manager in the mode the "Execution Options" menu shows.
#include "../res/resource.h"
#include "Logger.h"
#include "Sheet.h"

namespace {
using PfnStartProgrammerManager = int32_t(__cdecl*)(bool);
using PfnStopProgrammerManager = int32_t(__cdecl*)();
}  // namespace

bool CSheet::PrepareProgramming(const wchar_t*) {
    CLogger log(L"CSheet::PrepareProgramming");
    CSheetLockGuard guard(lock_);
    return true;
}

bool CSheet::StartProgramming() {
    CLogger log(L"CSheet::StartProgramming");
    const bool once =
        (GetMenuState(menu_, ID_PROGRAMOPTIONS_PROGRAMONCE, MF_BYCOMMAND) & MF_CHECKED) != 0;
    auto running =
        HubExport<PfnIsProgrammerManagerRunning>(libraryModule_, "IsProgrammerManagerRunning");
    auto start = HubExport<PfnStartProgrammerManager>(libraryModule_, "StartProgrammerManager");
    if (!running) return false;
    if (running()) {
        ShowStatus(L"Programming could not be started");
        return false;
    }
    if (!PrepareProgramming(nullptr)) return false;
    log.Write(2, L"Calling StartProgramming after prepare programming");
    const int32_t result = start ? start(once) : -1;
    log.Write(2, L"Returned after calling StartProgramming");
    if (result != 0) {
        ShowStatus(L"Cannot start programming");
        return false;
    }
    ShowStatus(L"Started programming");
    return true;
}

bool CSheet::StopProgramming() {
    CLogger log(L"CSheet::StopProgramming");
    auto stop = HubExport<PfnStopProgrammerManager>(libraryModule_, "StopProgrammerManager");
    return stop && stop() == 0;
}
