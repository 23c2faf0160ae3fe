// Fixture parsing of chip contents and fault lists. The chips only hold these
// values for now; the chip models that use them read them from the spec.
#include <set>

#include <algorithm>

#include "Faults.h"
#include "JsonReader.h"
#include "FixtureReaders.h"
#include "Text.h"

namespace usbsim {

namespace {

constexpr uint32_t kFirstFamilyOtpSize = 2048;
constexpr uint32_t kFlashSector = 4096;
constexpr uint32_t kMaxFlash = 16 * 1024 * 1024;

const std::set<std::string>& FaultOps() {
    static const std::set<std::string> ops = {"open",           "otpRead",        "otpProgram",
                                              "otpWrite",       "ramWrite",       "ramRead",
                                              "registerRead",   "registerWrite",  "readControl",
                                              "flashRead",      "flashErase",     "flashProgram",
                                              "writeStatus",    "chipErase",      "rebootToDfu",
                                              "signatureErase", "spiPassthrough", "winusbOpen",
                                              "winusbTransfer", "connectionInfo", "readBackCorrupt",
                                              "detach",         "vendorOpen",     "portStatus"};
    return ops;
}

bool TakesAddress(const std::string& op) {
    return op == "registerRead" || op == "registerWrite" || op == "flashErase" ||
           op == "flashProgram" || op == "readBackCorrupt";
}

std::vector<uint8_t> ReadHexField(CJsonObject& object, const char* key) {
    std::string text = object.RequiredString(key);
    auto bytes = ParseHexBytes(text);
    if (!bytes) Fail(object.PathOf(key), "expected hex bytes (pairs of hex digits)");
    return *bytes;
}

bool LooksLikeHex(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789abcdefABCDEF ") == std::string::npos;
}

// null: no flash; otherwise size, image (hex, or a file relative to the fixture).
std::optional<FlashSpec> ReadFlash(const nlohmann::json& value, const std::string& path,
                                   bool withManufacturer, const FileReader& reader) {
    if (value.is_null()) return std::nullopt;
    CJsonObject object(value, path);
    FlashSpec flash;
    object.Required("size");
    flash.size = object.Number("size", 0, kFlashSector, kMaxFlash);
    if (flash.size % kFlashSector != 0) {
        Fail(object.PathOf("size"), "a flash size is a multiple of 4096 bytes");
    }
    std::string image = object.String("image", "");
    if (LooksLikeHex(image)) {
        auto bytes = ParseHexBytes(image);
        if (!bytes) Fail(object.PathOf("image"), "odd number of hex digits");
        flash.image = *bytes;
    } else if (!image.empty()) {
        std::string reason;
        if (!reader || !reader(image, flash.image, reason)) {
            Fail(object.PathOf("image"), "cannot read \"" + image + "\": " + reason);
        }
    }
    if (flash.image.size() > flash.size) {
        Fail(object.PathOf("image"), "the image (" + std::to_string(flash.image.size()) +
                                         " bytes) is larger than the flash");
    }
    if (withManufacturer) {
        flash.manufacturer = object.String("manufacturer", "ok");
        if (flash.manufacturer != "ok" && flash.manufacturer != "unsupported" &&
            flash.manufacturer != "none") {
            Fail(object.PathOf("manufacturer"), "expected \"ok\", \"unsupported\" or \"none\"");
        }
    }
    object.RejectUnknown();
    return flash;
}

std::map<uint32_t, uint8_t> ReadRegisters(CJsonObject& chip) {
    std::map<uint32_t, uint8_t> registers;
    const nlohmann::json* value = chip.Optional("registers");
    if (value == nullptr) return registers;
    std::string path = chip.PathOf("registers");
    if (!value->is_object()) Fail(path, "expected an object of address: byte");
    for (auto it = value->begin(); it != value->end(); ++it) {
        auto address = ParseNumber(it.key());
        if (!address || *address > 0xFFFF) Fail(path + "." + it.key(), "not a register address");
        registers[*address] =
            static_cast<uint8_t>(NumberValue(it.value(), path + "." + it.key(), 0, 0xFF));
    }
    return registers;
}

FirstFamilyChip ReadFirstFamily(CJsonObject& object, const FileReader& reader) {
    FirstFamilyChip chip;
    if (object.Has("uuid")) {
        auto uuid = ReadHexField(object, "uuid");
        if (uuid.size() != 16) Fail(object.PathOf("uuid"), "a UUID has 32 hex digits");
        chip.uuid = uuid;
    }
    chip.vendorSignature = object.String("vendorSignature", "VNDR");
    if (chip.vendorSignature.size() != 4) {
        Fail(object.PathOf("vendorSignature"), "a vendor signature has 4 characters");
    }
    if (const nlohmann::json* blocks = object.Optional("otpBlocks")) {
        if (!blocks->is_array()) Fail(object.PathOf("otpBlocks"), "expected an array of hex");
        for (size_t i = 0; i < blocks->size(); ++i) {
            std::string path = object.PathOf("otpBlocks") + "[" + std::to_string(i) + "]";
            const auto& block = (*blocks)[i];
            auto bytes = block.is_string() ? ParseHexBytes(block.get<std::string>()) : std::nullopt;
            if (!bytes || bytes->empty()) Fail(path, "expected hex bytes, got " + Describe(block));
            chip.otpBlocks.push_back(*bytes);
        }
    }
    if (object.Has("otp")) {
        chip.otp = ReadHexField(object, "otp");
        if (chip.otp->size() != kFirstFamilyOtpSize) {
            Fail(object.PathOf("otp"),
                 "the OTP holds 2048 bytes, got " + std::to_string(chip.otp->size()));
        }
    }
    chip.bootState = object.String("bootState", "spi");
    if (chip.bootState != "spi" && chip.bootState != "dfu") {
        Fail(object.PathOf("bootState"), "expected \"spi\" or \"dfu\"");
    }
    if (const nlohmann::json* flash = object.Optional("flash")) {
        chip.flash = ReadFlash(*flash, object.PathOf("flash"), false, reader);
    }
    return chip;
}

SecondFamilyChip ReadSecondFamily(CJsonObject& object, uint32_t hubPorts,
                                  const FileReader& reader) {
    SecondFamilyChip chip;
    chip.romVersion = static_cast<uint16_t>(object.Number("romVersion", 0x0109, 0, 0xFFFF));
    if (auto firmware = object.OptionalNumber("firmwareVersion", 0, 0xFFFF)) {
        chip.firmwareVersion = static_cast<uint16_t>(*firmware);
    }
    chip.boot = object.String("boot", "rom");
    if (chip.boot != "rom" && chip.boot != "spi") {
        Fail(object.PathOf("boot"), "expected \"rom\" or \"spi\"");
    }
    chip.cacheBit = object.Bool("cacheBit", false);
    chip.otpSize = object.Number("otpSize", 2048, 0, 2048);
    if (chip.otpSize != 2048 && chip.otpSize != 1024 && chip.otpSize != 512) {
        Fail(object.PathOf("otpSize"), "expected 2048, 1024 or 512");
    }
    if (object.Has("otp")) {
        chip.otp = ReadHexField(object, "otp");
        if (chip.otp->size() != chip.otpSize) {
            Fail(object.PathOf("otp"), "the OTP holds " + std::to_string(chip.otpSize) +
                                           " bytes, got " + std::to_string(chip.otp->size()));
        }
    }
    if (const nlohmann::json* flash = object.Optional("flash")) {
        chip.flash = ReadFlash(*flash, object.PathOf("flash"), true, reader);
    }
    if (auto pseudo = object.OptionalNumber("pseudoOtp", 0, 0xFF)) {
        chip.pseudoOtp = static_cast<uint8_t>(*pseudo);
    }
    chip.ep5Port = object.OptionalNumber("ep5Port", 1, 255);
    if (!chip.ep5Port) chip.ep5Port = hubPorts + 1;
    chip.ep5Enabled = object.Bool("ep5Enabled", false);
    return chip;
}

const std::vector<const char*> kFirstOnly = {"uuid", "vendorSignature", "otpBlocks", "bootState"};
const std::vector<const char*> kSecondOnly = {"romVersion", "firmwareVersion", "boot",
                                              "cacheBit",   "otpSize",         "pseudoOtp",
                                              "ep5Port",    "ep5Enabled"};

}  // namespace

ChipSpec ReadChip(const nlohmann::json& value, const std::string& path, HubFamily family,
                  uint32_t hubPorts, const FileReader& reader) {
    CJsonObject object(value, path);
    // A field of the other family is a likely mix-up: say so rather than "unknown".
    for (const char* key : family == HubFamily::kFirst ? kSecondOnly : kFirstOnly) {
        if (object.Has(key)) {
            Fail(object.PathOf(key), std::string("belongs to a ") +
                                         (family == HubFamily::kFirst ? "second" : "first") +
                                         "-family chip");
        }
    }
    ChipSpec chip;
    if (family == HubFamily::kFirst) {
        chip.first = ReadFirstFamily(object, reader);
    } else {
        chip.second = ReadSecondFamily(object, hubPorts, reader);
    }
    chip.registers = ReadRegisters(object);
    object.RejectUnknown();
    return chip;
}

std::vector<FaultSpec> ReadFaults(const nlohmann::json& value, const std::string& path) {
    if (!value.is_array()) Fail(path, "expected an array of faults, got " + Describe(value));
    std::vector<FaultSpec> faults;
    for (size_t i = 0; i < value.size(); ++i) {
        CJsonObject object(value[i], path + "[" + std::to_string(i) + "]");
        FaultSpec fault;
        fault.op = object.RequiredString("op");
        if (FaultOps().count(fault.op) == 0) {
            Fail(object.PathOf("op"), "unknown operation \"" + fault.op + "\"");
        }
        fault.count = object.OptionalNumber("count", 1, 0xFFFFFFFF);
        fault.after = object.Number("after", 0, 0, 0xFFFFFFFF);
        fault.systemError = object.OptionalNumber("systemError", 1, 0xFFFFFFFF);
        if (object.Has("address")) {
            if (!TakesAddress(fault.op)) {
                Fail(object.PathOf("address"), "operation \"" + fault.op + "\" takes no address");
            }
            fault.address = object.OptionalNumber("address", 0, 0xFFFFFFFF);
        }
        if (object.Has("short")) {
            if (fault.op != "otpRead") Fail(object.PathOf("short"), "only otpRead reads short");
            fault.shortBytes = object.OptionalNumber("short", 0, 2048);
        }
        if (fault.op == "detach") {
            fault.during = object.RequiredString("during");
            if (FaultOps().count(fault.during) == 0 || fault.during == "detach") {
                Fail(object.PathOf("during"), "unknown operation \"" + fault.during + "\"");
            }
        } else if (object.Has("during")) {
            Fail(object.PathOf("during"), "only a detach fault happens during an operation");
        }
        if (fault.op == "portStatus") {
            fault.status = object.RequiredString("status");
            const auto& known = PortStatuses();
            if (std::find(known.begin(), known.end(), fault.status) == known.end()) {
                std::string list;
                for (const auto& status : known) list += (list.empty() ? "" : ", ") + status;
                Fail(object.PathOf("status"), "expected one of " + list);
            }
        } else if (object.Has("status")) {
            Fail(object.PathOf("status"), "only a portStatus fault has a status");
        }
        object.RejectUnknown();
        faults.push_back(fault);
    }
    return faults;
}

}  // namespace usbsim
