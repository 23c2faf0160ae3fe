// ShortcutRunner.exe as a process: the programs it starts, their parameters, working folders
// and exit codes, and the shortcut file it leaves behind for a web address.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRunnerTimeoutMs = 60000;
constexpr DWORD kReportTimeoutMs = 30000;

std::wstring FolderOfThisProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\'));
}

std::wstring CurrentFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, path);
    return std::wstring(path, length);
}

std::optional<std::wstring> ReadUtf16File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::wstring text(GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(file);
    text.resize(read / sizeof(wchar_t));
    return text;
}

std::vector<unsigned char> ReadBytes(const std::wstring& path) {
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void EmptyFolder(const std::wstring& folder) {
    for (const std::wstring& name : FilesIn(folder)) DeleteFileW((folder + L"\\" + name).c_str());
}

// Sets an environment variable for the runners started while it lives.
class CEnvironmentOverride {
public:
    CEnvironmentOverride(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t old[MAX_PATH];
        const DWORD length = GetEnvironmentVariableW(name, old, MAX_PATH);
        if (length > 0 && length < MAX_PATH) old_ = std::wstring(old, length);
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~CEnvironmentOverride() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
    CEnvironmentOverride(const CEnvironmentOverride&) = delete;
    CEnvironmentOverride& operator=(const CEnvironmentOverride&) = delete;

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

// Points a file extension at a document class of this test with one verb, its default, that
// runs the given command; the extension's previous class comes back afterwards. Keeps the
// shell from starting a real browser or editor while the runner is tested.
class CTestDocumentType {
public:
    CTestDocumentType(const std::wstring& extension, const std::wstring& className,
                      const std::wstring& verb, const std::wstring& command)
        : extension_(extension), className_(className) {
        std::wstring old(MAX_PATH, L'\0');
        DWORD size = static_cast<DWORD>(old.size() * sizeof(wchar_t));
        if (RegGetValueW(HKEY_CLASSES_ROOT, extension.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                         old.data(), &size) == ERROR_SUCCESS) {
            old.resize(wcslen(old.c_str()));
            oldClass_ = old;
        }
        registered_ = SetDefault(extension_, className_) &&
                      SetDefault(className_ + L"\\shell", verb) &&
                      SetDefault(className_ + L"\\shell\\" + verb + L"\\command", command);
    }
    ~CTestDocumentType() {
        if (oldClass_) {
            SetDefault(extension_, *oldClass_);
        } else {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, extension_.c_str());
        }
        RegDeleteTreeW(HKEY_CLASSES_ROOT, className_.c_str());
    }
    CTestDocumentType(const CTestDocumentType&) = delete;
    CTestDocumentType& operator=(const CTestDocumentType&) = delete;

    bool Registered() const { return registered_; }

private:
    static bool SetDefault(const std::wstring& key, const std::wstring& value) {
        HKEY handle = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &handle, nullptr) != ERROR_SUCCESS)
            return false;
        const LSTATUS status =
            RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(handle);
        return status == ERROR_SUCCESS;
    }

    std::wstring extension_, className_;
    std::optional<std::wstring> oldClass_;
    bool registered_ = false;
};

