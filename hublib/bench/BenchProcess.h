// Runs one benchmark case in a child process of the same program, so every
// case starts with a fresh library, queue and simulator.
#pragma once

#include <string>

// Starts this program again with arguments (appended to its path); its output
// goes to ours. True when it exited with 0.
bool RunCaseProcess(const std::wstring& arguments);
