// Chooses the hardware table once: the Win32 API, or the simulated fixture's
// table from UsbSim.dll when ZRV_USBSIM is set. A simulated line that cannot
// be used (no UsbSim.dll, a fixture that is unreadable or malformed) is
// reported on stderr, to the debugger and in the trace log, and answers as a
// PC without USB controllers: it never falls back to the real USB API.
#include "HardwareApi.h"

#include <cstdio>

#include "Logger.h"
#include "SimulatedLine.h"

namespace {

const HardwareApi kRealApi = {
    ::CreateFileW,
    ::DeviceIoControl,
    ::CloseHandle,
    ::CM_Locate_DevNodeW,
    ::CM_Get_Child,
    ::CM_Get_Sibling,
    ::CM_Get_Parent,
    ::CM_Get_Device_IDW,
    ::CM_Get_DevNode_Registry_PropertyW,
    ::RegisterDeviceNotificationW,
    ::UnregisterDeviceNotification,
    ::Sleep,
    ::WaitForSingleObject,
};

// The table of a PC without USB controllers: only the devnode root exists,
// nothing opens, notifications register but never come.
constexpr DEVINST kRootNode = 1;
const wchar_t kRootId[] = L"HTREE\\ROOT\\0";
int g_registration;  // its address is the one registration handle

HANDLE WINAPI NoCreateFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI NoDeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WINAPI NoCloseHandle(HANDLE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

CONFIGRET WINAPI RootOnlyLocate(PDEVINST node, DEVINSTID_W id, ULONG) {
    if (id != nullptr && id[0] != L'\0' && wcscmp(id, kRootId) != 0) return CR_NO_SUCH_DEVNODE;
    *node = kRootNode;
    return CR_SUCCESS;
}

CONFIGRET WINAPI NoRelative(PDEVINST, DEVINST, ULONG) {
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET WINAPI RootOnlyDeviceId(DEVINST node, PWSTR buffer, ULONG chars, ULONG) {
    if (node != kRootNode) return CR_NO_SUCH_DEVNODE;
    const ULONG length = static_cast<ULONG>(wcslen(kRootId));
    if (chars < length + 1) return CR_BUFFER_SMALL;
    wcscpy(buffer, kRootId);
    return CR_SUCCESS;
}

CONFIGRET WINAPI NoProperty(DEVINST node, ULONG, PULONG, PVOID, PULONG, ULONG) {
    return node == kRootNode ? CR_NO_SUCH_VALUE : CR_NO_SUCH_DEVNODE;
}

HDEVNOTIFY WINAPI SilentRegister(HANDLE, LPVOID, DWORD) {
    return static_cast<HDEVNOTIFY>(&g_registration);
}

BOOL WINAPI SilentUnregister(HDEVNOTIFY handle) {
    return handle == static_cast<HDEVNOTIFY>(&g_registration);
}

const HardwareApi kNoControllersApi = {
    NoCreateFile,     NoDeviceIoControl, NoCloseHandle,         RootOnlyLocate, NoRelative,
    NoRelative,       NoRelative,        RootOnlyDeviceId,      NoProperty,     SilentRegister,
    SilentUnregister, ::Sleep,           ::WaitForSingleObject,
};

std::wstring Environment(const wchar_t* name) {
    std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    if (value.empty()) return value;
    value.resize(GetEnvironmentVariableW(name, &value[0], static_cast<DWORD>(value.size())));
    return value;
}

std::wstring SystemError(const wchar_t* what, DWORD error) {
    return std::wstring(what) + L" (error " + std::to_wstring(error) + L")";
}

// Whole text to stderr: UTF-16 to a console, UTF-8 to a file or pipe.
void WriteStderr(const std::wstring& text) {
    fflush(stderr);
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes,
                            nullptr, nullptr);
    }
    fwrite(utf8.data(), 1, utf8.size(), stderr);
    fflush(stderr);
}

void ReportBrokenLine(const HwLineInfo& line) {
    const std::wstring text = L"ZRV_USBSIM is set but " + line.problem +
                              L"; answering as a PC without USB controllers, not with the real "
                              L"USB API\n";
    OutputDebugStringW(text.c_str());
    WriteStderr(text);
    CLogger log(L"HardwareApi::ChooseApi");
    log.Write(1, L"Simulated line %s unusable: %s", line.fixture.c_str(), line.problem.c_str());
}

// The simulator's reason, when it has one.
std::wstring SimulatorError(HMODULE sim) {
    auto lastError = reinterpret_cast<int(__cdecl*)(wchar_t*, int)>(
        reinterpret_cast<void*>(GetProcAddress(sim, "UsbSimGetLastError")));
    if (lastError == nullptr) return L"";
    std::wstring text(static_cast<size_t>(lastError(nullptr, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(lastError(&text[0], static_cast<int>(text.size()))));
    return text;
}

struct Choice {
    HwLineInfo line;
    const HardwareApi* api = &kRealApi;
};

Choice ChooseApi() {
    Choice choice;
    choice.line.fixture = Environment(L"ZRV_USBSIM");
    if (choice.line.fixture.empty()) return choice;
    choice.line.kind = HwLineKind::kSimulated;
    // The module stays loaded for the life of the process: the table points into it.
    HMODULE sim = LoadLibraryW(L"UsbSim.dll");
    PfnUsbSimGetHardwareApi get = nullptr;
    if (sim == nullptr) {
        choice.line.problem = SystemError(L"UsbSim.dll cannot be loaded", GetLastError());
    } else if ((get = reinterpret_cast<PfnUsbSimGetHardwareApi>(reinterpret_cast<void*>(
                    GetProcAddress(sim, kUsbSimGetHardwareApi)))) == nullptr) {
        choice.line.problem = L"UsbSim.dll has no UsbSimGetHardwareApi";
    } else if ((choice.api = get()) == nullptr) {
        std::wstring reason = SimulatorError(sim);
        choice.line.problem = L"the simulator could not load its fixture" +
                              (reason.empty() ? std::wstring() : L": " + reason);
    }
    if (!choice.line.problem.empty()) {
        choice.line.kind = HwLineKind::kBroken;
        choice.api = &kNoControllersApi;
        ReportBrokenLine(choice.line);
    }
    return choice;
}

const Choice& Chosen() {
    // A function-local static is initialised once, thread-safely, on first use.
    static const Choice choice = ChooseApi();
    return choice;
}

}  // namespace

const HardwareApi& Hw() {
    return *Chosen().api;
}

const HwLineInfo& HwLine() {
    return Chosen().line;
}

extern "C" int32_t __cdecl GetSimulatedLine(wchar_t* buffer, int32_t bufferChars) {
    const HwLineInfo& line = HwLine();
    const std::wstring& text = line.kind == HwLineKind::kBroken ? line.problem : line.fixture;
    if (buffer != nullptr && bufferChars > 0) {
        size_t copy = std::min<size_t>(text.size(), static_cast<size_t>(bufferChars) - 1);
        wmemcpy(buffer, text.c_str(), copy);
        buffer[copy] = L'\0';
    }
    switch (line.kind) {
        case HwLineKind::kSimulated:
            return SIMULATED_LINE_ACTIVE;
        case HwLineKind::kBroken:
            return SIMULATED_LINE_BROKEN;
        default:
            return SIMULATED_LINE_NONE;
    }
}
