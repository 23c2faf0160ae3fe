// The texts of the hub statuses: the one table the library, the tool and zrvcli share. Pure,
// without windows.
#pragma once

#include <cstdint>

// The text the operator sees for a hub status (0 to 13); null for other codes.
const wchar_t* HubStatusDisplayText(int32_t status);

// The library's own text, as its programming threads write it to the trace log: the operator's
// text except for 7 ("Programmed Verified Successfully"); empty for statuses without a library
// text (12, 13, 14 and unknown codes).
const wchar_t* HubStatusText(int32_t status);
