#include "ConsoleText.h"

#include <windows.h>

#include <cstdio>

#include "ProductionRecord.h"

namespace {

CRITICAL_SECTION* OutputLock() {
    static CRITICAL_SECTION lock;
    static const bool ready = (InitializeCriticalSection(&lock), true);
    (void)ready;
    return &lock;
}

void Write(FILE* stream, const std::wstring& text) {
    const std::string utf8 = ToUtf8(text);
    EnterCriticalSection(OutputLock());
    fwrite(utf8.data(), 1, utf8.size(), stream);
    fflush(stream);
    LeaveCriticalSection(OutputLock());
}

}  // namespace

void Print(const std::wstring& text) {
    Write(stdout, text);
}

void PrintError(const std::wstring& text) {
    Write(stderr, text);
}
