// zrvcli: console front end of the hub library.
//   zrvcli tree     the snapshot, one line per node
//   zrvcli status   every hub's answers from the per-hub exports
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "HalvexZRVLib.h"
#include "TreeText.h"

namespace {

void Print(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes,
                        nullptr, nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fflush(stdout);
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
        Print(L"zrvcli: no device tree\n");
        return 1;
    }
    if (tree->GetControllerCount() == 0) Print(L"No USB host controllers found.\n");
    Print(TreeText(*tree));
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
        Print(L"zrvcli: the library lacks exports\n");
        return 1;
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
    if (command != L"tree" && command != L"status") {
        Print(L"usage: zrvcli tree | status\n");
        return 2;
    }
    CLibrary lib;
    if (!lib.Loaded()) {
        Print(L"zrvcli: cannot load HalvexZRVLib.dll (error " + std::to_wstring(GetLastError()) +
              L")\n");
        return 1;
    }
    return command == L"tree" ? Tree(lib) : Status(lib);
}
