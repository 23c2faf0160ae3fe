// QuorvelZRVTool.exe as the operator starts it: one copy per machine, the "/dumpotp" argument,
// a missing hub library, and a caption that tells a simulated line.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "GuiDriver.h"
#include "ProcessRun.h"
#include "ToolTestLine.h"
#include "resource.h"

namespace guitest {
namespace {

const wchar_t kCaption[] = L"VARN Quorvel ZRV Hub Tool";

class CToolProcess {
public:
    // Starts program (the tool by default) with arguments on the line in fixture.
    bool Start(const std::wstring& arguments, const std::wstring& fixture = L"tool-line.json",
               const std::wstring& program = testsupport::ProgramFolder() + L"QuorvelZRVTool.exe") {
        SetEnvironmentVariableW(L"ZRV_USBSIM", FixturePath(fixture).c_str());
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        const bool started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                                            nullptr, nullptr, &startup, &process_) != 0;
        SetEnvironmentVariableW(L"ZRV_USBSIM", nullptr);
        return started;
    }
    ~CToolProcess() {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 9);
            }
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    DWORD Id() const { return process_.dwProcessId; }
    HWND Window() const { return WaitForProcessWindow(Id(), kCaption); }
    // The exit code once it ended, or 0xFFFFFFFF.
    DWORD WaitForExit(DWORD timeoutMs = 20000) const {
        DWORD code = 0xFFFFFFFF;
        if (WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process_.hProcess, &code);
        }
        return code;
    }
    bool Close() const {
        PostMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        return WaitForExit() == 0;
    }

private:
    PROCESS_INFORMATION process_ = {};
};

// The page of a sheet window that holds control id.
HWND PageWithControl(HWND sheet, int id) {
    for (HWND child = GetWindow(sheet, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgItem(child, id)) return child;
    }
    return nullptr;
}

class ToolProcess : public ::testing::Test {
protected:
    void SetUp() override { SetDefaultTcfKey(nullptr); }
};

TEST_F(ToolProcess, OnlyOneCopyRunsAtATime) {
    CToolProcess first;
    ASSERT_TRUE(first.Start(L""));
    HWND window = first.Window();
    ASSERT_NE(window, nullptr);

    CToolProcess second;
    ASSERT_TRUE(second.Start(L""));
    HWND box = WaitForProcessDialog(second.Id(), nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Narrow(MessageBoxText(box)), "Another Instance of the Tool already running");
    EXPECT_TRUE(PressButton(box, IDOK));
    EXPECT_NE(second.WaitForExit(), 0xFFFFFFFFu);
    EXPECT_TRUE(IsWindowVisible(window));

    EXPECT_TRUE(first.Close());
    CToolProcess third;
    ASSERT_TRUE(third.Start(L""));
    EXPECT_NE(third.Window(), nullptr);
    EXPECT_TRUE(third.Close());
}

TEST_F(ToolProcess, DumpOtpArgumentShowsTheDumpButtonInAnyCase) {
    struct Case {
        const wchar_t* arguments;
        bool shown;
    } cases[] = {{L"/dumpotp", true},  {L"/DUMPOTP", true}, {L"other /DumpOtp", true},
                 {L"-dumpotp", false}, {L"", false},        {L"/dumpotp2", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.arguments));
        CToolProcess tool;
        ASSERT_TRUE(tool.Start(c.arguments));
        HWND window = tool.Window();
        ASSERT_NE(window, nullptr);
        HWND page = PageWithControl(window, IDC_BUTTON_DUMPOTP);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(IsWindowVisible(GetDlgItem(page, IDC_BUTTON_DUMPOTP)) != 0, c.shown);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_BUTTON_PROGRAMRAM)));
        EXPECT_TRUE(tool.Close());
    }
}

