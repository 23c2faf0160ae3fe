#include "ProgrammingFixture.h"

#include <memory>

#include "ConfigBlock.h"
#include "IParser.h"

namespace {

constexpr int kRootPorts = 4;
// Every port is a node of the library's tree, which holds 127 per controller:
// 16 hubs of 5 ports (the fifth a second-family hub's function) fit.
constexpr int kHubsPerController = 16;
constexpr int kHubPorts = 4;  // downstream ports; a second-family hub adds its fifth
constexpr char kHubClass[] = "{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

// The latency model's defaults, stated so the second family (which has no
// defaults of its own) is charged the same.
constexpr char kLatency[] =
    R"("latency": { "requestUs": 250, "otpByteUs": 60, "flashPageUs": 700,
      "sectorEraseMs": 45, "chipEraseMs": 400, "rebootMs": 1500 })";

class CLineWriter {
public:
    explicit CLineWriter(BenchFamily family) : family_(family) {}

    // The "ports" and "children" members of a hub (or root hub) with
    // `ports` ports and `hubs` hubs below it.
    std::string Ports(int ports, int hubs) {
        const int used = hubs < ports ? hubs : ports;
        std::string text = "\"ports\": " + std::to_string(ports) + ", \"children\": {";
        const int rest = hubs - used;
        for (int port = 1; port <= used; ++port) {
            const int share = rest / used + (port <= rest % used ? 1 : 0);
            if (port > 1) text += ", ";
            // The hub's head before its ports: a path comes after its parent's.
            text += "\"" + std::to_string(port) + "\": { \"hub\": { " + Head();
            text += Ports(kHubPorts, share) + " } }";
        }
        return text + "}";
    }

    std::vector<std::wstring> paths;

private:
    // A hub's fields but its ports; records its path.
    std::string Head() {
        const std::string serial = "B" + std::to_string(++next_);
        const bool first = family_ == BenchFamily::kFirst;
        const char* vid = first ? "1A2B" : "3B9A";
        const char* pid = first ? "0610" : "7104";
        std::string text = std::string("\"family\": \"") + (first ? "first" : "second") +
                           "\", \"vid\": \"" + vid + "\", \"pid\": \"" + pid +
                           "\", \"serial\": \"" + serial + "\", \"description\": \"Bench hub\", ";
        text += first ? R"("chip": { "uuid": "00112233445566778899AABBCCDDEEFF" }, )"
                      : R"("chip": { "romVersion": "0x0109", "otpSize": 2048, "boot": "rom",
                           "ep5Enabled": true }, )";
        const std::string path =
            std::string("\\\\?\\USB#VID_") + vid + "&PID_" + pid + "#" + serial + "#" + kHubClass;
        paths.emplace_back(path.begin(), path.end());
        return text;
    }

    BenchFamily family_;
    int next_ = 0;
};

}  // namespace

ProgrammingLine MakeProgrammingLine(BenchFamily family, int hubs) {
    CLineWriter writer(family);
    ProgrammingLine line;
    line.fixture = std::string("{ \"timeScale\": 1, ") + kLatency + ",\n  \"controllers\": [";
    for (int placed = 0; placed < hubs; placed += kHubsPerController) {
        const int here = hubs - placed < kHubsPerController ? hubs - placed : kHubsPerController;
        if (placed > 0) line.fixture += ",";
        line.fixture += "\n  { \"description\": \"Bench Host Controller\", " +
                        writer.Ports(kRootPorts, here) + " }";
    }
    line.fixture += " ] }\n";
    line.hubPaths = std::move(writer.paths);
    return line;
}

std::vector<uint8_t> BenchConfigBlock(int hub) {
    std::vector<cfgblock::NewItem> items;
    for (uint8_t i = 0; i < 6; ++i) {
        items.push_back({0x800, {0x30, static_cast<uint8_t>(0x10 + i), static_cast<uint8_t>(hub)}});
    }
    const std::vector<uint8_t> block = *cfgblock::BuildBlock(items);
    const std::wstring serial = L"BENCH" + std::to_wstring(hub);
    std::unique_ptr<IParser> parser(CreateParser(nullptr, 0, nullptr, 0, 0));
    if (!parser ||
        parser->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size()),
                                      serial.c_str(), static_cast<uint32_t>(serial.size())) != 0) {
        return {};
    }
    std::vector<uint8_t> joined(parser->GetConfigBlockSize());
    if (parser->GetConfigBlock(static_cast<uint32_t>(joined.size()), joined.data()) < 0) return {};
    return joined;
}
