// The simulator's hardware table: the Win32 calls of the seam answered from the
// model. Paths and handles that are not the simulator's go to Windows.
#include <windows.h>

#include <cwctype>

#include "HardwareApi.h"
#include "CmAnswers.h"
#include "DeviceTime.h"
#include "IoctlAnswers.h"
#include "SecondChipUsb.h"
#include "Simulator.h"
#include "Text.h"

namespace usbsim {

namespace {

CSimulator& Sim() {
    return CSimulator::Instance();
}

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix) {
    for (; *prefix != L'\0'; ++text, ++prefix) {
        if (towupper(*text) != towupper(*prefix)) return false;
    }
    return true;
}

// Every "\\.\HCD..." name is the simulated PC's: a real controller must not show
// through. Windows names the links HCD0, HCD1, ...: "HCD", "HCD01" or "HCDx"
// name no controller (-1).
bool IsControllerName(const wchar_t* name) {
    return StartsWithNoCase(name, L"\\\\.\\HCD");
}

int HcdNumber(const wchar_t* name) {
    const wchar_t* digits = name + 7;
    if (*digits == L'\0' || (digits[0] == L'0' && digits[1] != L'\0')) return -1;
    int n = 0;
    for (const wchar_t* p = digits; *p != L'\0'; ++p) {
        if (*p < L'0' || *p > L'9' || n > 1000) return -1;
        n = n * 10 + (*p - L'0');
    }
    return n;
}

bool IsUsbDeviceName(const wchar_t* name) {
    return StartsWithNoCase(name, L"\\\\.\\USB#") || StartsWithNoCase(name, L"\\\\?\\USB#");
}

HANDLE WINAPI SimCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                             DWORD disposition, DWORD flags, HANDLE templateFile) {
    const bool controller = name != nullptr && IsControllerName(name);
    if (name == nullptr || (!controller && !IsUsbDeviceName(name))) {
        return ::CreateFileW(name, access, share, sa, disposition, flags, templateFile);
    }
    const int hcd = controller ? HcdNumber(name) : -1;
    DWORD error = ERROR_SUCCESS;
    uint32_t target = Sim().WithModel([&](CSimModel& model) -> uint32_t {
        const SimNode* node = !controller ? model.FindHub(name + 4)
                              : hcd >= 0  ? model.FindController(static_cast<uint32_t>(hcd))
                                          : nullptr;
        if (node == nullptr) {
            error = ERROR_FILE_NOT_FOUND;
            return 0;
        }
        if (auto fault = model.FireFault(node->id, "open")) {
            error = fault->systemError.value_or(ERROR_GEN_FAILURE);
            return 0;
        }
        return node->id;
    });
    if (target == 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return Sim().Handles().Open(target);
}

BOOL WINAPI SimDeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                               DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
    auto target = Sim().Handles().Target(handle);
    if (!target) {
        return ::DeviceIoControl(handle, code, in, inSize, out, outSize, returned, overlapped);
    }
    if (returned == nullptr && overlapped == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD bytes = 0;
    DWORD error =
        code == kSendVendorRequestIoctl
            ? AnswerVendorRequest(*target, in, inSize, out, outSize, bytes)
            : Sim().WithModel([&](CSimModel& model) {
                  return AnswerIoctl(model, *target, code, in, inSize, out, outSize, bytes);
              });
    if (returned != nullptr) *returned = bytes;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI SimCloseHandle(HANDLE handle) {
    return Sim().Handles().Close(handle) ? TRUE : ::CloseHandle(handle);
}

CONFIGRET WINAPI SimLocateDevNode(PDEVINST devInst, DEVINSTID_W id, ULONG flags) {
    return Sim().WithModel([&](CSimModel& m) { return CmLocateDevNode(m, devInst, id, flags); });
}

CONFIGRET WINAPI SimGetChild(PDEVINST child, DEVINST devInst, ULONG flags) {
    return Sim().WithModel([&](CSimModel& m) { return CmGetChild(m, child, devInst, flags); });
}

CONFIGRET WINAPI SimGetSibling(PDEVINST sibling, DEVINST devInst, ULONG flags) {
    return Sim().WithModel([&](CSimModel& m) { return CmGetSibling(m, sibling, devInst, flags); });
}

CONFIGRET WINAPI SimGetParent(PDEVINST parent, DEVINST devInst, ULONG flags) {
    return Sim().WithModel([&](CSimModel& m) { return CmGetParent(m, parent, devInst, flags); });
}

CONFIGRET WINAPI SimGetDeviceId(DEVINST devInst, PWCHAR buffer, ULONG chars, ULONG flags) {
    return Sim().WithModel(
        [&](CSimModel& m) { return CmGetDeviceId(m, devInst, buffer, chars, flags); });
}

CONFIGRET WINAPI SimGetRegistryProperty(DEVINST devInst, ULONG property, PULONG type, PVOID buffer,
                                        PULONG length, ULONG flags) {
    return Sim().WithModel([&](CSimModel& m) {
        return CmGetRegistryProperty(m, devInst, property, type, buffer, length, flags);
    });
}

HDEVNOTIFY WINAPI SimRegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
    bool passOn = false;
    HDEVNOTIFY handle = Sim().Notifications().Register(recipient, filter, flags, &passOn);
    return passOn ? ::RegisterDeviceNotificationW(recipient, filter, flags) : handle;
}

BOOL WINAPI SimUnregisterDeviceNotification(HDEVNOTIFY handle) {
    return Sim().Notifications().Unregister(handle) ? TRUE : ::UnregisterDeviceNotification(handle);
}

// Every pause is divided by the time scale, so tests and dry runs go faster.
VOID WINAPI SimSleep(DWORD milliseconds) {
    if (milliseconds == INFINITE) return ::Sleep(INFINITE);
    CountPause(milliseconds);
    double scaled = milliseconds / Sim().TimeScale();
    ::Sleep(scaled >= INFINITE - 1.0 ? INFINITE - 1 : static_cast<DWORD>(scaled));
}

// A timed wait is a pause too: its timeout is divided the same way.
DWORD WINAPI SimWaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (milliseconds == INFINITE) return ::WaitForSingleObject(handle, INFINITE);
    double scaled = milliseconds / Sim().TimeScale();
    return ::WaitForSingleObject(
        handle, scaled >= INFINITE - 1.0 ? INFINITE - 1 : static_cast<DWORD>(scaled));
}

const HardwareApi kSimApi = {
    SimCreateFileW,
    SimDeviceIoControl,
    SimCloseHandle,
    SimLocateDevNode,
    SimGetChild,
    SimGetSibling,
    SimGetParent,
    SimGetDeviceId,
    SimGetRegistryProperty,
    SimRegisterDeviceNotificationW,
    SimUnregisterDeviceNotification,
    SimSleep,
    SimWaitForSingleObject,
};

}  // namespace

const HardwareApi* SimHardwareApi() {
    return &kSimApi;
}

}  // namespace usbsim
