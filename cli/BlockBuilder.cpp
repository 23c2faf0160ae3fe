#include "BlockBuilder.h"

#include <memory>

#include "HalvexZRVLib.h"

CBlockBuilder::CBlockBuilder() : module_(LoadLibraryW(L"Pellvane.dll")) {
    if (module_) {
        create_ = reinterpret_cast<CreateParserFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "CreateParser")));
    }
}

CBlockBuilder::~CBlockBuilder() {
    if (module_) FreeLibrary(module_);
}

bool CBlockBuilder::Ready(std::wstring& error) const {
    if (module_ == nullptr) {
        error = L"cannot load Pellvane.dll (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    if (create_ == nullptr) {
        error = L"Pellvane.dll has no CreateParser";
        return false;
    }
    return true;
}

bool CBlockBuilder::Build(const std::vector<uint8_t>& block, const std::wstring& serial,
                          std::vector<uint8_t>& out, std::wstring& error) const {
    if (!serial.empty() && create_ == nullptr) {
        out.clear();
        error = L"no parser library";
        return false;
    }
    return JoinBlockAndSerial(create_, block, serial, out, error) == kParserOk;
}

int32_t JoinBlockAndSerial(CreateParserFn createParser, const std::vector<uint8_t>& block,
                           const std::wstring& serial, std::vector<uint8_t>& out,
                           std::wstring& error) {
    out.clear();
    if (serial.empty()) {
        out = block;
        return kParserOk;
    }
    const uint8_t* data = block.empty() ? nullptr : block.data();
    const uint32_t size = static_cast<uint32_t>(block.size());
    const uint32_t length = static_cast<uint32_t>(serial.size());
    std::unique_ptr<IParser> parser(
        createParser ? createParser(data, size, serial.c_str(), length, 0) : nullptr);
    if (!parser) {
        error = L"the parser library made no parser";
        return RESULT_RESOURCE_FAILURE;
    }
    const int32_t set = parser->SetConfigurationBlock(data, size, serial.c_str(), length);
    if (set != kParserOk) {
        error = L"the parser refused the block with serial " + serial + L" (" +
                std::to_wstring(set) + L")";
        return set;
    }
    out.resize(parser->GetConfigBlockSize());
    const int32_t copied = parser->GetConfigBlock(static_cast<uint32_t>(out.size()), out.data());
    if (copied < 0) {
        error = L"the parser gave no block (" + std::to_wstring(copied) + L")";
        out.clear();
        return copied;
    }
    out.resize(static_cast<size_t>(copied));
    return kParserOk;
}
