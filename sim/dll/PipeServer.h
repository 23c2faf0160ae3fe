// The named pipe through which usbsimctl reaches the process that loaded the
// fixture. One request at a time on a thread of its own; local clients only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace usbsim {

class CPipeServer {
public:
    using Handler = std::function<std::string(const std::string& request)>;

    ~CPipeServer() { Stop(); }
    // False (with a reason) when the name is served by another process already.
    bool Start(const std::wstring& name, Handler handler, std::string& reason);
    void Stop();
    const std::wstring& Name() const { return name_; }

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Serve();
    // Waits for an overlapped operation or the stop event; false when stopping or failed.
    bool Wait(OVERLAPPED& overlapped, DWORD& bytes);
    bool ReadMessage(std::string& message);

    std::wstring name_;
    Handler handler_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE stop_ = nullptr;
    HANDLE io_ = nullptr;
    HANDLE thread_ = nullptr;
};

}  // namespace usbsim
