#include "BenchFixture.h"

namespace {

constexpr int kPortsPerHub = 7;

class CFixtureWriter {
public:
    explicit CFixtureWriter(int controller) : prefix_(std::to_string(controller)) {}

    // The "ports" and "children" members of a hub holding `devices` devices
    // below it (the hub itself not counted).
    std::string Hub(int devices) {
        const int ports = devices < kPortsPerHub ? devices : kPortsPerHub;
        const int below = devices - ports;
        std::string text = "\"ports\": " + std::to_string(ports) + ", \"children\": {";
        for (int port = 1; port <= ports; ++port) {
            const int share = below / ports + (port <= below % ports ? 1 : 0);
            if (port > 1) text += ", ";
            text +=
                "\"" + std::to_string(port) + "\": " + (share == 0 ? Device() : ChildHub(share));
        }
        return text + "}";
    }

private:
    std::string Serial(const char* kind) { return kind + prefix_ + "N" + std::to_string(++next_); }

    std::string Device() {
        return R"({ "device": { "vid": "046D", "pid": "C077", "serial": ")" + Serial("D") +
               R"(", "description": "USB Input Device" } })";
    }

    std::string ChildHub(int devices) {
        return R"({ "hub": { "family": "other", "vid": "05E3", "pid": "0608", "serial": ")" +
               Serial("H") + R"(", "description": "Generic USB Hub", )" + Hub(devices) + " } }";
    }

    std::string prefix_;
    int next_ = 0;
};

}  // namespace

std::string EnumerationBenchFixture(int controllers, int devicesPerController) {
    // Scaled time: the hubs' family probes and fifth-endpoint waits cost microseconds.
    std::string text = "{ \"timeScale\": 1000, \"controllers\": [";
    for (int c = 0; c < controllers; ++c) {
        if (c > 0) text += ",";
        text += "\n  { \"description\": \"Bench Host Controller " + std::to_string(c + 1) + "\", " +
                CFixtureWriter(c).Hub(devicesPerController) + " }";
    }
    return text + "\n] }\n";
}
