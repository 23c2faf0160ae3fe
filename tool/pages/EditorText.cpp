// Code page conversions for the field library.
#include "EditorText.h"

#include <windows.h>

namespace {
constexpr size_t kMaxLibraryText = 260;
}

std::wstring WideFromLibrary(const char* text) {
    if (text == nullptr || *text == '\0') return std::wstring();
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], size);
    wide.resize(static_cast<size_t>(size - 1));
    return wide;
}

std::string LibraryFromWide(const std::wstring& text) {
    const std::wstring limited = text.substr(0, kMaxLibraryText);
    if (limited.empty()) return std::string();
    const int length = static_cast<int>(limited.size());
    const int size =
        WideCharToMultiByte(CP_ACP, 0, limited.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, limited.c_str(), length, &narrow[0], size, nullptr, nullptr);
    return narrow;
}
