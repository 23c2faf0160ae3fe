#include "DebugCommands.h"

#include <windows.h>

#include <cstring>

#include "ConsoleText.h"
#include "HubLibrary.h"
#include "HubText.h"
#include "InputFiles.h"
#include "LineHubs.h"
#include "ProgramOptions.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadInput = 2;
// How long a hub may take until the library knows its family.
constexpr ULONGLONG kSettleMs = 15000;

int Fail(int code, const std::wstring& message) {
    PrintError(L"zrvcli: " + message + L"\n");
    return code;
}

// Loads and binds the library and finds the hub at position; 0 or an exit code.
int FindHub(CLibrary& library, HubExports& lib, const std::wstring& position, LineHub& found) {
    if (!library.Loaded()) {
        return Fail(kExitFailed, L"cannot load HalvexZRVLib.dll (error " +
                                     std::to_wstring(GetLastError()) + L")");
    }
    if (!ReportLine(library)) return kExitBadInput;
    const char* missing = nullptr;
    if (!library.BindAll(lib, &missing)) {
        return Fail(kExitFailed, L"HalvexZRVLib.dll has no export " +
                                     std::wstring(missing, missing + strlen(missing)));
    }
    const ULONGLONG deadline = GetTickCount64() + kSettleMs;
    while (true) {
        const std::vector<LineHub> hubs = ReadLineHubs(lib);
        const LineHub* hub = FindByPosition(hubs, position);
        if (hub == nullptr) {
            return Fail(kExitBadInput,
                        L"no hub at position " + position +
                            (HasNodeAt(lib, position) ? L" (the node there is not a hub)" : L""));
        }
        if (hub->family != HUB_FAMILY_UNKNOWN || GetTickCount64() >= deadline) {
            found = *hub;
            return 0;
        }
        Sleep(50);
    }
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int DumpOtpCommand(const std::vector<std::wstring>& args) {
    if (args.size() != 2) return Fail(kExitBadInput, L"usage: zrvcli dump-otp POSITION FILE");
    const std::wstring& position = args[0];
    const std::wstring& file = args[1];
    if (!IsTopologyPosition(position)) {
        return Fail(kExitBadInput, L"not a position: " + position + L" (such as 1-1-2-3)");
    }
    // The library reports success whether or not it could write the file:
    // find out before the hub is read that the file can be written.
    const bool existed = FileExists(file);
    HANDLE probe = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return Fail(kExitBadInput,
                    L"cannot write " + file + L" (error " + std::to_wstring(GetLastError()) + L")");
    }
    CloseHandle(probe);
    if (!existed) DeleteFileW(file.c_str());

    CLibrary library;
    HubExports lib;
    LineHub hub;
    if (const int code = FindHub(library, lib, position, hub)) return code;
    const int32_t result =
        lib.DumpOTP(hub.path.c_str(), static_cast<int32_t>(hub.path.size()), file.c_str());
    if (result != RESULT_SUCCESS) {
        return Fail(kExitFailed, L"the OTP of the hub at " + position + L" could not be dumped (" +
                                     ResultName(result) + L")");
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        return Fail(kExitFailed, L"the OTP was read but " + file + L" was not written");
    }
    Print(L"OTP of " + position + L" (" + hub.part + L", " + std::to_wstring(data.nFileSizeLow) +
          L" bytes) dumped to " + file + L"\n");
    return kExitOk;
}

int WriteRamCommand(const std::vector<std::wstring>& args) {
    if (args.size() != 2) return Fail(kExitBadInput, L"usage: zrvcli write-ram POSITION FILE");
    const std::wstring& position = args[0];
    const std::wstring& file = args[1];
    if (!IsTopologyPosition(position)) {
        return Fail(kExitBadInput, L"not a position: " + position + L" (such as 1-1-2-3)");
    }
    std::vector<uint8_t> bytes;
    std::wstring error;
    if (!ReadWholeFile(file, bytes, error)) return Fail(kExitBadInput, error);
    const std::wstring problem = CheckConfigBlock(bytes, false);
    if (!problem.empty()) return Fail(kExitBadInput, file + L": " + problem);

    CLibrary library;
    HubExports lib;
    LineHub hub;
    if (const int code = FindHub(library, lib, position, hub)) return code;
    const int32_t result = lib.WriteToRAM(hub.path.c_str(), static_cast<int32_t>(hub.path.size()),
                                          bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (result != RESULT_SUCCESS) {
        return Fail(kExitFailed, L"the RAM of the hub at " + position + L" could not be written (" +
                                     ResultName(result) + L")");
    }
    Print(L"RAM of " + position + L" (" + hub.part + L") written with " +
          std::to_wstring(bytes.size()) + L" bytes of " + file + L"\n");
    return kExitOk;
}
