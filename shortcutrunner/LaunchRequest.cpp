// Launch request parser: options, quoting and the default working directory.
#include "LaunchRequest.h"

#include <string_view>

#include "ArgumentText.h"

namespace {

constexpr std::wstring_view kRunAsAdminOption = L"/RunAsAdmin ";
constexpr std::wstring_view kDirectoryOption = L"/DIR ";

// The terminating zero is not whitespace: every skip stops at the end of the text.
wchar_t* SkipBlanks(wchar_t* p) {
    while (*p != 0 && *p <= 32) ++p;
    return p;
}

// A directory or program name: [begin, end) holds its text, end points at the closing
// quote, the space or the terminating zero. A quote that is never closed runs to the end.
struct Token {
    wchar_t* begin;
    wchar_t* end;
};

Token ReadToken(wchar_t* p) {
    const wchar_t stop = *p == L'"' ? L'"' : L' ';
    wchar_t* begin = *p == L'"' ? p + 1 : p;
    wchar_t* end = begin;
    while (*end != 0 && *end != stop) ++end;
    return {begin, end};
}

// The folder of a program path: everything before its last backslash. A root folder
// ("C:\", "\") keeps its backslash, since "C:" alone names the drive's current folder.
std::wstring FolderOf(const wchar_t* begin, const wchar_t* end) {
    const std::wstring path(begin, end);
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return std::wstring();
    const bool isRoot = slash == 0 || (slash == 2 && path[1] == L':');
    return path.substr(0, isRoot ? slash + 1 : slash);
}

}  // namespace

LaunchRequest ParseLaunchRequest(wchar_t* argumentText) {
    LaunchRequest request;
    wchar_t* p = argumentText;
    request.program = p;
    if (*p == 0) return request;

    if (StartsWithFolded(p, kRunAsAdminOption)) {
        request.elevate = true;
        p = SkipBlanks(p + kRunAsAdminOption.size());
    }

    bool directoryNamed = false;
    if (StartsWithFolded(p, kDirectoryOption)) {
        const Token dir = ReadToken(SkipBlanks(p + kDirectoryOption.size()));
        p = dir.end;
        if (*p != 0) *p++ = 0;
        request.directory.assign(dir.begin, dir.end);
        directoryNamed = true;
        p = SkipBlanks(p);
    }

    const Token program = ReadToken(p);
    request.program = program.begin;
    if (!directoryNamed) request.directory = FolderOf(program.begin, program.end);

    p = program.end;
    if (*p == L'"') *p++ = 0;
    if (*p == L' ') *p++ = 0;
    request.parameters = *p != 0 ? p : nullptr;
    return request;
}
