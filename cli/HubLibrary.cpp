#include "HubLibrary.h"

#include <string>

#include "ConsoleText.h"
#include "SimulatedLine.h"

namespace {

template <typename F>
bool BindOne(const CLibrary& lib, F& slot, const char* name, const char** missing) {
    slot = lib.Bind<F>(name);
    if (slot == nullptr && *missing == nullptr) *missing = name;
    return slot != nullptr;
}

}  // namespace

bool CLibrary::BindAll(HubExports& e, const char** missing) const {
    const char* first = nullptr;
#define ZRV_BIND(name) BindOne(*this, e.name, #name, &first)
    ZRV_BIND(CreateDeviceTreeUI);
    ZRV_BIND(FinishedUsingDeviceTreeUI);
    ZRV_BIND(GetDeviceIndicesUI);
    ZRV_BIND(SetConfigurationBlock);
    ZRV_BIND(SetFirmwarImage);
    ZRV_BIND(SetProgrammingRequired);
    ZRV_BIND(SetStorageMode);
    ZRV_BIND(GetStorageMode);
    ZRV_BIND(SetValidationMethod);
    ZRV_BIND(GetValidationMethod);
    ZRV_BIND(GetHubStatus);
    ZRV_BIND(IsNewDevice);
    ZRV_BIND(IsVendorBlockPresent);
    ZRV_BIND(GetUUID);
    ZRV_BIND(CanDeviceBeRemoved);
    ZRV_BIND(GetHubFamily);
    ZRV_BIND(RegisterNotificationCallback);
    ZRV_BIND(StartProgrammerManager);
    ZRV_BIND(StopProgrammerManager);
    ZRV_BIND(IsProgrammerManagerRunning);
    ZRV_BIND(DumpOTP);
    ZRV_BIND(WriteToRAM);
#undef ZRV_BIND
    if (missing) *missing = first;
    return first == nullptr;
}

bool ReportLine(const CLibrary& lib) {
    auto line = lib.Bind<PfnGetSimulatedLine>("GetSimulatedLine");
    if (line == nullptr) return true;
    const int32_t chars = 1024;
    std::wstring text(chars, L'\0');
    const int32_t kind = line(&text[0], chars);
    text.resize(wcslen(text.c_str()));
    if (kind == SIMULATED_LINE_BROKEN) {
        PrintError(L"zrvcli: the simulated USB line cannot be used: " + text + L"\n");
        return false;
    }
    if (kind == SIMULATED_LINE_ACTIVE) PrintError(L"simulated USB line: " + text + L"\n");
    return true;
}
