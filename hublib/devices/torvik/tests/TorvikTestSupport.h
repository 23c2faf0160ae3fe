// Shared by the second-family driver tests: a simulated line with one
// second-family hub on root port 1, described by a few fields, and what a
// test reads back from the simulator (chip memory, the trace log).
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Text.h"
#include "UsbSimApi.h"

namespace torvik_test {

inline const wchar_t kHubPath[] =
    L"\\\\?\\USB#VID_3B9A&PID_7104#T1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
inline const wchar_t kHubInstance[] = L"USB\\VID_3B9A&PID_7104\\T1";
inline const size_t kHubPathLength = sizeof(kHubPath) / sizeof(kHubPath[0]) - 1;

struct Board {
    std::string romVersion = "0x0109";
    uint32_t otpSize = 2048;
    std::string otpHex;  // empty: blank
    std::string boot = "rom";
    std::string firmwareVersion = "0x0116";
    bool cacheBit = false;
    uint32_t flashSize = 131072;  // 0: no flash
    std::string flashImageHex;
    std::string manufacturer = "ok";
    int pseudoOtp = -1;  // -1: not set
    bool ep5Enabled = true;
    std::string faults = "[]";
    std::string children = "{}";  // devices on the hub's ports
};

inline std::string Json(const Board& b) {
    std::string chip = "\"romVersion\": \"" + b.romVersion +
                       "\", \"otpSize\": " + std::to_string(b.otpSize) + ", \"boot\": \"" + b.boot +
                       "\", \"firmwareVersion\": \"" + b.firmwareVersion +
                       "\", \"cacheBit\": " + (b.cacheBit ? "true" : "false") +
                       ", \"ep5Enabled\": " + (b.ep5Enabled ? "true" : "false");
    if (!b.otpHex.empty()) chip += ", \"otp\": \"" + b.otpHex + "\"";
    if (b.flashSize != 0) {
        chip += ", \"flash\": { \"size\": " + std::to_string(b.flashSize) +
                ", \"manufacturer\": \"" + b.manufacturer + "\"";
        if (!b.flashImageHex.empty()) chip += ", \"image\": \"" + b.flashImageHex + "\"";
        chip += " }";
    }
    if (b.pseudoOtp >= 0) chip += ", \"pseudoOtp\": " + std::to_string(b.pseudoOtp);
    return R"({ "timeScale": 1000, "controllers": [ { "description": "Host Controller", "ports": 2,
      "children": { "1": { "hub": { "family": "second", "vid": "3B9A", "pid": "7104",
      "serial": "T1", "ports": 4, "description": "Second-family hub", "chip": { )" +
           chip + " }, \"faults\": " + b.faults + ", \"children\": " + b.children + " } } } } ] }";
}

inline std::string Hex(const std::vector<uint8_t>& bytes) {
    return usbsim::HexBytes(bytes);
}

// Loads the board as the whole simulated line; the seam takes the simulator.
inline bool LoadBoard(const Board& board) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
    return UsbSimWaitIdle(5000) == USBSIM_OK &&
           UsbSimLoadJson(Json(board).c_str(), nullptr) == USBSIM_OK;
}

inline std::vector<uint8_t> ChipArea(const char* area) {
    int size = UsbSimReadChipMemory(kHubInstance, area, nullptr, 0);
    if (size <= 0) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    UsbSimReadChipMemory(kHubInstance, area, bytes.data(), size);
    return bytes;
}

// A firmware image of `size` bytes with the boot signature in place.
inline std::vector<uint8_t> FirmwareImage(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> image(size);
    for (uint32_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 8));
    memcpy(&image[0xFFFA], "2DFU", 4);
    return image;
}

// The trace log from `offset` (wide characters) on.
inline std::wstring TraceLogSince(const wchar_t* file, size_t offset) {
    std::wifstream in(file);
    std::wstringstream text;
    text << in.rdbuf();
    std::wstring all = text.str();
    return offset < all.size() ? all.substr(offset) : L"";
}

}  // namespace torvik_test
