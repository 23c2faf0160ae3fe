// The text protocol between usbsimctl and the simulator process, and the pipe
// name both sides derive. A request is UTF-8 lines: a command, its arguments,
// and for attach the board file's path and its JSON text; the answer is a result
// code line followed by a message.
#pragma once

#include <optional>
#include <string>

namespace usbsim {

struct PipeRequest {
    std::string command;  // "attach", "detach" or "ping"
    std::wstring position;
    std::wstring boardPath;  // attach: where the board came from (names inside are relative to it)
    std::string boardJson;
};

struct PipeReply {
    int code = 0;  // USBSIM_OK or a USBSIM_ERROR_* code
    std::wstring message;
};

std::string EncodeRequest(const PipeRequest& request);
std::optional<PipeRequest> DecodeRequest(const std::string& text);
std::string EncodeReply(const PipeReply& reply);
std::optional<PipeReply> DecodeReply(const std::string& text);

// "\\.\pipe\zrv-usbsim-<hash of the fixture's full path>", so that simulator
// processes of different fixtures run side by side. An explicit name (from
// ZRV_USBSIM_PIPE) wins; it gets the "\\.\pipe\" prefix when it lacks one.
std::wstring PipeNameForFixture(const std::wstring& fullPath);
std::wstring PipeNameFromSetting(const std::wstring& name);

}  // namespace usbsim
