// zrvcli as a user runs it: its exit codes, what goes to stdout and what to
// stderr, and how it tells a simulated line (usable or not).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ProcessRun.h"

namespace {

std::wstring FixturePath(const std::wstring& name) {
    std::string dir = ZRV_FIXTURE_DIR;
    return L"Z:" + std::wstring(dir.begin(), dir.end()) + L"/" + name;
}

struct Outcome {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// Runs zrvcli.exe with the arguments, ZRV_USBSIM set to `fixture` (unset when empty).
Outcome RunZrvcli(const std::wstring& arguments, const std::wstring& fixture) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", fixture.empty() ? nullptr : fixture.c_str());
    Outcome outcome;
    PROCESS_INFORMATION process;
    // Files of their own per run: the window of the library's device change
    // monitor makes Wine start its desktop process, which inherits the
    // output handles and keeps the last run's files open for a while.
    static int run = 0;
    ++run;
    const std::wstring out = L"zrvcli-out" + std::to_wstring(run) + L".txt";
    const std::wstring err = L"zrvcli-err" + std::to_wstring(run) + L".txt";
    if (testsupport::StartCapturing(
            L"\"" + testsupport::ProgramFolder() + L"zrvcli.exe\" " + arguments, out.c_str(),
            err.c_str(), 0, process)) {
        outcome.exitCode = testsupport::WaitForExit(process, 60000);
    }
    SetEnvironmentVariableW(L"ZRV_USBSIM", nullptr);
    outcome.out = testsupport::ReadTextFile(out.c_str());
    outcome.err = testsupport::ReadTextFile(err.c_str());
    return outcome;
}

TEST(Zrvcli, UsageErrorsGoToStderrWithExitCode2) {
    const std::wstring empty = FixturePath(L"tests/empty-pc.json");
    for (const wchar_t* arguments : {L"", L"trees", L"tree extra", L"status --all", L"tree tree"}) {
        SCOPED_TRACE(std::string(arguments, arguments + wcslen(arguments)));
        Outcome run = RunZrvcli(arguments, empty);
        EXPECT_EQ(run.exitCode, 2u);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("usage: zrvcli tree | status", 0), 0u) << run.err;
    }
}

TEST(Zrvcli, SaysWhichSimulatedLineItRunsOn) {
    Outcome run = RunZrvcli(L"tree", FixturePath(L"tests/sim-basic.json"));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.err.find("simulated USB line: Z:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("sim-basic.json"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("USB 2.0 Hub  [not decided, status 0, may be removed]"),
              std::string::npos)
        << run.out;
}

TEST(Zrvcli, AnUnusableSimulatedLineEndsWithExitCode2) {
    struct Case {
        std::wstring fixture;
        const char* reason;
    } cases[] = {
        {FixturePath(L"tests/board-device.json"), "$: missing field \"controllers\""},
        {FixturePath(L"tests/no-such-line.json"), "cannot read the fixture"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        for (const wchar_t* command : {L"tree", L"status"}) {
            Outcome run = RunZrvcli(command, c.fixture);
            EXPECT_EQ(run.exitCode, 2u);
            EXPECT_EQ(run.out, "") << "no tree of a PC that is not there";
            EXPECT_NE(run.err.find("zrvcli: the simulated USB line cannot be used: "),
                      std::string::npos)
                << run.err;
            EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        }
    }
}

}  // namespace
