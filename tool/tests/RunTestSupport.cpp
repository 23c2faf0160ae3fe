#include "RunTestSupport.h"

#include <windows.h>

#include <vector>

#include "UsbSimApi.h"

namespace guitest {

std::string Tcf(std::initializer_list<HubEntry> entries) {
    const std::string count = std::to_string(entries.size());
    std::string text = "[Header]\r\nCount=" + count + "\r\nVersion=2.1\r\n";
    for (const HubEntry& entry : entries) {
        text += std::string("[") + entry.position + "]\r\n" + entry.settings;
    }
    return text + "[Header]\r\nCount=" + count + "\r\n";
}

std::string Utf16(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string ChipMemory(const std::wstring& pidAndSerial, const char* area) {
    auto read = reinterpret_cast<PfnUsbSimReadChipMemory>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimReadChipMemory")));
    if (!read) return std::string();
    const std::wstring id = std::wstring(L"USB\\VID_3B9A&PID_") + pidAndSerial;
    // The largest area a chip has is its flash.
    std::string bytes(1u << 20, '\0');
    const int size = read(id.c_str(), area, reinterpret_cast<unsigned char*>(&bytes[0]),
                          static_cast<int>(bytes.size()));
    if (size <= 0) return std::string();
    if (static_cast<size_t>(size) < bytes.size()) bytes.resize(static_cast<size_t>(size));
    return bytes;
}

int RunUsbSimCtl(const std::wstring& arguments) {
    wchar_t pipe[256] = {};
    auto pipeName = reinterpret_cast<int(__cdecl*)(wchar_t*, int)>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimGetPipeName")));
    if (!pipeName || pipeName(pipe, 256) <= 0) return -1;
    std::wstring line = L"usbsimctl.exe --pipe " + std::wstring(pipe) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return -1;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace guitest
