// Splitting the runner's command line into its own name and the argument text.
#include "ArgumentText.h"

namespace {

bool IsBlank(wchar_t c) {
    return c <= 32;
}

}  // namespace

std::wstring_view ArgumentTextOf(std::wstring_view commandLine) {
    size_t i = 0;
    const size_t n = commandLine.size();
    while (i < n && IsBlank(commandLine[i])) ++i;
    if (i < n && commandLine[i] == L'"') {
        ++i;
        while (i < n && commandLine[i] != L'"') ++i;
    } else {
        while (i < n && commandLine[i] != L' ') ++i;
    }
    // Step over the quote or space that ended the name, unless the text ended first.
    if (i < n) ++i;
    while (i < n && IsBlank(commandLine[i])) ++i;
    return commandLine.substr(i);
}

bool StartsWithFolded(std::wstring_view text, std::wstring_view literal) {
    if (text.size() < literal.size()) return false;
    for (size_t i = 0; i < literal.size(); ++i) {
        if ((text[i] | 0x20) != (literal[i] | 0x20)) return false;
    }
    return true;
}

bool IsWebAddress(std::wstring_view argumentText) {
    return StartsWithFolded(argumentText, L"http");
}
