// The first-family driver's use of zelvo.dll: an owned access object, the
// open with its retries, the retry rule of every vendor call, and the family
// detection the device queue asks for.
#pragma once

#include <cstdint>

#include "ZelvoApi.h"

namespace miravel {

// Owns one access object: closed and released when it goes.
class CZelvoObject {
public:
    CZelvoObject() : access_(CreateZelvoAccess()) {}
    ~CZelvoObject();
    CZelvoObject(const CZelvoObject&) = delete;
    CZelvoObject& operator=(const CZelvoObject&) = delete;

    ZelvoAccess* get() const { return access_; }
    ZelvoAccess* operator->() const { return access_; }
    explicit operator bool() const { return access_ != nullptr; }

private:
    ZelvoAccess* access_;
};

// Pause of the seam (scaled in the simulator).
void Pause(uint32_t milliseconds);

// Calls attempt() up to `attempts` times with pauseMs between failed tries
// (none after the last); returns the last result. ok(result) tells success.
template <typename Attempt, typename Ok>
auto Retry(int attempts, uint32_t pauseMs, Attempt attempt, Ok ok) -> decltype(attempt()) {
    auto result = attempt();
    for (int tried = 1; tried < attempts && !ok(result); ++tried) {
        if (pauseMs != 0) Pause(pauseMs);
        result = attempt();
    }
    return result;
}

inline bool Succeeded(int32_t result) {
    return result == 0;
}

constexpr int kVendorAttempts = 4;
constexpr uint32_t kRetryPauseMs = 300;
constexpr uint32_t kOpenPauseMs = 900;
constexpr uint32_t kPathLimit = 200;

// Opens the access object on the hub: up to 3 attempts, each followed by a
// 900 ms pause. -9 for a null argument or a zero limit; else the last Open result.
int32_t OpenMiravelDevice(ZelvoAccess* access, const wchar_t* path, uint32_t limit);

// Writes 0x80 to register 0x0950 (keeps the main-loop ring oscillator running),
// up to 4 attempts; the last result.
int32_t KeepRingOscillatorRunning(ZelvoAccess* access);

}  // namespace miravel

// True when the hub at path answers as a first-family hub: it opens, its OTP
// holds a vendor block at offset 6. token must be non-null.
bool IsDeviceMiravel2(const wchar_t* path, const void* token);

// 0 when the 24 bytes begin with "VNDR" in any case, else -16.
int32_t IsVendorBlcokValid(const uint8_t* block);
