// Pellvane.dll: the CreateParser export and the library's trace log name.
#include <new>

#include "IParser.h"
#include "MiravelParser.h"

extern const wchar_t kTraceLogFileName[] = L"ConfigParserLog.txt";

extern "C" IParser* __cdecl CreateParser(const uint8_t* /*block*/, uint32_t /*blockSize*/,
                                         const wchar_t* /*serial*/, uint32_t /*serialLength*/,
                                         int32_t kind) {
    if (kind != 0) return nullptr;
    return new (std::nothrow) CMiravelParser();
}
