// Test helper: runs a program with its standard output and error captured in
// a file and waits for it.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <cwchar>
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

inline std::string ReadTextFile(const wchar_t* file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Starts a program with its standard output and error written to files (the
// same file when both names are equal); creationFlags as for CreateProcessW.
inline bool StartCapturing(std::wstring commandLine, const wchar_t* outputFile,
                           const wchar_t* errorFile, DWORD creationFlags,
                           PROCESS_INFORMATION& process) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE output = CreateFileW(outputFile, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                0, nullptr);
    HANDLE error = wcscmp(outputFile, errorFile) == 0
                       ? output
                       : CreateFileW(errorFile, GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE || error == INVALID_HANDLE_VALUE) {
        // Never run with output going nowhere: the caller would read an older file.
        if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
        if (error != output && error != INVALID_HANDLE_VALUE) CloseHandle(error);
        process = {};
        return false;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = error;
    process = {};
    const bool started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
                                        creationFlags, nullptr, nullptr, &startup, &process) != 0;
    CloseHandle(output);
    if (error != output) CloseHandle(error);
    return started;
}

// Waits for a started program and closes its handles; its exit code, or
// 0xFFFFFFFF when it did not finish in time (it is then ended).
inline DWORD WaitForExit(PROCESS_INFORMATION& process, DWORD timeoutMs) {
    DWORD exitCode = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
        TerminateProcess(process.hProcess, 0xFFFFFFFF);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    process = {};
    return exitCode;
}

inline ProcessOutcome RunCapturingOutput(std::wstring commandLine, const wchar_t* outputFile,
                                         DWORD timeoutMs) {
    ProcessOutcome outcome{0xFFFFFFFF, ""};
    PROCESS_INFORMATION process;
    if (StartCapturing(commandLine, outputFile, outputFile, 0, process)) {
        outcome.exitCode = WaitForExit(process, timeoutMs);
    }
    outcome.output = ReadTextFile(outputFile);
    return outcome;
}

}  // namespace testsupport
