// The USB side of second-family hubs: the two vendor requests on the hub's
// handle that make its fifth-endpoint function appear, and the calls of the
// KX7100API stand-in on that function (UsbSimSecond... exports).
#pragma once

#include <windows.h>

#include <cstdint>

namespace usbsim {

// Hub driver control code that carries a USB setup packet.
constexpr DWORD kSendVendorRequestIoctl = 0x238405;

// Answers kSendVendorRequestIoctl on a hub's handle (in: the setup packet,
// out: the data sent). Takes the model's lock itself.
DWORD AnswerVendorRequest(uint32_t hubNodeId, const void* in, DWORD inSize, void* out,
                          DWORD outSize, DWORD& returned);

}  // namespace usbsim
