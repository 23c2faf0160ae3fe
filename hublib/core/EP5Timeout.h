// How long a hub waits for its fifth endpoint before it is taken as a
// first-family hub. Read once when the library is loaded.
#pragma once

#include <cstdint>

constexpr uint32_t kDefaultEP5TimeoutMs = 10000;

// Seconds from the registry turned into the wait: below 25 counts, anything
// else (or nothing) keeps the default.
uint32_t EP5TimeoutFromSeconds(bool present, uint32_t seconds);

void LoadEP5Timeout();
uint32_t EP5TimeoutMs();
