// Readers of the fixture's parts, shared by the fixture and board parsers.
// Each throws CFixtureError with the JSON path of what is wrong.
#pragma once

#include <nlohmann/json.hpp>

#include "FixtureParser.h"
#include "FixtureTypes.h"

namespace usbsim {

// {"hub": {...}} or {"device": {...}} at path.
std::shared_ptr<DeviceSpec> ReadPortEntry(const nlohmann::json& value, const std::string& path,
                                          const FileReader& reader);
ControllerSpec ReadController(const nlohmann::json& value, const std::string& path,
                              const FileReader& reader);
LatencySpec ReadLatency(const nlohmann::json& value, const std::string& path);
std::vector<FaultSpec> ReadFaults(const nlohmann::json& value, const std::string& path);
ChipSpec ReadChip(const nlohmann::json& value, const std::string& path, HubFamily family,
                  uint32_t hubPorts, const FileReader& reader);

}  // namespace usbsim
