// The runner's command line: web address or program, and every field of the launch request.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ArgumentText.h"
#include "LaunchRequest.h"

namespace {

struct Outcome {
    bool webAddress = false;
    std::wstring url;  // the whole argument text, when webAddress
    std::wstring program;
    std::optional<std::wstring> parameters;
    std::wstring directory;
    bool elevate = false;
};

Outcome Interpret(const std::wstring& commandLine) {
    Outcome outcome;
    std::wstring arguments(ArgumentTextOf(commandLine));
    if (IsWebAddress(arguments)) {
        outcome.webAddress = true;
        outcome.url = arguments;
        return outcome;
    }
    const LaunchRequest request = ParseLaunchRequest(arguments.data());
    outcome.program = request.program;
    if (request.parameters != nullptr) outcome.parameters = request.parameters;
    outcome.directory = request.directory;
    outcome.elevate = request.elevate;
    return outcome;
}

Outcome Url(const wchar_t* url) {
    Outcome outcome;
    outcome.webAddress = true;
    outcome.url = url;
    return outcome;
}

Outcome Launch(const wchar_t* program, std::optional<std::wstring> parameters,
               const wchar_t* directory, bool elevate = false) {
    Outcome outcome;
    outcome.program = program;
    outcome.parameters = std::move(parameters);
    outcome.directory = directory;
    outcome.elevate = elevate;
    return outcome;
}

struct Case {
    const wchar_t* commandLine;
    Outcome expected;
};

constexpr std::nullopt_t kNone = std::nullopt;

}  // namespace

