// usbsimctl: plugs boards into and out of a running simulated fixture.
//   usbsimctl [--pipe NAME | --fixture PATH] attach <position> <board.json>
//   usbsimctl [--pipe NAME | --fixture PATH] detach <position>
//   usbsimctl [--pipe NAME | --fixture PATH] ping
// The pipe is --pipe, else ZRV_USBSIM_PIPE, else the one derived from the
// fixture's full path (--fixture, else ZRV_USBSIM), as the simulator derives it.
// Exit codes: 0 done, 1 usage, 2 no simulator reachable, 3 the simulator refused.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ConsoleText.h"
#include "FixtureFile.h"
#include "PipeClient.h"
#include "PipeProtocol.h"
#include "Text.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitUnreachable = 2;
constexpr int kExitRefused = 3;

using usbsim::WriteText;

int Usage() {
    WriteText(stderr,
              L"usage: usbsimctl [--pipe NAME | --fixture PATH] attach <position> <board.json>\n"
              L"       usbsimctl [--pipe NAME | --fixture PATH] detach <position>\n"
              L"       usbsimctl [--pipe NAME | --fixture PATH] ping\n");
    return kExitUsage;
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? value : L"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring pipe, fixture;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == L'-'; i += 2) {
        if (wcscmp(argv[i], L"--pipe") == 0) {
            pipe = argv[i + 1];
        } else if (wcscmp(argv[i], L"--fixture") == 0) {
            fixture = argv[i + 1];
        } else {
            return Usage();
        }
    }
    if (i >= argc) return Usage();
    usbsim::PipeRequest request;
    request.command = usbsim::Narrow(argv[i]);
    int rest = argc - i - 1;
    if (request.command == "attach" && rest == 2) {
        request.position = argv[i + 1];
        request.boardPath = usbsim::FullPath(argv[i + 2]);
        std::string reason;
        if (!usbsim::ReadWholeFile(request.boardPath, request.boardJson, reason)) {
            WriteText(stderr, L"usbsimctl: " + std::wstring(argv[i + 2]) + L": " +
                                  usbsim::Widen(reason) + L"\n");
            return kExitUsage;
        }
    } else if (request.command == "detach" && rest == 1) {
        request.position = argv[i + 1];
    } else if (request.command != "ping" || rest != 0) {
        return Usage();
    }

    if (pipe.empty()) pipe = Environment(L"ZRV_USBSIM_PIPE");
    if (!pipe.empty()) {
        pipe = usbsim::PipeNameFromSetting(pipe);
    } else {
        if (fixture.empty()) fixture = Environment(L"ZRV_USBSIM");
        if (fixture.empty()) {
            WriteText(stderr,
                      L"usbsimctl: name the simulator with --pipe, --fixture, "
                      L"ZRV_USBSIM_PIPE or ZRV_USBSIM\n");
            return kExitUsage;
        }
        pipe = usbsim::PipeNameForFixture(usbsim::FullPath(fixture));
    }

    std::string replyText;
    std::wstring reason;
    if (!usbsim::CallPipe(pipe, usbsim::EncodeRequest(request), replyText, reason)) {
        WriteText(stderr, L"usbsimctl: " + reason + L"\n");
        return kExitUnreachable;
    }
    auto reply = usbsim::DecodeReply(replyText);
    if (!reply) {
        WriteText(stderr, L"usbsimctl: unreadable reply from " + pipe + L"\n");
        return kExitUnreachable;
    }
    if (reply->code != 0) {
        WriteText(stderr, L"usbsimctl: " + reply->message + L"\n");
        return kExitRefused;
    }
    if (request.command == "ping") WriteText(stdout, reply->message + L"\n");
    return 0;
}
