// Handle table of the simulated devices.
#include "SimHandles.h"

namespace usbsim {

namespace {
// Closed handles kept for reuse, at most this many.
constexpr size_t kSpareLimit = 4096;
}  // namespace

CSimHandles::~CSimHandles() {
    for (auto& [handle, id] : targets_) ::CloseHandle(handle);
    for (HANDLE handle : spare_) ::CloseHandle(handle);
}

HANDLE CSimHandles::Open(uint32_t nodeId) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!spare_.empty()) {
            HANDLE handle = spare_.back();
            spare_.pop_back();
            targets_[handle] = nodeId;
            return handle;
        }
    }
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
        if (spare_.size() < kSpareLimit) {
            spare_.push_back(handle);
            return true;
        }
    }
    ::CloseHandle(handle);
    return true;
}

}  // namespace usbsim
