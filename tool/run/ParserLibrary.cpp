#include "ParserLibrary.h"

const wchar_t kParserLibraryName[] = L"Pellvane.dll";

CParserLibrary::~CParserLibrary() {
    if (module_) FreeLibrary(module_);
}

bool CParserLibrary::Load(std::wstring& error) {
    module_ = LoadLibraryW(kParserLibraryName);
    if (!module_) {
        error = L"Failed Loading ConfigParser DLL in SetConfigBlock in CDeviceData";
        return false;
    }
    create_ = reinterpret_cast<CreateParserFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CreateParser")));
    if (!create_) {
        FreeLibrary(module_);
        module_ = nullptr;
        error =
            L"Failed GetProcAddress for CreateParser in ConfigParser DLL from "
            L"CDeviceData::SetConfigBlock";
        return false;
    }
    return true;
}
