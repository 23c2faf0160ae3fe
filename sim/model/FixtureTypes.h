// What a fixture file describes, after validation: controllers, the hubs and
// devices on their ports, chip contents, timing and faults. Plain data.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace usbsim {

enum class HubFamily { kFirst, kSecond, kOther };
enum class UsbSpeed { kLow = 0, kFull = 1, kHigh = 2, kSuper = 3 };

// One entry of a "faults" list. Which fields matter depends on the operation.
struct FaultSpec {
    std::string op;
    std::optional<uint32_t> count;  // how many times it fires; unset: always
    uint32_t after = 0;             // successful calls of the operation that come first
    std::optional<uint32_t> address;
    std::optional<uint32_t> systemError;
    std::optional<uint32_t> shortBytes;  // otpRead: bytes actually returned
    std::string during;                  // detach: the operation it interrupts
    std::string status = {};             // portStatus: what the port shows (PortStatuses())
};

struct FlashSpec {
    uint32_t size = 0;
    std::vector<uint8_t> image;  // from "image": file or hex; shorter than size
    std::string manufacturer;    // second family: "ok", "unsupported", "none"
};

struct FirstFamilyChip {
    std::optional<std::vector<uint8_t>> uuid;  // 16 bytes; unset: blank OTP
    std::string vendorSignature = "VNDR";
    std::vector<std::vector<uint8_t>> otpBlocks;
    std::optional<std::vector<uint8_t>> otp;  // 2048 bytes, overrides the two above
    std::string bootState = "spi";            // "spi" or "dfu"
    std::optional<FlashSpec> flash;           // unset: no flash
};

struct SecondFamilyChip {
    uint16_t romVersion = 0x0109;
    std::optional<uint16_t> firmwareVersion;
    std::string boot = "rom";  // "rom" or "spi"
    bool cacheBit = false;
    uint32_t otpSize = 2048;
    std::optional<std::vector<uint8_t>> otp;
    std::optional<FlashSpec> flash;
    std::optional<uint8_t> pseudoOtp;
    std::optional<uint32_t> ep5Port;  // unset: one past the hub's ports
    bool ep5Enabled = false;          // the fifth-endpoint function is present at start
};

struct ChipSpec {
    std::optional<FirstFamilyChip> first;
    std::optional<SecondFamilyChip> second;
    std::map<uint32_t, uint8_t> registers;  // initial register bytes by address
};

// A hub or an ordinary device on a port, with what hangs below it.
struct DeviceSpec {
    bool isHub = false;
    HubFamily family = HubFamily::kOther;
    uint16_t vid = 0;
    uint16_t pid = 0;
    uint16_t bcdDevice = 0x0100;
    std::wstring serial;  // empty: Windows generates the instance suffix
    std::wstring description;
    uint32_t ports = 0;
    UsbSpeed speed = UsbSpeed::kHigh;
    ChipSpec chip;
    std::vector<FaultSpec> faults;
    std::map<uint32_t, std::shared_ptr<DeviceSpec>> children;  // by 1-based port
    std::string jsonPath;  // where it was described, for later complaints
    bool usb3 = false;     // hubs: a SuperSpeed half appears beside this high-speed one
    std::optional<uint16_t> superSpeedPid = {};  // the SuperSpeed half's; unset: pid
};

struct ControllerSpec {
    uint32_t hcd = 0;  // the n of \\.\HCDn
    std::wstring description;
    std::wstring instanceId;
    uint32_t ports = 0;
    std::map<uint32_t, std::shared_ptr<DeviceSpec>> children;
    std::string jsonPath;
    // SuperSpeed root ports after `ports`: port ports+k is the companion of port k.
    uint32_t superSpeedPorts = 0;
};

struct LatencySpec {
    double requestUs = 0;
    double otpByteUs = 0;
    double flashPageUs = 0;
    double sectorEraseMs = 0;
    double chipEraseMs = 0;
    double rebootMs = 0;
    double ep5EnableMs = 0;
    double notifyMs = 0;  // a change's notifications wait this long before they are sent
};

struct FixtureSpec {
    double timeScale = 1;
    LatencySpec latency;
    std::vector<ControllerSpec> controllers;
};

}  // namespace usbsim
