// Whole-text output to the standard streams.
#include "ConsoleText.h"

#include <windows.h>

#include "Text.h"

namespace usbsim {

void WriteText(FILE* stream, const std::wstring& text) {
    fflush(stream);
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::string utf8 = Narrow(text);
    fwrite(utf8.data(), 1, utf8.size(), stream);
    fflush(stream);
}

}  // namespace usbsim
