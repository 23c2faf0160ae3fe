// Named pipe server of the simulator.
#include "PipeServer.h"

namespace usbsim {

namespace {
constexpr DWORD kBufferSize = 64 * 1024;
constexpr size_t kMaxRequest = 64 * 1024 * 1024;
}  // namespace

bool CPipeServer::Start(const std::wstring& name, Handler handler, std::string& reason) {
    Stop();
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop_ == nullptr) {
        reason = "cannot create an event (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    name_ = name;
    handler_ = std::move(handler);
    for (int i = 0; i < kInstances; ++i) {
        auto instance = std::make_unique<Instance>();
        instance->server = this;
        // The first instance claims the name: a second process on it fails here.
        DWORD first = i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0;
        instance->pipe = CreateNamedPipeW(
            name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | first,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
            kInstances, kBufferSize, kBufferSize, 0, nullptr);
        if (instance->pipe == INVALID_HANDLE_VALUE) {
            reason = "cannot create the pipe (error " + std::to_string(GetLastError()) +
                     (i == 0 ? "; is another simulator serving it?)" : ")");
            Stop();
            return false;
        }
        instance->io = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        instance->thread = instance->io
                               ? CreateThread(nullptr, 0, ThreadMain, instance.get(), 0, nullptr)
                               : nullptr;
        bool started = instance->thread != nullptr;
        instances_.push_back(std::move(instance));
        if (!started) {
            reason = "cannot start a pipe thread (error " + std::to_string(GetLastError()) + ")";
            Stop();
            return false;
        }
    }
    return true;
}

void CPipeServer::Stop() {
    if (stop_ != nullptr) SetEvent(stop_);
    for (auto& instance : instances_) {
        if (instance->thread != nullptr) {
            WaitForSingleObject(instance->thread, INFINITE);
            CloseHandle(instance->thread);
        }
        if (instance->pipe != INVALID_HANDLE_VALUE) CloseHandle(instance->pipe);
        if (instance->io != nullptr) CloseHandle(instance->io);
    }
    instances_.clear();
    if (stop_ != nullptr) CloseHandle(stop_);
    stop_ = nullptr;
    name_.clear();
}

DWORD WINAPI CPipeServer::ThreadMain(LPVOID instance) {
    Instance* self = static_cast<Instance*>(instance);
    self->server->Serve(*self);
    return 0;
}

DWORD CPipeServer::Finish(Instance& instance, OVERLAPPED& overlapped, DWORD& bytes) {
    HANDLE events[2] = {stop_, overlapped.hEvent};
    bool stopping = WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
    if (stopping) CancelIo(instance.pipe);
    // The count comes from here in every case: ReadFile does not report it for
    // an overlapped read that ends with ERROR_MORE_DATA.
    DWORD error = GetOverlappedResult(instance.pipe, &overlapped, &bytes, TRUE) ? ERROR_SUCCESS
                                                                                : GetLastError();
    return stopping ? ERROR_OPERATION_ABORTED : error;
}

bool CPipeServer::ReadMessage(Instance& instance, std::string& message) {
    message.clear();
    std::string chunk(kBufferSize, '\0');
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = instance.io;
        ResetEvent(instance.io);
        DWORD bytes = 0;
        if (!ReadFile(instance.pipe, &chunk[0], kBufferSize, nullptr, &overlapped)) {
            DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return false;
        }
        DWORD error = Finish(instance, overlapped, bytes);
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return false;
        message.append(chunk, 0, bytes);
        if (message.size() > kMaxRequest) return false;
        if (error == ERROR_SUCCESS) return true;
    }
}

void CPipeServer::Serve(Instance& instance) {
    while (WaitForSingleObject(stop_, 0) != WAIT_OBJECT_0) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = instance.io;
        ResetEvent(instance.io);
        DWORD bytes = 0;
        bool connected = ConnectNamedPipe(instance.pipe, &overlapped) != FALSE;
        DWORD error = connected ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_IO_PENDING) {
            connected = Finish(instance, overlapped, bytes) == ERROR_SUCCESS;
        } else {
            connected = error == ERROR_SUCCESS || error == ERROR_PIPE_CONNECTED;
        }
        std::string request;
        if (connected && ReadMessage(instance, request)) {
            std::string reply;
            {
                std::lock_guard<std::mutex> guard(handlerLock_);
                reply = handler_(request);
            }
            OVERLAPPED write = {};
            write.hEvent = instance.io;
            ResetEvent(instance.io);
            if (WriteFile(instance.pipe, reply.data(), static_cast<DWORD>(reply.size()), nullptr,
                          &write) ||
                GetLastError() == ERROR_IO_PENDING) {
                Finish(instance, write, bytes);
            }
            FlushFileBuffers(instance.pipe);
        }
        DisconnectNamedPipe(instance.pipe);
    }
}

}  // namespace usbsim
