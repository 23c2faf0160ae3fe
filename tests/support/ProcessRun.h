// Test helper: runs a program with its standard output and error captured in
// a file and waits for it.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

struct ProcessOutcome {
    DWORD exitCode;      // 0xFFFFFFFF when it could not start or did not finish
    std::string output;  // standard output and error together
};

// The folder of the running test program, with a trailing backslash.
inline std::wstring ProgramFolder() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dir(exe);
    dir.resize(dir.find_last_of(L"\\/") + 1);
    return dir;
}

inline ProcessOutcome RunCapturingOutput(std::wstring commandLine, const wchar_t* outputFile,
                                         DWORD timeoutMs) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE output = CreateFileW(outputFile, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    ProcessOutcome outcome{0xFFFFFFFF, ""};
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &outcome.exitCode);
        } else {
            TerminateProcess(process.hProcess, 0xFFFFFFFF);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(output);
    std::ifstream in(outputFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    outcome.output = text.str();
    return outcome;
}

}  // namespace testsupport