TEST(LaunchRequest, CommandLinesGiveTheirRequests) {
    const Case cases[] = {
        // Web addresses: the whole argument text, whatever the case of "http".
        {LR"("C:\Program Files\Zrv\ShortcutRunner.exe" http://example.com/a b)",
         Url(L"http://example.com/a b")},
        {L"ShortcutRunner.exe HTTP://EXAMPLE.COM/", Url(L"HTTP://EXAMPLE.COM/")},
        {L"ShortcutRunner.exe hTtPs://x ", Url(L"hTtPs://x ")},
        {L"ShortcutRunner.exe httpd.exe", Url(L"httpd.exe")},
        // Shorter than the prefix: a program name.
        {L"ShortcutRunner.exe h", Launch(L"h", kNone, L"")},
        {L"ShortcutRunner.exe htt", Launch(L"htt", kNone, L"")},
        // /RunAsAdmin needs its trailing space.
        {L"ShortcutRunner.exe /RunAsAdmin", Launch(L"/RunAsAdmin", kNone, L"")},
        {L"ShortcutRunner.exe /RunAsAdmin\tapp.exe", Launch(L"/RunAsAdmin\tapp.exe", kNone, L"")},
        {L"ShortcutRunner.exe /RunAsAdmin app.exe", Launch(L"app.exe", kNone, L"", true)},
        {LR"(ShortcutRunner.exe /runasadmin  	 "C:\Tools\app.exe" /q)",
         Launch(LR"(C:\Tools\app.exe)", L"/q", LR"(C:\Tools)", true)},
        // /DIR with quoted and unquoted directories and programs.
        {LR"(ShortcutRunner.exe /DIR "C:\My Dir" "C:\Tools\app.exe" -x)",
         Launch(LR"(C:\Tools\app.exe)", L"-x", LR"(C:\My Dir)")},
        {LR"(ShortcutRunner.exe /dir C:\Work   C:\Tools\app.exe a "b c")",
         Launch(LR"(C:\Tools\app.exe)", LR"(a "b c")", LR"(C:\Work)")},
        {LR"(ShortcutRunner.exe /RunAsAdmin /DIR "C:\My Dir" app.exe -x)",
         Launch(L"app.exe", L"-x", LR"(C:\My Dir)", true)},
        {LR"(ShortcutRunner.exe /DIR "" C:\Tools\app.exe)",
         Launch(LR"(C:\Tools\app.exe)", kNone, L"")},
        {LR"(ShortcutRunner.exe /DIR C:\Work)", Launch(L"", kNone, LR"(C:\Work)")},
        {LR"(ShortcutRunner.exe /DIR "C:\My Dir)", Launch(L"", kNone, LR"(C:\My Dir)")},
        {L"ShortcutRunner.exe /DIR", Launch(L"/DIR", kNone, L"")},
        // /DIR only counts before the program; after /RunAsAdmin only in that order.
        {L"ShortcutRunner.exe /DIR x /RunAsAdmin app.exe",
         Launch(L"/RunAsAdmin", L"app.exe", L"x")},
        // Without /DIR: the program's own folder, only from the program's text.
        {LR"(ShortcutRunner.exe "C:\Tools\app.exe")",
         Launch(LR"(C:\Tools\app.exe)", kNone, LR"(C:\Tools)")},
        {LR"(ShortcutRunner.exe C:\Tools\app.exe C:\data\in.txt)",
         Launch(LR"(C:\Tools\app.exe)", LR"(C:\data\in.txt)", LR"(C:\Tools)")},
        {LR"(ShortcutRunner.exe app.exe C:\data\in.txt)",
         Launch(L"app.exe", LR"(C:\data\in.txt)", L"")},
        {L"ShortcutRunner.exe app.exe", Launch(L"app.exe", kNone, L"")},
        {LR"(ShortcutRunner.exe "C:\My Tools\sub dir\app.exe" -x)",
         Launch(LR"(C:\My Tools\sub dir\app.exe)", L"-x", LR"(C:\My Tools\sub dir)")},
        {LR"(ShortcutRunner.exe \\server\share\app.exe)",
         Launch(LR"(\\server\share\app.exe)", kNone, LR"(\\server\share)")},
        // A root folder keeps its backslash.
        {LR"(ShortcutRunner.exe C:\app.exe)", Launch(LR"(C:\app.exe)", kNone, LR"(C:\)")},
        {LR"(ShortcutRunner.exe \app.exe)", Launch(LR"(\app.exe)", kNone, LR"(\)")},
        // Only one space after the program is cut; a quote may touch the parameters.
        {LR"(ShortcutRunner.exe "C:\Tools\app.exe"  -x)",
         Launch(LR"(C:\Tools\app.exe)", L" -x", LR"(C:\Tools)")},
        {LR"(ShortcutRunner.exe "C:\Tools\app.exe"-x)",
         Launch(LR"(C:\Tools\app.exe)", L"-x", LR"(C:\Tools)")},
        {LR"(ShortcutRunner.exe "C:\Tools\app.exe" )",
         Launch(LR"(C:\Tools\app.exe)", kNone, LR"(C:\Tools)")},
        {LR"(ShortcutRunner.exe "C:\Tools\app.exe)",
         Launch(LR"(C:\Tools\app.exe)", kNone, LR"(C:\Tools)")},
        // The runner's own name: quoted, unquoted, with blanks around it.
        {LR"("C:\a b\ShortcutRunner.exe"app.exe -x)", Launch(L"app.exe", L"-x", L"")},
        {L" \t ShortcutRunner.exe \t  app.exe", Launch(L"app.exe", kNone, L"")},
        {LR"(C:\a\ShortcutRunner.exe	app.exe)", Launch(L"", kNone, L"")},
        // Nothing to start.
        {L"ShortcutRunner.exe", Launch(L"", kNone, L"")},
        {L"ShortcutRunner.exe   ", Launch(L"", kNone, L"")},
        {LR"("C:\a b\ShortcutRunner.exe)", Launch(L"", kNone, L"")},
        {L"", Launch(L"", kNone, L"")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "command line [" << c.commandLine << "]");
        const Outcome actual = Interpret(c.commandLine);
        EXPECT_EQ(actual.webAddress, c.expected.webAddress);
        EXPECT_EQ(actual.url, c.expected.url);
        EXPECT_EQ(actual.program, c.expected.program);
        EXPECT_EQ(actual.parameters, c.expected.parameters);
        EXPECT_EQ(actual.directory, c.expected.directory);
        EXPECT_EQ(actual.elevate, c.expected.elevate);
    }
}

TEST(LaunchRequest, ProgramAndParametersAreCutInPlace) {
    wchar_t text[] = LR"(/DIR "C:\My Dir" "C:\Tools\app.exe" -x)";
    const LaunchRequest request = ParseLaunchRequest(text);
    EXPECT_EQ(request.program, text + 18);
    EXPECT_EQ(request.parameters, text + 36);
    EXPECT_EQ(text[15], L'\0');  // the directory's closing quote
    EXPECT_EQ(text[34], L'\0');  // the program's closing quote
    EXPECT_EQ(text[35], L'\0');  // the one space after it
}
