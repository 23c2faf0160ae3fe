// Program launcher: one shell execute, a retry for incomplete associations, then a wait.
#include "ProgramLauncher.h"

#include <windows.h>
#include <shellapi.h>

int LaunchProgram(const LaunchRequest& request) {
    // An empty name would make the shell open a folder window instead of failing.
    if (request.program == nullptr || *request.program == 0) return -1;

    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = request.elevate ? L"runas" : L"open";
    info.lpFile = request.program;
    info.lpParameters = request.parameters;
    info.lpDirectory = request.directory.empty() ? nullptr : request.directory.c_str();
    info.nShow = SW_SHOWNORMAL;

    if (!ShellExecuteExW(&info)) {
        // A document type without this verb: let the shell pick its default action, and
        // let it explain a failure in its own dialog this time.
        const INT_PTR result = reinterpret_cast<INT_PTR>(info.hInstApp);
        if (result == SE_ERR_NOASSOC || result == SE_ERR_ASSOCINCOMPLETE) {
            info.lpVerb = nullptr;
            info.fMask = SEE_MASK_NOCLOSEPROCESS;
            info.hProcess = nullptr;
            ShellExecuteExW(&info);
        }
    }
    if (info.hProcess == nullptr) return -1;

    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (!GetExitCodeProcess(info.hProcess, &exitCode)) exitCode = static_cast<DWORD>(-1);
    CloseHandle(info.hProcess);
    return static_cast<int>(exitCode);
}
