// zrvcli: console front end of the hub library.
//   zrvcli tree       the snapshot, one line per node
//   zrvcli status     every hub's answers from the per-hub exports
//   zrvcli program    programs hubs (ProgramRun.h)
//   zrvcli dump-otp / write-ram   the debug exports (DebugCommands.h)
// On a simulated line it says so on stderr first. Exit codes: 0 done, 1 the
// library cannot be used or a hub failed, 2 usage, bad input or a simulated
// line that cannot be used.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ConsoleText.h"
#include "DebugCommands.h"
#include "HalvexZRVLib.h"
#include "HubLibrary.h"
#include "ProgramRun.h"
#include "TreeText.h"

// Trace lines of zrvcli's own (the topology preparation); the library keeps its own file.
extern const wchar_t kTraceLogFileName[] = L"zrvcliLog.txt";

namespace {

constexpr int kExitUnusable = 1;
constexpr int kExitUsage = 2;
constexpr int kExitBrokenLine = 2;

const wchar_t kUsage[] =
    L"usage: zrvcli tree | status | program OPTIONS | dump-otp POSITION FILE | "
    L"write-ram POSITION FILE\n";

int Tree(const CLibrary& lib) {
    auto create = lib.Bind<IDeviceTree*(__cdecl*)()>("CreateDeviceTreeUI");
    IDeviceTree* tree = create ? create() : nullptr;
    if (tree == nullptr) {
        PrintError(L"zrvcli: no device tree\n");
        return kExitUnusable;
    }
    if (tree->GetControllerCount() == 0) Print(L"No USB host controllers found.\n");
    auto family = lib.Bind<int32_t(__cdecl*)(int32_t, int32_t)>("GetHubFamily");
    auto status = lib.Bind<int32_t(__cdecl*)(int32_t, int32_t)>("GetHubStatus");
    auto removable = lib.Bind<bool(__cdecl*)(int32_t, int32_t)>("CanDeviceBeRemoved");
    HubAnswerSource answers;
    if (family && status && removable) {
        answers = [=](int32_t c, int32_t n) {
            return HubAnswers{family(c, n), status(c, n), removable(c, n)};
        };
    }
    Print(TreeText(*tree, answers));
    return 0;
}

int Status(const CLibrary& lib) {
    auto create = lib.Bind<IDeviceTree*(__cdecl*)()>("CreateDeviceTreeUI");
    using IndexInt = int32_t(__cdecl*)(int32_t, int32_t);
    using IndexBool = bool(__cdecl*)(int32_t, int32_t);
    auto status = lib.Bind<IndexInt>("GetHubStatus");
    auto family = lib.Bind<IndexInt>("GetHubFamily");
    auto mode = lib.Bind<IndexInt>("GetStorageMode");
    auto method = lib.Bind<IndexInt>("GetValidationMethod");
    auto removable = lib.Bind<IndexBool>("CanDeviceBeRemoved");
    auto running = lib.Bind<bool(__cdecl*)()>("IsProgrammerManagerRunning");
    if (!create || !status || !family || !mode || !method || !removable || !running) {
        PrintError(L"zrvcli: the library lacks exports\n");
        return kExitUnusable;
    }
    IDeviceTree* tree = create();
    const int32_t controllers = tree ? tree->GetControllerCount() : 0;
    Print(L"Controllers: " + std::to_wstring(controllers) + L"\n");
    Print(std::wstring(L"Programmer manager running: ") + (running() ? L"yes" : L"no") + L"\n");
    Print(L"Answers for index pair (0, 0): status " + std::to_wstring(status(0, 0)) + L", family " +
          std::to_wstring(family(0, 0)) + L", storage mode " + std::to_wstring(mode(0, 0)) +
          L", validation " + std::to_wstring(method(0, 0)) + L", removable " +
          (removable(0, 0) ? L"yes" : L"no") + L"\n");
    for (int32_t c = 0; c < controllers; ++c) {
        for (int32_t n = 0; n < tree->GetNodeCount(c); ++n) {
            std::unique_ptr<IUsbNode> node(tree->GetNode(c, n));
            if (!node || node->GetNodeType() != NODE_TYPE_HUB) continue;
            Print(L"(" + std::to_wstring(c) + L", " + std::to_wstring(n) + L") " +
                  node->GetDisplayName() + L": status " + std::to_wstring(status(c, n)) +
                  L", family " + std::to_wstring(family(c, n)) + L", storage mode " +
                  std::to_wstring(mode(c, n)) + L", validation " + std::to_wstring(method(c, n)) +
                  L"\n");
        }
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const std::vector<std::wstring> args(argv + (argc > 1 ? 2 : argc), argv + argc);
    if (command == L"program") return ProgramCommand(args);
    if (command == L"dump-otp") return DumpOtpCommand(args);
    if (command == L"write-ram") return WriteRamCommand(args);
    if (argc != 2 || (command != L"tree" && command != L"status")) {
        PrintError(kUsage);
        return kExitUsage;
    }
    CLibrary lib;
    if (!lib.Loaded()) {
        PrintError(L"zrvcli: cannot load HalvexZRVLib.dll (error " +
                   std::to_wstring(GetLastError()) + L")\n");
        return kExitUnusable;
    }
    if (!ReportLine(lib)) return kExitBrokenLine;
    return command == L"tree" ? Tree(lib) : Status(lib);
}
