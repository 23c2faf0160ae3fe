// The configuration-block parser library, loaded by name for one preparation and freed after.
#pragma once

#include <windows.h>

#include <string>

#include "IParser.h"

extern const wchar_t kParserLibraryName[];  // "Pellvane.dll"

class CParserLibrary {
public:
    CParserLibrary() = default;
    ~CParserLibrary();
    CParserLibrary(const CParserLibrary&) = delete;
    CParserLibrary& operator=(const CParserLibrary&) = delete;

    // Loads the library and finds CreateParser; false with the operator's text when either fails.
    bool Load(std::wstring& error);
    CreateParserFn CreateParser() const { return create_; }

private:
    HMODULE module_ = nullptr;
    CreateParserFn create_ = nullptr;
};