// What the shell put after the program's name in the child's command line.
std::wstring ParametersOf(const std::wstring& commandLine) {
    size_t end = commandLine[0] == L'"' ? commandLine.find(L'"', 1) : commandLine.find(L' ');
    if (end == std::wstring::npos) return std::wstring();
    if (commandLine[end] == L'"') ++end;
    while (end < commandLine.size() && commandLine[end] == L' ') ++end;
    return commandLine.substr(end);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

void Replace(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

struct ChildReport {
    std::wstring commandLine;
    std::wstring folder;
};

class ShortcutRunnerProcess : public testing::Test {
protected:
    void SetUp() override {
        bin_ = FolderOfThisProgram();
        runner_ = bin_ + L"\\ShortcutRunner.exe";
        child_ = bin_ + L"\\shortcut_child.exe";
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        work_ = CurrentFolder() + L"\\" + std::wstring(name.begin(), name.end());
        dir_ = work_ + L"\\My Dir";
        CreateDirectoryW(work_.c_str(), nullptr);
        CreateDirectoryW(dir_.c_str(), nullptr);
        report_ = work_ + L"\\report.txt";
        DeleteFileW(report_.c_str());
        SetEnvironmentVariableW(L"SHORTCUT_CHILD_REPORT", report_.c_str());
    }

    void TearDown() override {
        SetEnvironmentVariableW(L"SHORTCUT_CHILD_REPORT", nullptr);
        SetEnvironmentVariableW(L"SHORTCUT_CHILD_EXIT", nullptr);
    }

    // %BIN%, %CHILD%, %WORK% and %DIR% stand for this test's folders.
    std::wstring Expand(std::wstring text) const {
        Replace(text, L"%CHILD%", child_);
        Replace(text, L"%BIN%", bin_);
        Replace(text, L"%WORK%", work_);
        Replace(text, L"%DIR%", dir_);
        return text;
    }

    // Runs the runner with the argument text in the given folder; its exit code, or
    // nothing when it had to be stopped.
    std::optional<int> RunRunner(const std::wstring& arguments, const std::wstring& folder) {
        std::wstring commandLine = L"\"" + runner_ + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(runner_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, folder.c_str(), &startup, &process)) {
            ADD_FAILURE() << "cannot start the runner, error " << GetLastError();
            return std::nullopt;
        }
        CloseHandle(process.hThread);
        std::optional<int> exitCode;
        if (WaitForSingleObject(process.hProcess, kRunnerTimeoutMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            exitCode = static_cast<int>(code);
        } else {
            ADD_FAILURE() << "the runner did not finish";
            TerminateProcess(process.hProcess, 1);
        }
        CloseHandle(process.hProcess);
        return exitCode;
    }

    std::optional<ChildReport> TakeReport() {
        const std::optional<std::wstring> text = ReadUtf16File(report_);
        if (!text) return std::nullopt;
        DeleteFileW(report_.c_str());
        const size_t lineEnd = text->find(L'\n');
        if (lineEnd == std::wstring::npos) return ChildReport{*text, L""};
        const std::wstring folder = text->substr(lineEnd + 1);
        return ChildReport{text->substr(0, lineEnd), folder.substr(0, folder.find(L'\n'))};
    }

    // For programs the runner does not wait for.
    std::optional<ChildReport> WaitForReport() {
        for (DWORD waited = 0; waited < kReportTimeoutMs; waited += 50) {
            if (std::optional<ChildReport> report = TakeReport()) return report;
            Sleep(50);
        }
        return std::nullopt;
    }

    std::wstring ChildCommand() const { return L"\"" + child_ + L"\" \"%1\""; }

    std::wstring bin_, runner_, child_, work_, dir_, report_;
};

struct LaunchCase {
    const wchar_t* arguments;
    const wchar_t* runnerFolder;
    int childExitCode;
    int expectedExitCode;
    const wchar_t* childFolder;  // nullptr: the child must not run
    const wchar_t* parameters;   // as the child received them
};

}  // namespace

TEST_F(ShortcutRunnerProcess, StartsProgramsAndPassesTheirExitCodes) {
    const LaunchCase cases[] = {
        {LR"(/DIR "%DIR%" "%CHILD%" -x)", L"%WORK%", 7, 7, L"%DIR%", L"-x"},
        {LR"("%CHILD%" a "b c")", L"%WORK%", 0, 0, L"%BIN%", LR"(a "b c")"},
        {L"shortcut_child.exe -z", L"%DIR%", 3, 3, L"%DIR%", L"-z"},
        {LR"(/RunAsAdmin "%CHILD%" up)", L"%WORK%", 5, 5, L"%BIN%", L"up"},
        {LR"("%CHILD%")", L"%WORK%", -5, -5, L"%BIN%", L""},
        {LR"("%WORK%\missing.exe" -x)", L"%WORK%", 0, -1, nullptr, nullptr},
        {L"", L"%WORK%", 0, -1, nullptr, nullptr},
        {L"/RunAsAdmin", L"%WORK%", 0, -1, nullptr, nullptr},
        {LR"(/DIR "%DIR%")", L"%WORK%", 0, -1, nullptr, nullptr},
    };
    for (const LaunchCase& c : cases) {
        const std::wstring arguments = Expand(c.arguments);
        SCOPED_TRACE(testing::Message() << "arguments [" << arguments << "]");
        SetEnvironmentVariableW(L"SHORTCUT_CHILD_EXIT", std::to_wstring(c.childExitCode).c_str());

        EXPECT_EQ(RunRunner(arguments, Expand(c.runnerFolder)), c.expectedExitCode);

        const std::optional<ChildReport> report = TakeReport();
        ASSERT_EQ(report.has_value(), c.childFolder != nullptr);
        if (!report) continue;
        EXPECT_TRUE(SamePath(report->folder, Expand(c.childFolder))) << report->folder;
        EXPECT_EQ(ParametersOf(report->commandLine), c.parameters) << report->commandLine;
    }
}

TEST_F(ShortcutRunnerProcess, DocumentWithoutTheVerbOpensWithItsDefaultAction) {
    // The type has no "open" verb: the first attempt fails with "no association", the second
    // one, without a verb, runs the type's default command.
    CTestDocumentType type(L".zrvsrtest", L"ZrvShortcutRunnerTest.Document", L"edit",
                           ChildCommand());
    ASSERT_TRUE(type.Registered());
    const std::wstring document = dir_ + L"\\doc.zrvsrtest";
    CloseHandle(CreateFileW(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    SetEnvironmentVariableW(L"SHORTCUT_CHILD_EXIT", L"6");

    EXPECT_EQ(RunRunner(L"\"" + document + L"\"", work_), 6);

    const std::optional<ChildReport> report = TakeReport();
    ASSERT_TRUE(report.has_value());
    EXPECT_TRUE(SamePath(ParametersOf(report->commandLine), L"\"" + document + L"\""))
        << report->commandLine;
    EXPECT_TRUE(SamePath(report->folder, dir_)) << report->folder;
}

TEST_F(ShortcutRunnerProcess, WebAddressLeavesItsShortcutFileInTheTemporaryFolder) {
    CTestDocumentType type(L".url", L"ZrvShortcutRunnerTest.Url", L"open", ChildCommand());
    ASSERT_TRUE(type.Registered());
    const std::wstring temp = work_ + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    EmptyFolder(temp);
    CEnvironmentOverride tmp(L"TMP", temp);
    CEnvironmentOverride tempVariable(L"TEMP", temp);

    EXPECT_EQ(RunRunner(L"HTTP://example.com/zrv?a=b c", work_), 0);

    // The shell hands the file to the type's command and the runner does not wait for it.
    const std::optional<ChildReport> report = WaitForReport();
    ASSERT_TRUE(report.has_value());
    std::wstring path = ParametersOf(report->commandLine);
    ASSERT_GE(path.size(), 2u);
    path = path.substr(1, path.size() - 2);
    const size_t slash = path.rfind(L'\\');
    ASSERT_NE(slash, std::wstring::npos) << path;
    const std::wstring name = path.substr(slash + 1);
    EXPECT_TRUE(SamePath(path.substr(0, slash), temp)) << path;
    EXPECT_EQ(_wcsnicmp(name.c_str(), L"URL", 3), 0) << name;
    EXPECT_EQ(_wcsicmp(name.c_str() + name.size() - 4, L".url"), 0) << name;

    // The system's empty .tmp file is gone; the shortcut stays.
    EXPECT_EQ(FilesIn(temp), std::vector<std::wstring>{name});
    std::vector<unsigned char> expected = {0xFF, 0xFE};
    for (const char c : std::string("[InternetShortcut]\r\nURL=HTTP://example.com/zrv?a=b c\r\n"))
        expected.insert(expected.end(), {static_cast<unsigned char>(c), 0});
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(ShortcutRunnerProcess, WebAddressRefusedByTheShellGivesItsResult) {
    CTestDocumentType type(L".url", L"ZrvShortcutRunnerTest.Url", L"open",
                           L"\"" + work_ + L"\\missing.exe\" \"%1\"");
    ASSERT_TRUE(type.Registered());
    const std::wstring temp = work_ + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    CEnvironmentOverride tmp(L"TMP", temp);
    CEnvironmentOverride tempVariable(L"TEMP", temp);

    EXPECT_EQ(RunRunner(L"http://example.com/", work_), SE_ERR_FNF);
}

TEST_F(ShortcutRunnerProcess, WebAddressWithoutTemporaryFolderGivesMinusOne) {
    CTestDocumentType type(L".url", L"ZrvShortcutRunnerTest.Url", L"open", ChildCommand());
    ASSERT_TRUE(type.Registered());
    CEnvironmentOverride tmp(L"TMP", work_ + L"\\no such folder");
    CEnvironmentOverride tempVariable(L"TEMP", work_ + L"\\no such folder");

    EXPECT_EQ(RunRunner(L"http://example.com/", work_), -1);
}

TEST_F(ShortcutRunnerProcess, ExecutableRunsWithoutConsoleAtTheCallersLevel) {
    const std::vector<unsigned char> image = ReadBytes(runner_);
    ASSERT_GE(image.size(), sizeof(IMAGE_DOS_HEADER));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    ASSERT_LE(dos->e_lfanew + sizeof(IMAGE_NT_HEADERS), image.size());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

    HMODULE module = LoadLibraryExW(runner_.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    const HRSRC resource = FindResourceW(module, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_NE(resource, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    const std::string manifest(text, SizeofResource(module, resource));
    FreeLibrary(module);
    EXPECT_NE(manifest.find(R"(<requestedExecutionLevel level="asInvoker")"), std::string::npos)
        << manifest;
}
