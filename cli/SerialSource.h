// Where a hub's serial number comes from: its UUID, as the tool makes it, or
// a counter with a prefix that hands out each value once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ProgramOptions.h"

// Bytes 11 to 15 of the UUID as ten lower-case hex digits; empty when fewer
// than 16 bytes are given.
std::wstring SerialFromUuid(const uint8_t* uuid, size_t size);

// Prefix plus the current value, which then advances by the increment.
// Every value is handed out once, so two hubs never share one, even when a
// hub's run fails afterwards.
class CSerialCounter {
public:
    explicit CSerialCounter(const SerialCounterOptions& options);

    // False when the counter is past its maximum; serial is then empty.
    bool Next(std::wstring& serial);
    // The value the next hub gets ("DONE" once exhausted).
    const std::wstring& Current() const { return current_; }

private:
    SerialCounterOptions options_;
    std::wstring current_;
};
