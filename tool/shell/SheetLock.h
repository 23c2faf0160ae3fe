// The sheet lock: a re-entrant critical section, held for each sheet operation on the tree, the
// node table and the status panes. Re-entrant because those operations call each other and a
// message box opened inside one lets further events run on the same thread.
#pragma once

#include <windows.h>

#include <atomic>

class CSheetLock {
public:
    CSheetLock() { InitializeCriticalSection(&section_); }
    ~CSheetLock() { DeleteCriticalSection(&section_); }
    CSheetLock(const CSheetLock&) = delete;
    CSheetLock& operator=(const CSheetLock&) = delete;

    void Enter() {
        EnterCriticalSection(&section_);
        if (depth_++ == 0) owner_ = GetCurrentThreadId();
    }
    void Leave() {
        if (--depth_ == 0) owner_ = 0;
        LeaveCriticalSection(&section_);
    }
    // True while the calling thread holds the lock, at any depth.
    bool IsHeldHere() const { return owner_ == GetCurrentThreadId(); }

private:
    CRITICAL_SECTION section_;
    int depth_ = 0;  // changed by the owner only
    std::atomic<DWORD> owner_{0};
};

class CSheetLockGuard {
public:
    explicit CSheetLockGuard(CSheetLock& lock) : lock_(lock) { lock_.Enter(); }
    ~CSheetLockGuard() { lock_.Leave(); }
    CSheetLockGuard(const CSheetLockGuard&) = delete;
    CSheetLockGuard& operator=(const CSheetLockGuard&) = delete;

private:
    CSheetLock& lock_;
};
