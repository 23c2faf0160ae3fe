// Helpers of the programming-run tests: topology files written from entries, chip memories read
// back from the simulator, text counting.
#pragma once

#include <initializer_list>
#include <string>

namespace guitest {

struct HubEntry {
    const char* position;
    const char* settings;  // the entry's lines after its section name
};

// A topology file holding the entries, header and trailer included.
std::string Tcf(std::initializer_list<HubEntry> entries);
// ASCII text as UTF-16LE bytes, as serial items store it.
std::string Utf16(const std::string& ascii);
size_t Occurrences(const std::string& text, const std::string& part);

// A memory area ("otp", "flash" ...) of the maker's hub whose product id and serial are given
// ("6104\\A1"); empty for a chip never touched or an area it does not have.
std::string ChipMemory(const std::wstring& pidAndSerial, const char* area);
inline std::string ChipOtp(const std::wstring& pidAndSerial) {
    return ChipMemory(pidAndSerial, "otp");
}

// Runs usbsimctl against this process's simulator; its exit code, or -1.
int RunUsbSimCtl(const std::wstring& arguments);

}  // namespace guitest
