// Named pipe server of the simulator.
#include "PipeServer.h"

namespace usbsim {

namespace {
constexpr DWORD kBufferSize = 64 * 1024;
constexpr size_t kMaxRequest = 64 * 1024 * 1024;
}  // namespace

bool CPipeServer::Start(const std::wstring& name, Handler handler, std::string& reason) {
    Stop();
    pipe_ = CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        kBufferSize, kBufferSize, 0, nullptr);
    if (pipe_ == INVALID_HANDLE_VALUE) {
        reason = "cannot create the pipe (error " + std::to_string(GetLastError()) +
                 "; is another simulator serving it?)";
        return false;
    }
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    io_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    name_ = name;
    handler_ = std::move(handler);
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (stop_ == nullptr || io_ == nullptr || thread_ == nullptr) {
        reason = "cannot start the pipe thread (error " + std::to_string(GetLastError()) + ")";
        Stop();
        return false;
    }
    return true;
}

void CPipeServer::Stop() {
    if (thread_ != nullptr) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    if (stop_ != nullptr) CloseHandle(stop_);
    if (io_ != nullptr) CloseHandle(io_);
    pipe_ = INVALID_HANDLE_VALUE;
    stop_ = io_ = nullptr;
    name_.clear();
}

DWORD WINAPI CPipeServer::ThreadMain(LPVOID self) {
    static_cast<CPipeServer*>(self)->Serve();
    return 0;
}

bool CPipeServer::Wait(OVERLAPPED& overlapped, DWORD& bytes) {
    HANDLE events[2] = {stop_, overlapped.hEvent};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
        CancelIo(pipe_);
        GetOverlappedResult(pipe_, &overlapped, &bytes, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe_, &overlapped, &bytes, FALSE) != FALSE;
}

bool CPipeServer::ReadMessage(std::string& message) {
    message.clear();
    std::string chunk(kBufferSize, '\0');
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = io_;
        ResetEvent(io_);
        DWORD bytes = 0;
        BOOL done = ReadFile(pipe_, &chunk[0], kBufferSize, &bytes, &overlapped);
        DWORD error = done ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_IO_PENDING) {
            error = Wait(overlapped, bytes) ? ERROR_SUCCESS : GetLastError();
            if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return false;
        }
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return false;
        message.append(chunk, 0, bytes);
        if (message.size() > kMaxRequest) return false;
        if (error == ERROR_SUCCESS) return true;
    }
}

void CPipeServer::Serve() {
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = io_;
        ResetEvent(io_);
        DWORD bytes = 0;
        bool connected = ConnectNamedPipe(pipe_, &overlapped) != FALSE;
        DWORD error = connected ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_IO_PENDING) {
            connected = Wait(overlapped, bytes);
        } else {
            connected = error == ERROR_SUCCESS || error == ERROR_PIPE_CONNECTED;
        }
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return;
        std::string request;
        if (connected && ReadMessage(request)) {
            std::string reply = handler_(request);
            OVERLAPPED write = {};
            write.hEvent = io_;
            ResetEvent(io_);
            if (!WriteFile(pipe_, reply.data(), static_cast<DWORD>(reply.size()), &bytes, &write) &&
                GetLastError() == ERROR_IO_PENDING) {
                Wait(write, bytes);
            }
            FlushFileBuffers(pipe_);
        }
        DisconnectNamedPipe(pipe_);
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return;
    }
}

}  // namespace usbsim
