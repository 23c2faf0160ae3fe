// Client side of the simulator's control pipe.
#include "PipeClient.h"

#include <windows.h>

namespace usbsim {

namespace {

// How long a client waits for a free pipe instance while the simulator is
// answering others.
constexpr DWORD kBusyWaitMs = 30000;

std::wstring ErrorText(const wchar_t* what, DWORD error) {
    return std::wstring(what) + L" (error " + std::to_wstring(error) + L")";
}

}  // namespace

bool CallPipe(const std::wstring& name, const std::string& request, std::string& reply,
              std::wstring& reason) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    const ULONGLONG deadline = GetTickCount64() + kBusyWaitMs;
    for (;;) {
        pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            reason = L"no simulator serves " + name;
            return false;
        }
        if (error != ERROR_PIPE_BUSY) {
            reason = ErrorText((L"cannot open " + name).c_str(), error);
            return false;
        }
        // Every instance is taken: wait for one to come free. Other waiting
        // clients may take it first, so this goes round until the deadline.
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            reason = L"the simulator on " + name + L" stays busy";
            return false;
        }
        if (!WaitNamedPipeW(name.c_str(), static_cast<DWORD>(deadline - now))) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND) {
                reason = L"no simulator serves " + name;
                return false;
            }
            Sleep(10);
        }
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    DWORD bytes = 0;
    bool ok = SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) &&
              WriteFile(pipe, request.data(), static_cast<DWORD>(request.size()), &bytes, nullptr);
    if (!ok) reason = ErrorText(L"cannot send the request", GetLastError());
    reply.clear();
    char chunk[4096];
    while (ok) {
        if (ReadFile(pipe, chunk, sizeof(chunk), &bytes, nullptr)) {
            reply.append(chunk, bytes);
            break;
        }
        if (GetLastError() != ERROR_MORE_DATA) {
            reason = ErrorText(L"no reply from the simulator", GetLastError());
            ok = false;
            break;
        }
        reply.append(chunk, bytes);
    }
    CloseHandle(pipe);
    return ok;
}

}  // namespace usbsim
