// Thin owners for the Win32 objects the library keeps: a critical section,
// a scope that holds one, and a handle closed by the function that goes with
// where it came from (the hardware seam or the system).
#pragma once

#include <windows.h>

// A critical section that lives as long as its owner; usable from static
// initialisation on, so module-level locks need no set-up call.
class CCriticalSection {
public:
    CCriticalSection() { InitializeCriticalSection(&cs_); }
    ~CCriticalSection() { DeleteCriticalSection(&cs_); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

// Holds a critical section for a scope.
class CCriticalSectionGuard {
public:
    explicit CCriticalSectionGuard(CCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~CCriticalSectionGuard() { cs_.Leave(); }
    CCriticalSectionGuard(const CCriticalSectionGuard&) = delete;
    CCriticalSectionGuard& operator=(const CCriticalSectionGuard&) = delete;

private:
    CCriticalSection& cs_;
};

// Closes a system handle.
struct CSystemHandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};

// Owns a handle; null and INVALID_HANDLE_VALUE both mean none. Closer is the
// matching close call (the system's by default; the hardware seam's for
// handles that came from the seam).
template <typename Closer = CSystemHandleCloser>
class COwnedHandle {
public:
    COwnedHandle() = default;
    explicit COwnedHandle(HANDLE handle) : handle_(handle) {}
    ~COwnedHandle() { Reset(); }
    COwnedHandle(const COwnedHandle&) = delete;
    COwnedHandle& operator=(const COwnedHandle&) = delete;
    COwnedHandle(COwnedHandle&& other) noexcept : handle_(other.Release()) {}
    COwnedHandle& operator=(COwnedHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    // Gives the handle up without closing it.
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) Closer()(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

using CSystemHandle = COwnedHandle<>;
