// The runner's command line: the argument text after the program's own name, and the
// case-folded prefix test that tells a web address from a program to start.
#pragma once

#include <string_view>

// What follows the runner's own name, without the whitespace before it. The name ends at
// the next double quote when it starts with one, otherwise at the next space.
std::wstring_view ArgumentTextOf(std::wstring_view commandLine);

// True when text starts with the whole literal, comparing every character with bit 0x20
// set on both sides (ASCII letters match regardless of case).
bool StartsWithFolded(std::wstring_view text, std::wstring_view literal);

// An argument text starting with "http" in any case is opened as a web address.
bool IsWebAddress(std::wstring_view argumentText);
