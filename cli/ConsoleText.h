// Text to the console or a redirected stream, as UTF-8, flushed at once so
// lines show as they happen.
#pragma once

#include <string>

void Print(const std::wstring& text);
void PrintError(const std::wstring& text);
