// Handle table of the simulated devices.
#include "SimHandles.h"

namespace usbsim {

CSimHandles::~CSimHandles() {
    for (auto& [handle, id] : targets_) ::CloseHandle(handle);
}

HANDLE CSimHandles::Open(uint32_t nodeId) {
    HANDLE handle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (handle == nullptr) return INVALID_HANDLE_VALUE;
    std::lock_guard<std::mutex> guard(lock_);
    targets_[handle] = nodeId;
    return handle;
}

std::optional<uint32_t> CSimHandles::Target(HANDLE handle) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = targets_.find(handle);
    if (it == targets_.end()) return std::nullopt;
    return it->second;
}

bool CSimHandles::Close(HANDLE handle) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (targets_.erase(handle) == 0) return false;
    }
    ::CloseHandle(handle);
    return true;
}

}  // namespace usbsim
