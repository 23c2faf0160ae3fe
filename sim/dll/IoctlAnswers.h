// Answers to the USB I/O controls sent to a simulated host controller or hub,
// in the platform's structure layouts. Name controls follow the Windows
// handshake: a buffer that holds the head gets the needed size in ActualLength
// and succeeds with the name left out; a buffer smaller than the head fails.
#pragma once

#include <windows.h>

#include "SimModel.h"

namespace usbsim {

// Returns ERROR_SUCCESS or the Windows error of the failed control; `returned`
// is the number of bytes written to `out`. `in` and `out` may be one buffer.
DWORD AnswerIoctl(CSimModel& model, uint32_t targetId, DWORD code, const void* in, DWORD inSize,
                  void* out, DWORD outSize, DWORD& returned);

}  // namespace usbsim
