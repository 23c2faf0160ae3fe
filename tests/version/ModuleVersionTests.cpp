// Each module we ship (and the simulated line's) carries one version resource:
// the product's version in both numeric fields and both strings, our company
// and product names, and a description of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ProcessRun.h"

namespace {

const wchar_t* const kModules[] = {
    L"HalvexZRVLib.dll", L"Pellvane.dll", L"zelvo.dll",     L"KX7100API.dll", L"ShortcutRunner.exe",
    L"zrvcli.exe",       L"UsbSim.dll",   L"usbsimctl.exe", L"Lorvath.dll",
};

struct VersionInfo {
    std::vector<BYTE> block;

    std::wstring String(const wchar_t* name) const {
        std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), key.c_str(), &value, &length) || length == 0) return {};
        return static_cast<const wchar_t*>(value);
    }

    const VS_FIXEDFILEINFO* Fixed() const {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), L"\\", &value, &length)) return nullptr;
        return length >= sizeof(VS_FIXEDFILEINFO) ? static_cast<const VS_FIXEDFILEINFO*>(value)
                                                  : nullptr;
    }
};

bool ReadVersion(const std::wstring& file, VersionInfo& info) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return false;
    info.block.resize(size);
    return GetFileVersionInfoW(file.c_str(), 0, size, info.block.data()) != FALSE;
}

std::wstring Dotted(DWORD high, DWORD low) {
    return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
           std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
}

TEST(ModuleVersion, EveryModuleCarriesTheProductVersion) {
    std::vector<std::wstring> descriptions;
    for (const wchar_t* module : kModules) {
        SCOPED_TRACE(testing::Message() << std::string(module, module + wcslen(module)));
        VersionInfo info;
        ASSERT_TRUE(ReadVersion(testsupport::ProgramFolder() + module, info));
        const VS_FIXEDFILEINFO* fixed = info.Fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), ZRV_VERSION_TEXT);
        EXPECT_EQ(Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), ZRV_VERSION_TEXT);
        EXPECT_EQ(info.String(L"FileVersion"), ZRV_VERSION_TEXT);
        EXPECT_EQ(info.String(L"ProductVersion"), ZRV_VERSION_TEXT);
        EXPECT_EQ(info.String(L"CompanyName"), L"VARN");
        EXPECT_EQ(info.String(L"ProductName"), L"Quorvel ZRV Hub Tool");
        EXPECT_EQ(info.String(L"OriginalFilename"), module);
        std::wstring description = info.String(L"FileDescription");
        EXPECT_FALSE(description.empty());
        descriptions.push_back(description);
    }
    std::sort(descriptions.begin(), descriptions.end());
    EXPECT_EQ(std::adjacent_find(descriptions.begin(), descriptions.end()), descriptions.end())
        << "two modules share a description";
}

}  // namespace
