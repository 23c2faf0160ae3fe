// Binds UsbSim.dll's second-family exports. The module stays loaded for the
// life of the process; the simulator loads the fixture named by ZRV_USBSIM
// when its hardware table is first asked for, which this does too.
#include "SimulatorLink.h"

#include <windows.h>

namespace {

template <typename T>
bool Bind(HMODULE module, const char* name, T& slot) {
    slot = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return slot != nullptr;
}

SimulatorLink g_link;
DWORD g_bindError = ERROR_SUCCESS;
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK BindSimulator(PINIT_ONCE, PVOID, PVOID* context) {
    HMODULE module = LoadLibraryW(L"UsbSim.dll");
    if (module == nullptr) {
        g_bindError = GetLastError();
        return TRUE;
    }
    using PfnGetApi = const void*(__cdecl*)();
    PfnGetApi getApi = nullptr;
    SimulatorLink link = {};
    bool ok = Bind(module, "UsbSimGetHardwareApi", getApi) &&
              Bind(module, "UsbSimSecondOpen", link.open) &&
              Bind(module, "UsbSimSecondClose", link.close) &&
              Bind(module, "UsbSimSecondReadRegister", link.readRegister) &&
              Bind(module, "UsbSimSecondWriteRegister", link.writeRegister) &&
              Bind(module, "UsbSimSecondReadOtp", link.readOtp) &&
              Bind(module, "UsbSimSecondWriteOtp", link.writeOtp) &&
              Bind(module, "UsbSimSecondHubInfo", link.hubInfo) &&
              Bind(module, "UsbSimSecondPassthrough", link.passthrough) &&
              Bind(module, "UsbSimSecondFlashId", link.flashId) &&
              Bind(module, "UsbSimSecondReadFlash", link.readFlash) &&
              Bind(module, "UsbSimSecondLoadFlash", link.loadFlash) &&
              Bind(module, "UsbSimSecondEraseSignature", link.eraseSignature);
    if (!ok) {
        g_bindError = ERROR_PROC_NOT_FOUND;
        return TRUE;
    }
    getApi();  // loads ZRV_USBSIM's fixture when nothing was loaded yet
    g_link = link;
    *context = &g_link;
    return TRUE;
}

}  // namespace

const SimulatorLink* Simulator() {
    void* link = nullptr;
    InitOnceExecuteOnce(&g_once, BindSimulator, nullptr, &link);
    if (link == nullptr) SetLastError(g_bindError);
    return static_cast<const SimulatorLink*>(link);
}
