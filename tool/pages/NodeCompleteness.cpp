#include "NodeCompleteness.h"

#include "TcfItem.h"

namespace {

constexpr int kSpiPartial = 0;
constexpr int kSpiCopyFromOtp = 1;
constexpr int kSpi = 2;
constexpr int kOtp = 3;

bool IsBlank(const std::wstring& text) {
    return text.find_first_not_of(L" \t\r\n\f\v") == std::wstring::npos;
}

}  // namespace

std::vector<int> MemoryTypesOfFamily(int partFamily) {
    switch (partFamily) {
        case kPartFamilyFirst:
            return {kSpiPartial, kSpiCopyFromOtp, kSpi, kOtp, kMemoryTypeUnknown};
        case kPartFamilySecond:
            return {kSpiPartial, kSpi, kOtp, kMemoryTypeUnknown};
        default:
            return {kMemoryTypeUnknown};
    }
}

const wchar_t* MemoryTypeText(int memoryType) {
    switch (memoryType) {
        case kSpiPartial:
            return L"SPI Partial (Config)";
        case kSpiCopyFromOtp:
            return L"SPI Copy from OTP";
        case kSpi:
            return L"SPI";
        case kOtp:
            return L"OTP";
        default:
            return L"N/A";
    }
}

bool BrowsesForImage(int partFamily, int memoryType) {
    return partFamily == kPartFamilySecond || memoryType == kSpiCopyFromOtp || memoryType == kSpi;
}

NodeView ViewOfNode(const NodeSettings& node) {
    NodeView view;
    if (node.partFamily != kPartFamilyFirst && node.partFamily != kPartFamilySecond) {
        view.complete = true;
        return view;
    }
    view.memoryTypeShown = true;
    if (node.memoryType == kMemoryTypeUnknown) {
        view.complete = true;
        return view;
    }
    view.operationsShown = true;
    if (!node.program && !node.verify) return view;
    view.fileShown = true;
    const bool noFile = IsBlank(node.configFile);
    const bool image = node.memoryType == kSpiCopyFromOtp || node.memoryType == kSpi;
    if (image && noFile) return view;
    const bool block = node.memoryType == kSpiPartial || node.memoryType == kOtp;
    view.serialSettingsShown = node.program && node.partFamily == kPartFamilyFirst && block;
    if (block && noFile && !node.serialConfirmed) return view;
    view.complete = true;
    return view;
}
