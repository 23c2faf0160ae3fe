// Encoding of usbsimctl requests and replies.
#include "PipeProtocol.h"

#include <cstdlib>

#include "Text.h"

namespace usbsim {

namespace {

const wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";

// Splits off the first `count` lines; the rest (which may hold line feeds) stays in `rest`.
bool SplitLines(const std::string& text, size_t count, std::string* lines, std::string& rest) {
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            if (i + 1 != count) return false;
            lines[i] = text.substr(start);
            rest.clear();
            return true;
        }
        lines[i] = text.substr(start, end - start);
        start = end + 1;
    }
    rest = text.substr(start);
    return true;
}

}  // namespace

std::string EncodeRequest(const PipeRequest& request) {
    std::string text = request.command + "\n" + Narrow(request.position);
    if (request.command == "attach") {
        text += "\n" + Narrow(request.boardPath) + "\n" + request.boardJson;
    }
    return text;
}

std::optional<PipeRequest> DecodeRequest(const std::string& text) {
    PipeRequest request;
    std::string head[4];
    std::string rest;
    if (!SplitLines(text, 1, head, rest)) return std::nullopt;
    request.command = head[0];
    if (request.command == "ping") return request;
    if (request.command == "detach") {
        if (rest.empty() || rest.find('\n') != std::string::npos) return std::nullopt;
        request.position = Widen(rest);
        return request;
    }
    if (request.command == "attach") {
        if (!SplitLines(rest, 2, head, request.boardJson)) return std::nullopt;
        request.position = Widen(head[0]);
        request.boardPath = Widen(head[1]);
        if (request.position.empty() || request.boardJson.empty()) return std::nullopt;
        return request;
    }
    return std::nullopt;
}

std::string EncodeReply(const PipeReply& reply) {
    return std::to_string(reply.code) + "\n" + Narrow(reply.message);
}

std::optional<PipeReply> DecodeReply(const std::string& text) {
    size_t end = text.find('\n');
    std::string code = text.substr(0, end);
    if (code.empty() || code.size() > 11) return std::nullopt;
    char* stop = nullptr;
    long value = std::strtol(code.c_str(), &stop, 10);
    if (*stop != '\0') return std::nullopt;
    PipeReply reply;
    reply.code = static_cast<int>(value);
    if (end != std::string::npos) reply.message = Widen(text.substr(end + 1));
    return reply;
}

std::wstring PipeNameForFixture(const std::wstring& fullPath) {
    return std::wstring(kPipePrefix) + L"zrv-usbsim-" + HexWord(Fnv1a(fullPath), 8);
}

std::wstring PipeNameFromSetting(const std::wstring& name) {
    if (name.size() >= 9 && EqualsNoCase(name.substr(0, 9), kPipePrefix)) return name;
    return kPipePrefix + name;
}

}  // namespace usbsim
