// Decides whether a fixture fault fires for one call of an operation: the first
// `after` matching calls pass, then it fires `count` times (or forever).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "FixtureTypes.h"

namespace usbsim {

struct FaultState {
    FaultSpec spec;
    uint32_t passed = 0;
    uint32_t fired = 0;
};

// The states a "portStatus" fault can give a port, as the parent hub reports it.
const std::vector<std::string>& PortStatuses();

std::vector<FaultState> MakeFaultStates(const std::vector<FaultSpec>& specs);

// Counts this call against every fault of `op` (and of `address`, for faults
// that name one) and returns the first that fires.
std::optional<FaultSpec> FireFault(std::vector<FaultState>& faults, const std::string& op,
                                   std::optional<uint32_t> address = std::nullopt);

}  // namespace usbsim
