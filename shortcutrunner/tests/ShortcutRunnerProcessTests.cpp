// ShortcutRunner.exe as a process: the programs it starts, their parameters, working folders
// and exit codes, and the shortcut file it leaves behind for a web address.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <string>

namespace {

constexpr DWORD kRunnerTimeoutMs = 60000;

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
