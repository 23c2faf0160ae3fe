// Shared by the first-family driver tests: one simulated first-family hub per
// fixture, configuration blocks with and without serial items, and the chip
// memory read back from the simulator.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ConfigBlock.h"
#include "JoinBlock.h"
#include "MiravelDevice.h"
#include "SerialItems.h"
#include "Text.h"
#include "UsbSimApi.h"

namespace miravel_test {

inline const wchar_t kHubPath[] =
    L"\\\\?\\USB#VID_1A2B&PID_0610#F1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
inline const wchar_t kHubInstance[] = L"USB\\VID_1A2B&PID_0610\\F1";
inline const char kUuidHex[] = "00112233445566778899AABBCCDDEEFF";

inline std::string Hex(const std::vector<uint8_t>& bytes) {
    return usbsim::HexBytes(bytes);
}

// A fixture with one first-family hub on root port 1: chip fields and faults
// as JSON members (without braces), e.g. R"("uuid": "...")".
inline std::string OneHub(const std::string& chip, const std::string& faults = "[]") {
    return R"({ "timeScale": 1000, "controllers": [ { "description": "Host Controller", "ports": 2,
      "children": { "1": { "hub": { "family": "first", "vid": "1A2B", "pid": "0610",
        "serial": "F1", "ports": 4, "description": "First-family hub", "chip": { )" +
           chip + R"( }, "faults": )" + faults + " } } } } ] }";
}

// Loads a fixture into the process's simulator; the hardware seam and
// zelvo.dll both use it.
inline bool Load(const std::string& fixture) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
    const int result = UsbSimLoadJson(fixture.c_str(), nullptr);
    if (result != USBSIM_OK) {
        wchar_t text[512];
        UsbSimGetLastError(text, 512);
        ADD_FAILURE() << "fixture refused: " << std::string(text, text + wcslen(text));
    }
    return result == USBSIM_OK;
}

inline std::vector<uint8_t> ChipArea(const char* area) {
    const int size = UsbSimReadChipMemory(kHubInstance, area, nullptr, 0);
    if (size < 0) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    UsbSimReadChipMemory(kHubInstance, area, bytes.data(), size);
    return bytes;
}

inline std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t at, size_t length) {
    if (at > bytes.size()) return {};
    length = std::min(length, bytes.size() - at);
    return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
}

// A block of one-byte items (type 0x800) writing value + i to address + i.
inline std::vector<uint8_t> Block(uint16_t address, uint8_t value, int items = 3) {
    std::vector<cfgblock::NewItem> list;
    for (int i = 0; i < items; ++i) {
        const uint16_t a = static_cast<uint16_t>(address + i);
        list.push_back({0x800,
                        {static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a & 0xFF),
                         static_cast<uint8_t>(value + i)}});
    }
    return *cfgblock::BuildBlock(list);
}

// block joined with the serial items of serial.
inline std::vector<uint8_t> WithSerial(const std::vector<uint8_t>& block,
                                       const std::wstring& serial) {
    const cfgblock::SerialBlockSize sizes = cfgblock::SerialItemsSize(serial.size());
    std::vector<uint8_t> descriptors(sizes.descriptors), data(sizes.data);
    cfgblock::WriteSerialItems(serial.c_str(), serial.size(), descriptors.data(),
                               descriptors.size(), data.data(), data.size());
    const cfgblock::ByteView view{block.data(), block.size()};
    std::vector<uint8_t> joined(cfgblock::JoinedBlockSize(view, sizes));
    cfgblock::JoinBlockAndSerial(view, {descriptors.data(), descriptors.size()},
                                 {data.data(), data.size()}, cfgblock::kSerialItemCount,
                                 joined.data(), joined.size());
    return joined;
}

// A 65535-byte firmware image: a pattern and "2DFU" at 0xFFFA.
inline std::vector<uint8_t> FirmwareImage(uint8_t seed) {
    std::vector<uint8_t> image(0xFFFF);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + seed);
    memcpy(&image[0xFFFA], "2DFU", 4);
    return image;
}

// A hub device as the queue would make it, with its settings.
inline std::unique_ptr<CMiravelDevice> Hub(uint32_t mode, bool program, uint32_t validation) {
    auto device = std::make_unique<CMiravelDevice>(kHubPath, wcslen(kHubPath), true);
    device->hubFamily = HUB_FAMILY_MIRAVEL;
    device->storageMode = mode;
    device->programmingRequired = program;
    device->validationMethod = validation;
    return device;
}

inline std::wstring TraceLog(const wchar_t* file) {
    std::wifstream in(file);
    std::wstringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace miravel_test
