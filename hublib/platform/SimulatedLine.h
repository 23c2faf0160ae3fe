// Which USB line the hub library runs on, for programs that show it (zrvcli
// prints it, the tool's title bar can carry it). Exported by the library as
// GetSimulatedLine; the first call chooses the seam's table if nothing has yet.
#pragma once

#include <stdint.h>
#include <wchar.h>

#define SIMULATED_LINE_NONE 0     // the real USB API
#define SIMULATED_LINE_ACTIVE 1   // text: the fixture ZRV_USBSIM names
#define SIMULATED_LINE_BROKEN -1  // text: why the fixture cannot be used; no controllers answer

// Copies the text (zero-terminated, cut to fit) when buffer is not null.
typedef int32_t(__cdecl* PfnGetSimulatedLine)(wchar_t* buffer, int32_t bufferChars);
