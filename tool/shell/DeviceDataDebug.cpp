// CDeviceData's debug operations: the hub's OTP into a file, a file into the hub's RAM.
#include <vector>

#include "DeviceData.h"
#include "FileBytes.h"
#include "Logger.h"

namespace {

using PfnDumpOTP = int32_t(__cdecl*)(const wchar_t*, int32_t, const wchar_t*);
using PfnWriteToRAM = int32_t(__cdecl*)(const wchar_t*, int32_t, const uint8_t*, uint32_t);

// A reference to the hub library held for one call.
class CLibraryReference {
public:
    CLibraryReference() : module_(LoadLibraryW(kHubLibraryName)) {}
    ~CLibraryReference() {
        if (module_) FreeLibrary(module_);
    }
    CLibraryReference(const CLibraryReference&) = delete;
    CLibraryReference& operator=(const CLibraryReference&) = delete;
    template <typename F>
    F Export(const char* name) const {
        return HubExport<F>(module_, name);
    }

private:
    HMODULE module_;
};

}  // namespace

bool CDeviceData::DumpOTP(const std::wstring& fileName) const {
    CLogger log(L"CDeviceData::DumpOTP");
    CLibraryReference library;
    auto dump = library.Export<PfnDumpOTP>("DumpOTP");
    if (!dump) {
        log.Write(1, L"DumpOTP is not available");
        return false;
    }
    const std::wstring path = GetDevicePath();
    if (path.empty()) return false;
    const int32_t result = dump(path.c_str(), static_cast<int32_t>(path.size()), fileName.c_str());
    if (result != 0) log.Write(1, L"DumpOTP returned %d", result);
    return result == 0;
}

bool CDeviceData::WriteToRAM(const std::wstring& fileName) const {
    CLogger log(L"CDeviceData::WriteToRAM");
    CLibraryReference library;
    auto write = library.Export<PfnWriteToRAM>("WriteToRAM");
    if (!write) {
        log.Write(1, L"WriteToRAM is not available");
        return false;
    }
    std::vector<uint8_t> bytes;
    DWORD error = 0;
    if (!ReadFileBytes(fileName, bytes, error)) {
        log.Write(1, L"Cannot read %s: %s", fileName.c_str(), SystemErrorText(error).c_str());
        return false;
    }
    const std::wstring path = GetDevicePath();
    if (path.empty()) return false;
    const int32_t result = write(path.c_str(), static_cast<int32_t>(path.size()), bytes.data(),
                                 static_cast<uint32_t>(bytes.size()));
    if (result != 0) log.Write(1, L"WriteToRAM returned %d", result);
    return result == 0;
}
