// Function-scoped trace: a CLogger lives for a traced function's body,
// announces entry and exit at level 3 and writes indented messages.
//
// Each deliverable defines kTraceLogFileName; its one writer is created
// while the module is initialised (earlier if a static object logs first). A
// static object that logs from its destructor must touch TraceWriter() in its
// constructor so the writer outlives it.
#pragma once

#include "IndentWrite.h"

extern const wchar_t kTraceLogFileName[];

CIndentWrite& TraceWriter();

class CIndentWriteError {};

class CLogger {
public:
    static constexpr int kNameLength = 100;
    static constexpr int kMessageLength = 4096;

    // Throws CIndentWriteError for a null or empty name.
    explicit CLogger(const wchar_t* name);
    CLogger(const wchar_t* name, CIndentWrite& writer);
    virtual ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    // printf-style with the CRT's wide rules: %s and %ws take wide strings.
    void Write(int level, const wchar_t* format, ...);

    int Indent() const { return indent_; }

private:
    void Open(const wchar_t* name);

    CIndentWrite* writer_;
    wchar_t name_[kNameLength] = {};
    int indent_ = 0;
};

// Formats with the CRT's _vsnwprintf into buffer (capacity characters,
// always terminated, cut when too long). Returns the characters written.
int FormatWide(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args);
