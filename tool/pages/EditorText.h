// Text between the editor's wide strings and the field library's 8-bit
// strings (system code page).
#pragma once

#include <string>

std::wstring WideFromLibrary(const char* text);
// At most 260 characters are converted, as the library's buffers take.
std::string LibraryFromWide(const std::wstring& text);
