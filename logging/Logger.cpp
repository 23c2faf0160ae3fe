#include "Logger.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

CIndentWrite& TraceWriter() {
    static CIndentWrite writer(kTraceLogFileName);
    return writer;
}

namespace {
// The writer opens (and if need be empties) the log file while the module is
// initialised, not at the first traced call.
CIndentWrite& g_writerAtLoad = TraceWriter();
}  // namespace

int FormatWide(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args) {
    if (capacity == 0) return 0;
    // _vsnwprintf is the CRT's own: unlike the C99 family, %s is wide here.
    int n = _vsnwprintf(buffer, capacity - 1, format, args);
    if (n < 0 || static_cast<size_t>(n) >= capacity - 1) n = static_cast<int>(capacity - 1);
    buffer[n] = L'\0';
    return n;
}

CLogger::CLogger(const wchar_t* name) : writer_(nullptr) {
    if (name == nullptr || name[0] == L'\0') throw CIndentWriteError();
    writer_ = &TraceWriter();
    Open(name);
}

CLogger::CLogger(const wchar_t* name, CIndentWrite& writer) : writer_(nullptr) {
    if (name == nullptr || name[0] == L'\0') throw CIndentWriteError();
    writer_ = &writer;
    Open(name);
}

void CLogger::Open(const wchar_t* name) {
    indent_ = writer_->Enter();
    wcsncpy(name_, name, kNameLength - 1);
    Write(3, L"%s--->{", name_);
}

CLogger::~CLogger() {
    Write(3, L"}//<---%s", name_);
    writer_->Leave();
    writer_ = nullptr;
}

void CLogger::Write(int level, const wchar_t* format, ...) {
    wchar_t message[kMessageLength];
    size_t used = 0;
    if (writer_->Level() != 3 && level != 3) {
        used = static_cast<size_t>(swprintf(message, kMessageLength, L"%ls: ", name_));
    }
    va_list args;
    va_start(args, format);
    FormatWide(message + used, kMessageLength - used, format, args);
    va_end(args);
    writer_->WriteLine(indent_, level, message);
}
