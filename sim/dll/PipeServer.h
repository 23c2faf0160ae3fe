// The named pipe through which usbsimctl reaches the process that loaded the
// fixture. Several pipe instances, each on a thread of its own, take clients
// at once; their requests are handled one at a time. Local clients only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace usbsim {

class CPipeServer {
public:
    using Handler = std::function<std::string(const std::string& request)>;

    // Pipe instances served at once; further clients wait for a free one.
    static constexpr int kInstances = 4;

    ~CPipeServer() { Stop(); }
    // False (with a reason) when the name is served by another process already.
    bool Start(const std::wstring& name, Handler handler, std::string& reason);
    void Stop();
    const std::wstring& Name() const { return name_; }

private:
    struct Instance {
        CPipeServer* server = nullptr;
        HANDLE pipe = INVALID_HANDLE_VALUE;
        HANDLE io = nullptr;  // event of the instance's overlapped operations
        HANDLE thread = nullptr;
    };

    static DWORD WINAPI ThreadMain(LPVOID instance);
    void Serve(Instance& instance);
    // Finishes an overlapped operation (waiting for it or the stop event); the
    // operation's error, ERROR_OPERATION_ABORTED when stopping.
    DWORD Finish(Instance& instance, OVERLAPPED& overlapped, DWORD& bytes);
    bool ReadMessage(Instance& instance, std::string& message);

    std::wstring name_;
    Handler handler_;
    std::mutex handlerLock_;  // one request at a time reaches the handler
    HANDLE stop_ = nullptr;
    std::vector<std::unique_ptr<Instance>> instances_;
};

}  // namespace usbsim
