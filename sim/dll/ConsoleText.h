// Text to stdout or stderr whole, whatever characters it holds: a console gets
// UTF-16 through WriteConsoleW, a file or pipe gets UTF-8. (The CRT's wide
// printf stops at the first character the C locale cannot convert.)
#pragma once

#include <cstdio>
#include <string>

namespace usbsim {

void WriteText(FILE* stream, const std::wstring& text);

}  // namespace usbsim
