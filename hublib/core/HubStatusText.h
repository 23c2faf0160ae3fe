// The library's own text for each hub status, as its programming threads
// write it to the trace log.
#pragma once

#include <cstdint>

// Empty for statuses without a library text (12, 13, 14 and unknown codes).
const wchar_t* HubStatusText(int32_t status);
