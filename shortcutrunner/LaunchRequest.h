// Parsing the argument text of a program launch into a launch request.
#pragma once

#include <string>

// One program launch. program and parameters point into the argument text, which the
// parser cuts in place with terminating zeros.
struct LaunchRequest {
    const wchar_t* program = nullptr;     // empty when the argument text is empty
    const wchar_t* parameters = nullptr;  // nullptr when nothing follows the program
    std::wstring directory;               // empty: the shell's default
    bool elevate = false;
};

// Reads "[/RunAsAdmin ][/DIR <dir> ]<program>[ <parameters>]" from a zero-terminated,
// writable argument text. The directory and the program may be double-quoted; an unquoted
// one ends at the first space. Without /DIR the directory is the program's folder.
LaunchRequest ParseLaunchRequest(wchar_t* argumentText);
