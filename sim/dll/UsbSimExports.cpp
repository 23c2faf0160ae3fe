// The exports of UsbSim.dll: thin wrappers over the process's simulator.
#include <windows.h>

#include <cstring>

#include "../UsbSimApi.h"
#include "DeviceTime.h"
#include "Simulator.h"
#include "Text.h"

using usbsim::CSimulator;

namespace {

int CopyText(const std::wstring& text, wchar_t* buffer, int chars) {
    if (buffer != nullptr && chars > 0) {
        size_t copy = std::min<size_t>(text.size(), static_cast<size_t>(chars) - 1);
        memcpy(buffer, text.c_str(), copy * sizeof(wchar_t));
        buffer[copy] = L'\0';
    }
    return static_cast<int>(text.size());
}

int MissingArgument() {
    return USBSIM_ERROR_ARGUMENT;
}

}  // namespace

extern "C" {

const HardwareApi* __cdecl UsbSimGetHardwareApi(void) {
    return CSimulator::Instance().Api();
}

int __cdecl UsbSimLoad(const wchar_t* fixturePath) {
    if (fixturePath == nullptr) return MissingArgument();
    return CSimulator::Instance().LoadFile(fixturePath);
}

int __cdecl UsbSimLoadJson(const char* fixtureJsonUtf8, const wchar_t* baseDir) {
    if (fixtureJsonUtf8 == nullptr) return MissingArgument();
    return CSimulator::Instance().LoadJson(fixtureJsonUtf8, baseDir != nullptr ? baseDir : L"");
}

int __cdecl UsbSimReset(void) {
    return CSimulator::Instance().Reset();
}

int __cdecl UsbSimAttach(const wchar_t* position, const wchar_t* boardPath) {
    if (position == nullptr || boardPath == nullptr) return MissingArgument();
    return CSimulator::Instance().AttachFile(position, boardPath);
}

int __cdecl UsbSimAttachJson(const wchar_t* position, const char* boardJsonUtf8) {
    if (position == nullptr || boardJsonUtf8 == nullptr) return MissingArgument();
    return CSimulator::Instance().AttachJson(position, boardJsonUtf8, L"", "<board text>");
}

int __cdecl UsbSimDetach(const wchar_t* position) {
    if (position == nullptr) return MissingArgument();
    return CSimulator::Instance().Detach(position);
}

int __cdecl UsbSimGetLastError(wchar_t* buffer, int bufferChars) {
    return CopyText(CSimulator::Instance().LastError(), buffer, bufferChars);
}

int __cdecl UsbSimGetPipeName(wchar_t* buffer, int bufferChars) {
    return CopyText(CSimulator::Instance().PipeName(), buffer, bufferChars);
}

void __cdecl UsbSimShutdown(void) {
    CSimulator::Instance().Shutdown();
}

int __cdecl UsbSimWaitIdle(unsigned timeoutMs) {
    return CSimulator::Instance().WaitIdle(timeoutMs) ? USBSIM_OK : USBSIM_ERROR_TIMEOUT;
}

int __cdecl UsbSimReadChipMemory(const wchar_t* instanceId, const char* area, unsigned char* buffer,
                                 int size) {
    if (instanceId == nullptr || area == nullptr || size < 0 || (buffer == nullptr && size > 0)) {
        return MissingArgument();
    }
    std::vector<uint8_t> bytes;
    if (!CSimulator::Instance().ReadChipMemory(instanceId, area, bytes)) {
        return USBSIM_ERROR_NOT_FOUND;
    }
    if (size > 0) memcpy(buffer, bytes.data(), std::min<size_t>(bytes.size(), size));
    return static_cast<int>(bytes.size());
}

int __cdecl UsbSimGetDeviceTime(UsbSimDeviceTime* totals) {
    if (totals == nullptr) return MissingArgument();
    const usbsim::DeviceTimeTotals now = usbsim::DeviceTime();
    totals->chipMs = now.chipMs;
    totals->pauseMs = now.pauseMs;
    totals->chipOperations = now.chipOperations;
    totals->pauses = now.pauses;
    return USBSIM_OK;
}

}  // extern "C"
