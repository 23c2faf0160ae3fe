// Test helper: runs zrvcli.exe (from the test program's folder) against a
// simulated line, optionally with a chip state file, and captures what it
// printed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "ProcessRun.h"

namespace testsupport {

struct ZrvcliOutcome {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// L"Z:" + the folder given at build time + name: a fixture for ZRV_USBSIM.
inline std::wstring WindowsPath(const std::string& unixFolder, const std::wstring& name) {
    return L"Z:" + std::wstring(unixFolder.begin(), unixFolder.end()) + L"/" + name;
}

// Sets (or, for an empty value, clears) the variables a zrvcli run inherits.
inline void SetLineEnvironment(const std::wstring& fixture, const std::wstring& state) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", fixture.empty() ? nullptr : fixture.c_str());
    SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", state.empty() ? nullptr : state.c_str());
}

// Starts zrvcli with its output going to files named after tag.
inline bool StartZrvcli(const std::wstring& arguments, const std::wstring& tag,
                        PROCESS_INFORMATION& process, DWORD creationFlags = 0) {
    return StartCapturing(L"\"" + ProgramFolder() + L"zrvcli.exe\" " + arguments,
                          (tag + L"-out.txt").c_str(), (tag + L"-err.txt").c_str(), creationFlags,
                          process);
}

inline ZrvcliOutcome Collect(const std::wstring& tag, DWORD exitCode) {
    ZrvcliOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.out = ReadTextFile((tag + L"-out.txt").c_str());
    outcome.err = ReadTextFile((tag + L"-err.txt").c_str());
    return outcome;
}

// Runs zrvcli to its end (at most timeoutMs) on fixture, with state ("" for none).
inline ZrvcliOutcome RunZrvcli(const std::wstring& arguments, const std::wstring& fixture,
                               const std::wstring& state = L"", DWORD timeoutMs = 60000) {
    // Output files of their own per run: Wine's desktop process may hold an earlier run's
    // files open for a few seconds after that run ended.
    static unsigned runs = 0;
    const std::wstring tag =
        L"zrvcli-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++runs);
    SetLineEnvironment(fixture, state);
    PROCESS_INFORMATION process;
    DWORD exitCode = 0xFFFFFFFF;
    if (StartZrvcli(arguments, tag, process)) exitCode = WaitForExit(process, timeoutMs);
    SetLineEnvironment(L"", L"");
    ZrvcliOutcome outcome = Collect(tag, exitCode);
    DeleteFileW((tag + L"-out.txt").c_str());
    DeleteFileW((tag + L"-err.txt").c_str());
    return outcome;
}

inline void WriteBytes(const wchar_t* path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The lines of text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The event lines zrvcli printed for position (the final table excluded).
inline std::vector<std::string> EventLines(const std::string& out, const std::string& position) {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(out)) {
        if (line.empty()) break;  // the table follows an empty line
        if (line.rfind(position + " ", 0) == 0) lines.push_back(line);
    }
    return lines;
}

// How many of the lines hold text.
inline size_t Count(const std::vector<std::string>& lines, const std::string& text) {
    size_t n = 0;
    for (const std::string& line : lines) n += line.find(text) != std::string::npos;
    return n;
}

// Waits until the file holds text (at most timeoutMs); true when it does.
inline bool WaitForText(const wchar_t* file, const std::string& text, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < end) {
        if (ReadTextFile(file).find(text) != std::string::npos) return true;
        Sleep(50);
    }
    return false;
}

// Runs usbsimctl.exe with arguments to its end; its exit code.
inline DWORD Usbsimctl(const std::wstring& arguments) {
    PROCESS_INFORMATION process;
    if (!StartCapturing(L"\"" + ProgramFolder() + L"usbsimctl.exe\" " + arguments,
                        L"usbsimctl-out.txt", L"usbsimctl-out.txt", 0, process)) {
        return 0xFFFFFFFF;
    }
    return WaitForExit(process, 60000);
}

// Stops a zrvcli run started with StartZrvcli through its stop event, waits for its end, clears
// the line's variables and collects what it printed. Without the event (the run has already
// ended) the exit code is the one it ended with.
inline ZrvcliOutcome StopZrvcli(PROCESS_INFORMATION& run, const std::wstring& tag) {
    HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE,
                             (L"zrvcli-stop-" + std::to_wstring(run.dwProcessId)).c_str());
    if (stop != nullptr) {
        SetEvent(stop);
        CloseHandle(stop);
    }
    const DWORD exitCode = WaitForExit(run, stop != nullptr ? 60000 : 0);
    SetLineEnvironment(L"", L"");
    return Collect(tag, exitCode);
}

}  // namespace testsupport