TEST_F(ToolProcess, WithoutTheHubLibraryTheSheetOpensWithAnEmptyTree) {
    wchar_t folder[MAX_PATH] = {};
    GetFullPathNameW(L"nolibrary", MAX_PATH, folder, nullptr);
    CreateDirectoryW(folder, nullptr);
    const std::wstring copy = std::wstring(folder) + L"\\QuorvelZRVTool.exe";
    ASSERT_TRUE(CopyFileW((testsupport::ProgramFolder() + L"QuorvelZRVTool.exe").c_str(),
                          copy.c_str(), FALSE));
    // The field library is linked at load time: without it the program does not start at all.
    ASSERT_TRUE(CopyFileW((testsupport::ProgramFolder() + L"Lorvath.dll").c_str(),
                          (std::wstring(folder) + L"\\Lorvath.dll").c_str(), FALSE));
    CToolProcess tool;
    ASSERT_TRUE(tool.Start(L"", L"tool-line.json", copy));
    HWND box = WaitForProcessDialog(tool.Id(), nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Narrow(MessageBoxText(box)), "Error Loading programmer module\n");
    EXPECT_TRUE(PressButton(box, IDOK));
    HWND window = tool.Window();
    ASSERT_NE(window, nullptr);
    HWND page = PageWithControl(window, IDC_TOPOLOGY_TREE);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(SendMessageW(GetDlgItem(page, IDC_TOPOLOGY_TREE), TVM_GETCOUNT, 0, 0), 0);
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    EXPECT_EQ(Narrow(caption), Narrow(kCaption));
    EXPECT_TRUE(tool.Close());
}

TEST_F(ToolProcess, TheCaptionTellsASimulatedLine) {
    CToolProcess tool;
    ASSERT_TRUE(tool.Start(L""));
    HWND window = tool.Window();
    ASSERT_NE(window, nullptr);
    wchar_t caption[512] = {};
    GetWindowTextW(window, caption, 512);
    EXPECT_EQ(Narrow(caption), Narrow(std::wstring(kCaption) + L" - simulated line " +
                                      FixturePath(L"tool-line.json")));
    HWND page = PageWithControl(window, IDC_TOPOLOGY_TREE);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(SendMessageW(GetDlgItem(page, IDC_TOPOLOGY_TREE), TVM_GETCOUNT, 0, 0), 17);
    EXPECT_TRUE(tool.Close());
}

std::wstring PaneText(HWND pane) {
    wchar_t text[16384] = {};
    SendMessageW(pane, WM_GETTEXT, 16384, reinterpret_cast<LPARAM>(text));
    return text;
}

TEST_F(ToolProcess, ABoardPluggedInWhileTheToolRunsAppearsInTheTree) {
    SetEnvironmentVariableW(L"ZRV_USBSIM_PIPE", L"zrv-tool-hotplug");
    CToolProcess tool;
    ASSERT_TRUE(tool.Start(L""));
    SetEnvironmentVariableW(L"ZRV_USBSIM_PIPE", nullptr);
    HWND window = tool.Window();
    ASSERT_NE(window, nullptr);
    HWND page = PageWithControl(window, IDC_TOPOLOGY_TREE);
    ASSERT_NE(page, nullptr);
    HWND tree = GetDlgItem(page, IDC_TOPOLOGY_TREE);
    const LRESULT before = SendMessageW(tree, TVM_GETCOUNT, 0, 0);
    ASSERT_EQ(before, 17);

    const std::wstring board = FixturePath(L"board-three-hubs.json");
    const testsupport::ProcessOutcome attach =
        testsupport::RunCapturingOutput(L"\"" + testsupport::ProgramFolder() +
                                            L"usbsimctl.exe\" --pipe zrv-tool-hotplug attach "
                                            L"1-1-2-2 \"" +
                                            board + L"\"",
                                        L"usbsimctl-out.txt", 60000);
    ASSERT_EQ(attach.exitCode, 0u) << attach.output;

    // Three hubs with their ports, below the port that was empty.
    EXPECT_TRUE(
        WaitUntil([&] { return SendMessageW(tree, TVM_GETCOUNT, 0, 0) > before + 3; }, 20000))
        << SendMessageW(tree, TVM_GETCOUNT, 0, 0);
    const std::string status = Narrow(PaneText(GetDlgItem(page, IDC_EDIT_CONFIG_STATUS)));
    EXPECT_NE(status.find("Device Arrived\r\n"), std::string::npos) << status;
    EXPECT_NE(status.find("Topoloy changed @ 1-1-2-2\r\n"), std::string::npos) << status;
    EXPECT_TRUE(tool.Close());
}

}  // namespace
}  // namespace guitest
