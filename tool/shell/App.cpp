#include "App.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "Logger.h"
#include "Sheet.h"

const wchar_t kSingleInstanceMutex[] = L"Global\\MiTolvaneTool";

namespace {
bool dumpOtpEnabled = false;
}  // namespace

bool DumpOtpEnabled() {
    return dumpOtpEnabled;
}

bool HasDumpOtpArgument(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine, &count);
    if (!arguments) return false;
    bool found = false;
    for (int i = 0; i < count; ++i) {
        if (_wcsicmp(arguments[i], L"/dumpotp") == 0) found = true;
    }
    LocalFree(arguments);
    return found;
}

int CTolvaneToolApp::InitInstance(const wchar_t* commandLine) {
    CLogger log(L"CTolvaneToolApp::InitInstance");
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kSingleInstanceMutex);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        MessageBoxW(nullptr, L"Another Instance of the Tool already running",
                    L"VARN Quorvel ZRV Hub Tool", MB_OK | MB_ICONINFORMATION);
        CloseHandle(mutex);
        return 1;
    }
    dumpOtpEnabled = HasDumpOtpArgument(commandLine);

    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);
    HMODULE richEdit = LoadLibraryW(L"Msftedit.dll");

    {
        CSheet sheet;
        sheet.Run();
    }
    if (richEdit) FreeLibrary(richEdit);
    if (mutex) CloseHandle(mutex);
    return 0;
}
