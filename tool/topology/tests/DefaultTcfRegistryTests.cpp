// The remembered topology path: stored only into an existing key, read back within its limit.
// Runs on a scratch key of the current user so the machine's own setting is never touched.
#include <gtest/gtest.h>

#include <windows.h>

#include "DefaultTcfRegistry.h"
#include "TestFiles.h"

namespace {

const wchar_t kScratchKey[] = L"Software\\ZrvTopologyTests\\Halvex ZRV";

class DefaultTcf : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\ZrvTopologyTests"); }
    void TearDown() override { SetUp(); }

    bool KeyExists() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
    void CreateKey() {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    void SetRaw(DWORD type, const std::wstring& data) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetKeyValueW(HKEY_CURRENT_USER, kScratchKey, kDefaultTcfValue, type,
                                  data.c_str(), static_cast<DWORD>((data.size() + 1) * 2)));
    }
};

TEST_F(DefaultTcf, IsNotStoredWhenTheKeyIsMissing) {
    EXPECT_FALSE(StoreDefaultTcf(L"C:\\line\\a.tcf", HKEY_CURRENT_USER, kScratchKey));
    EXPECT_FALSE(KeyExists());
    std::wstring path = L"sentinel";
    EXPECT_FALSE(ReadDefaultTcf(path, HKEY_CURRENT_USER, kScratchKey));
    EXPECT_TRUE(path.empty());
}

TEST_F(DefaultTcf, StoredPathReadsBack) {
    CreateKey();
    std::wstring path;
    EXPECT_FALSE(ReadDefaultTcf(path, HKEY_CURRENT_USER, kScratchKey));  // no value yet
    const std::wstring longest = L"C:\\" + std::wstring(253, L'd') + L".tcf";
    ASSERT_EQ(260u, longest.size());
    for (const std::wstring& stored : {std::wstring(L"C:\\line\\a.tcf"), longest}) {
        ASSERT_TRUE(StoreDefaultTcf(stored, HKEY_CURRENT_USER, kScratchKey));
        ASSERT_TRUE(ReadDefaultTcf(path, HKEY_CURRENT_USER, kScratchKey));
        EXPECT_EQ(stored, path);
    }
}

TEST_F(DefaultTcf, UnusableValuesAreNotRead) {
    CreateKey();
    struct Case {
        const char* name;
        DWORD type;
        std::wstring data;
    } cases[] = {
        {"longer than 260", REG_SZ, L"C:\\" + std::wstring(258, L'd')},
        {"not a string", REG_BINARY, L"C:\\a.tcf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetRaw(c.type, c.data);
        std::wstring path = L"sentinel";
        EXPECT_FALSE(ReadDefaultTcf(path, HKEY_CURRENT_USER, kScratchKey));
        EXPECT_TRUE(path.empty());
    }
}

}  // namespace
