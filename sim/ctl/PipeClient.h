// Sends one request to a simulator's control pipe and reads the reply.
#pragma once

#include <string>

namespace usbsim {

// False with a reason when no simulator answers on the pipe.
bool CallPipe(const std::wstring& name, const std::string& request, std::string& reply,
              std::wstring& reason);

}  // namespace usbsim
