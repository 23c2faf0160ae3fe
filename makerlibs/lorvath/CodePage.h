// Text between the library's 8-bit strings (system code page) and UTF-16.
#pragma once

#include <string>

namespace lorvath {

std::string NarrowText(const wchar_t* text);
std::wstring WideText(const std::string& text);

}  // namespace lorvath
