// Fixture and board parsing: the top level, controllers, hubs and devices.
#include "FixtureParser.h"

#include <algorithm>
#include <set>

#include "JsonReader.h"
#include "FixtureReaders.h"
#include "Text.h"

namespace usbsim {

namespace {

constexpr uint32_t kMaxPorts = 255;
constexpr uint32_t kMaxHcd = 31;
constexpr size_t kMaxSerial = 126;  // a USB string descriptor holds at most 126 characters

// Windows ignores serials with these characters; in a fixture they are mistakes.
bool IsSerialChar(char c) {
    return c > 0x20 && c < 0x7F && c != '#' && c != '\\' && c != ',' && c != '/';
}

UsbSpeed ReadSpeed(CJsonObject& object, UsbSpeed fallback) {
    std::string text = object.String("speed", "");
    if (text.empty() && !object.Has("speed")) return fallback;
    if (text == "low") return UsbSpeed::kLow;
    if (text == "full") return UsbSpeed::kFull;
    if (text == "high") return UsbSpeed::kHigh;
    if (text == "super") return UsbSpeed::kSuper;
    Fail(object.PathOf("speed"), "expected \"low\", \"full\", \"high\" or \"super\"");
}

std::map<uint32_t, std::shared_ptr<DeviceSpec>> ReadChildren(CJsonObject& owner, uint32_t ports,
                                                             const FileReader& reader) {
    std::map<uint32_t, std::shared_ptr<DeviceSpec>> children;
    const nlohmann::json* value = owner.Optional("children");
    if (value == nullptr) return children;
    std::string path = owner.PathOf("children");
    if (!value->is_object()) Fail(path, "expected an object keyed by port number");
    for (auto it = value->begin(); it != value->end(); ++it) {
        std::string portPath = path + "." + it.key();
        std::optional<uint32_t> port;
        if (!it.key().empty() && it.key().size() <= 3 &&
            it.key().find_first_not_of("0123456789") == std::string::npos) {
            port = static_cast<uint32_t>(std::stoul(it.key()));
        }
        if (!port || *port == 0) Fail(portPath, "a port number (1, 2, ...) was expected");
        if (*port > ports) {
            Fail(portPath, "port " + std::to_string(*port) + " is beyond the " +
                               std::to_string(ports) + " ports");
        }
        if (children.count(*port) != 0) {
            Fail(portPath, "port " + std::to_string(*port) + " is described twice");
        }
        children[*port] = ReadPortEntry(it.value(), portPath, reader);
    }
    return children;
}

void ReadIdentity(CJsonObject& object, DeviceSpec& spec, const char* defaultDescription) {
    spec.vid = object.HexId("vid");
    spec.pid = object.HexId("pid");
    spec.bcdDevice = static_cast<uint16_t>(object.Number("bcdDevice", 0x0100, 0, 0xFFFF));
    std::string serial = object.String("serial", "");
    if (object.Has("serial")) {
        if (serial.empty() || serial.size() > kMaxSerial) {
            Fail(object.PathOf("serial"), "a serial has 1 to 126 characters");
        }
        for (char c : serial) {
            if (!IsSerialChar(c)) {
                Fail(object.PathOf("serial"),
                     std::string("character '") + c +
                         "' is not allowed in a serial (printable ASCII without space # \\ / ,)");
            }
        }
    }
    spec.serial = Widen(serial);
    spec.description = Widen(object.String("description", defaultDescription));
    if (object.Has("faults"))
        spec.faults = ReadFaults(*object.Optional("faults"), object.PathOf("faults"));
}

std::shared_ptr<DeviceSpec> ReadHub(const nlohmann::json& value, const std::string& path,
                                    const FileReader& reader) {
    CJsonObject object(value, path);
    auto spec = std::make_shared<DeviceSpec>();
    spec->isHub = true;
    spec->jsonPath = path;
    std::string family = object.RequiredString("family");
    if (family == "first") {
        spec->family = HubFamily::kFirst;
    } else if (family == "second") {
        spec->family = HubFamily::kSecond;
    } else if (family == "other") {
        spec->family = HubFamily::kOther;
    } else {
        Fail(object.PathOf("family"),
             "expected \"first\", \"second\" or \"other\", got \"" + family + "\"");
    }
    ReadIdentity(object, *spec, "Generic USB Hub");
    object.Required("ports");
    spec->ports = object.Number("ports", 0, 1, kMaxPorts);
    spec->speed = ReadSpeed(object, UsbSpeed::kHigh);
    spec->usb3 = object.Bool("usb3", false);
    if (object.Has("superSpeedPid")) {
        if (!spec->usb3)
            Fail(object.PathOf("superSpeedPid"), "only a USB 3 hub has a SuperSpeed half");
        spec->superSpeedPid = object.HexId("superSpeedPid");
    }
    if (const nlohmann::json* chip = object.Optional("chip")) {
        if (spec->family == HubFamily::kOther) {
            Fail(object.PathOf("chip"), "a hub of family \"other\" has no chip to describe");
        }
        spec->chip = ReadChip(*chip, object.PathOf("chip"), spec->family, spec->ports, reader);
    }
    spec->children = ReadChildren(object, spec->ports, reader);
    if (spec->chip.second && spec->chip.second->ep5Port &&
        spec->children.count(*spec->chip.second->ep5Port) != 0) {
        Fail(object.PathOf("chip.ep5Port"), "the fifth-endpoint port is taken by a child");
    }
    object.RejectUnknown();
    return spec;
}

std::shared_ptr<DeviceSpec> ReadDevice(const nlohmann::json& value, const std::string& path) {
    CJsonObject object(value, path);
    auto spec = std::make_shared<DeviceSpec>();
    spec->jsonPath = path;
    ReadIdentity(object, *spec, "USB Composite Device");
    spec->speed = ReadSpeed(object, UsbSpeed::kFull);
    object.RejectUnknown();
    return spec;
}

}  // namespace

std::shared_ptr<DeviceSpec> ReadPortEntry(const nlohmann::json& value, const std::string& path,
                                          const FileReader& reader) {
    CJsonObject object(value, path);
    const nlohmann::json* hub = object.Optional("hub");
    const nlohmann::json* device = object.Optional("device");
    if ((hub == nullptr) == (device == nullptr)) {
        Fail(path, "expected exactly one of \"hub\" or \"device\"");
    }
    object.RejectUnknown();
    return hub ? ReadHub(*hub, object.PathOf("hub"), reader)
               : ReadDevice(*device, object.PathOf("device"));
}

ControllerSpec ReadController(const nlohmann::json& value, const std::string& path,
                              const FileReader& reader) {
    CJsonObject object(value, path);
    ControllerSpec spec;
    spec.jsonPath = path;
    spec.description =
        Widen(object.String("description", "Standard Enhanced PCI to USB Host Controller"));
    spec.instanceId = Widen(object.String("instanceId", ""));
    if (object.Has("instanceId") && (spec.instanceId.empty() || spec.instanceId.size() > 199)) {
        Fail(object.PathOf("instanceId"), "an instance ID has 1 to 199 characters");
    }
    spec.hcd = object.Number("hcd", 0, 0, kMaxHcd);
    object.Required("ports");
    spec.ports = object.Number("ports", 0, 1, kMaxPorts);
    spec.superSpeedPorts =
        object.Number("superSpeedPorts", 0, 0, std::min(spec.ports, kMaxPorts - spec.ports));
    spec.children = ReadChildren(object, spec.ports, reader);
    object.RejectUnknown();
    return spec;
}

LatencySpec ReadLatency(const nlohmann::json& value, const std::string& path) {
    CJsonObject object(value, path);
    LatencySpec spec;
    spec.requestUs = object.Real("requestUs", 0, 0, false);
    spec.otpByteUs = object.Real("otpByteUs", 0, 0, false);
    spec.flashPageUs = object.Real("flashPageUs", 0, 0, false);
    spec.sectorEraseMs = object.Real("sectorEraseMs", 0, 0, false);
    spec.chipEraseMs = object.Real("chipEraseMs", 0, 0, false);
    spec.rebootMs = object.Real("rebootMs", 0, 0, false);
    spec.ep5EnableMs = object.Real("ep5EnableMs", 0, 0, false);
    spec.notifyMs = object.Real("notifyMs", 0, 0, false);
    object.RejectUnknown();
    return spec;
}

CFixtureParser::CFixtureParser(std::string sourceName, FileReader reader)
    : source_(std::move(sourceName)), reader_(std::move(reader)) {}

template <typename Body>
bool CFixtureParser::Run(const std::string& jsonText, Body body) {
    error_.clear();
    nlohmann::json document;
    try {
        document = ParseDocument(jsonText);
    } catch (const CFixtureError& e) {
        error_ = source_ + ": " + e.Path() + ": " + e.what();
        return false;
    } catch (const nlohmann::json::parse_error& e) {
        // Turn the byte offset into a line and column an editor can jump to.
        size_t offset = e.byte == 0 ? 0 : e.byte - 1;
        size_t line = 1, column = 1;
        for (size_t i = 0; i < offset && i < jsonText.size(); ++i) {
            if (jsonText[i] == '\n') {
                ++line, column = 1;
            } else {
                ++column;
            }
        }
        std::string what = e.what();
        size_t cut = what.find("syntax error");
        if (cut != std::string::npos) what = what.substr(cut);
        error_ = source_ + ": line " + std::to_string(line) + ", column " + std::to_string(column) +
                 ": " + what;
        return false;
    }
    try {
        body(document);
        return true;
    } catch (const CFixtureError& e) {
        error_ = source_ + ": " + e.Path() + ": " + e.what();
    }
    return false;
}

bool CFixtureParser::ParseFixture(const std::string& jsonText, FixtureSpec& fixture) {
    return Run(jsonText, [&](const nlohmann::json& document) {
        CJsonObject object(document, "$");
        FixtureSpec spec;
        spec.timeScale = object.Real("timeScale", 1, 0, true);
        if (const nlohmann::json* latency = object.Optional("latency")) {
            spec.latency = ReadLatency(*latency, object.PathOf("latency"));
        }
        const nlohmann::json& controllers = object.Required("controllers");
        if (!controllers.is_array()) {
            Fail(object.PathOf("controllers"), "expected an array, got " + Describe(controllers));
        }
        std::set<uint32_t> hcds;
        uint32_t nextHcd = 0;
        for (size_t i = 0; i < controllers.size(); ++i) {
            std::string path = object.PathOf("controllers") + "[" + std::to_string(i) + "]";
            ControllerSpec controller = ReadController(controllers[i], path, reader_);
            if (!controllers[i].contains("hcd")) controller.hcd = nextHcd;
            if (!hcds.insert(controller.hcd).second) {
                Fail(path + ".hcd", "HCD" + std::to_string(controller.hcd) + " is used twice");
            }
            nextHcd = controller.hcd + 1;
            spec.controllers.push_back(std::move(controller));
        }
        object.RejectUnknown();
        fixture = std::move(spec);
    });
}

bool CFixtureParser::ParseBoard(const std::string& jsonText, DeviceSpec& board) {
    return Run(jsonText, [&](const nlohmann::json& document) {
        board = *ReadPortEntry(document, "$", reader_);
    });
}

}  // namespace usbsim
