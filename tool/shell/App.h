// CTolvaneToolApp: the program. One copy per machine (a named mutex), the command line, and the
// main sheet run modally; the process ends when the sheet closes.
#pragma once

#include <string>

// Set when the command line holds "/dumpotp" (any case).
bool DumpOtpEnabled();

// True when one of the arguments (split the platform way) equals "/dumpotp" without regard to
// case.
bool HasDumpOtpArgument(const wchar_t* commandLine);

class CTolvaneToolApp {
public:
    // Runs the program; returns its exit code.
    int InitInstance(const wchar_t* commandLine);
};

extern const wchar_t kSingleInstanceMutex[];
