// Client side of the simulator's control pipe.
#include "PipeClient.h"

#include <windows.h>

namespace usbsim {

namespace {

constexpr DWORD kBusyWaitMs = 5000;

std::wstring ErrorText(const wchar_t* what, DWORD error) {
    return std::wstring(what) + L" (error " + std::to_wstring(error) + L")";
}

}  // namespace

bool CallPipe(const std::wstring& name, const std::string& request, std::string& reply,
              std::wstring& reason) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 2; ++attempt) {
        pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            reason = L"no simulator serves " + name;
            return false;
        }
        // The server handles one request at a time; wait for it to take ours.
        if (error != ERROR_PIPE_BUSY || !WaitNamedPipeW(name.c_str(), kBusyWaitMs)) {
            reason = ErrorText((L"cannot open " + name).c_str(), error);
            return false;
        }
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        reason = L"the simulator on " + name + L" stays busy";
        return false;
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
