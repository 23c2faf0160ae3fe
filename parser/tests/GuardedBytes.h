// Test helper: bytes placed right before an inaccessible page, so any read
// past their end faults instead of passing unnoticed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

class CGuardedBytes {
public:
    explicit CGuardedBytes(const std::vector<uint8_t>& bytes) : size_(bytes.size()) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t span = (size_ + page - 1) / page * page;
        base_ = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (base_ == nullptr) return;
        DWORD old = 0;
        VirtualProtect(base_ + span, page, PAGE_NOACCESS, &old);
        data_ = base_ + span - size_;
        if (size_ > 0) std::memcpy(data_, bytes.data(), size_);
    }
    ~CGuardedBytes() {
        if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
    }
    CGuardedBytes(const CGuardedBytes&) = delete;
    CGuardedBytes& operator=(const CGuardedBytes&) = delete;

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
