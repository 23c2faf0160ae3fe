#include "InputFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ConfigBlock.h"
#include "FirmwareImage.h"
#include "HalvexZRVLib.h"

namespace {

constexpr size_t kSecondFamilyMinImage = 0xFFFE;
constexpr size_t kSecondFamilyMaxImage = 0x20000;
// No file a hub takes comes near this; a larger one is a wrong file.
constexpr long kLargestInput = 16 * 1024 * 1024;

}  // namespace

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::wstring& error) {
    bytes.clear();
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        const char* reason = strerror(errno);
        error =
            L"cannot open " + path + L" (" + std::wstring(reason, reason + strlen(reason)) + L")";
        return false;
    }
    bool ok = fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? ftell(file) : -1;
    ok = ok && size >= 0 && size <= kLargestInput && fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = size == 0 || fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    fclose(file);
    if (!ok) {
        error = size > kLargestInput ? L"" + path + L" is too large for a configuration or image"
                                     : L"cannot read " + path + L" whole";
        bytes.clear();
    }
    return ok;
}

std::wstring CheckConfigBlock(const std::vector<uint8_t>& bytes, bool serialAdded) {
    if (bytes.empty()) {
        return serialAdded ? L"" : L"the configuration file is empty";
    }
    const cfgblock::ByteView block{bytes.data(), bytes.size()};
    if (!cfgblock::HasSignatureAnyCase(block)) {
        return L"not a configuration block (no CFGB signature)";
    }
    if (!cfgblock::HasConsistentSize(block)) {
        return L"the configuration block's size (" + std::to_wstring(bytes.size()) +
               L" bytes) disagrees with its item descriptors";
    }
    return L"";
}

std::wstring CheckFirmwareImageFor(int32_t family, const std::vector<uint8_t>& bytes) {
    const size_t size = bytes.size();
    if (family == HUB_FAMILY_TORVIK) {
        if (size < kSecondFamilyMinImage || size > kSecondFamilyMaxImage) {
            return L"a second-family image has 65534 to 131072 bytes, this one " +
                   std::to_wstring(size);
        }
        if (memcmp(bytes.data() + cfgblock::kFirmwareTagOffset, "2DFU", 4) != 0) {
            return L"the image has no 2DFU tag at 0xFFFA";
        }
        return L"";
    }
    switch (cfgblock::CheckFirmwareImage(bytes.data(), size)) {
        case cfgblock::FirmwareImageCheck::kOk:
            return L"";
        case cfgblock::FirmwareImageCheck::kWrongSize:
            return L"a first-family image has exactly 65535 bytes, this one " +
                   std::to_wstring(size);
        default:
            return L"the image has no 2DFU tag at 0xFFFA";
    }
}
