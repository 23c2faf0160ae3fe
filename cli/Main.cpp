// zrvcli: console front end of the hub library.
//   zrvcli tree     the snapshot, one line per node
//   zrvcli status   every hub's answers from the per-hub exports
// On a simulated line it says so on stderr first. Exit codes: 0 done, 1 the
// library cannot be used, 2 usage or a simulated line that cannot be used.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "HalvexZRVLib.h"
#include "SimulatedLine.h"
#include "TreeText.h"

namespace {

constexpr int kExitUnusable = 1;
constexpr int kExitUsage = 2;
constexpr int kExitBrokenLine = 2;

void Write(FILE* stream, const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes,
                        nullptr, nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stream);
    fflush(stream);
}

void Print(const std::wstring& text) {
    Write(stdout, text);
}

void PrintError(const std::wstring& text) {
    Write(stderr, text);
}

class CLibrary {
public:
    CLibrary() : module_(LoadLibraryW(L"HalvexZRVLib.dll")) {}
    ~CLibrary() {
        if (module_) FreeLibrary(module_);
    }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;
    bool Loaded() const { return module_ != nullptr; }
    template <typename F>
    F Bind(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

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
    HubAnswerSource answers;
    if (family && status) {
        answers = [=](int32_t c, int32_t n) { return HubAnswers{family(c, n), status(c, n)}; };
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

// Says which simulated line the library runs on; false when it cannot be used.
bool ReportLine(const CLibrary& lib) {
    auto line = lib.Bind<PfnGetSimulatedLine>("GetSimulatedLine");
    if (line == nullptr) return true;
    const int32_t chars = 1024;
    std::wstring text(chars, L'\0');
    const int32_t kind = line(&text[0], chars);
    text.resize(wcslen(text.c_str()));
    if (kind == SIMULATED_LINE_BROKEN) {
        PrintError(L"zrvcli: the simulated USB line cannot be used: " + text + L"\n");
        return false;
    }
    if (kind == SIMULATED_LINE_ACTIVE) PrintError(L"simulated USB line: " + text + L"\n");
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (argc != 2 || (command != L"tree" && command != L"status")) {
        PrintError(L"usage: zrvcli tree | status\n");
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
