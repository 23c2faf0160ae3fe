// Fault firing decisions.
#include "Faults.h"

namespace usbsim {

const std::vector<std::string>& PortStatuses() {
    static const std::vector<std::string> statuses = {"enumerating",       "starting",
                                                      "failedEnumeration", "notEnoughPower",
                                                      "overCurrent",       "generalFailure"};
    return statuses;
}

std::vector<FaultState> MakeFaultStates(const std::vector<FaultSpec>& specs) {
    std::vector<FaultState> states;
    for (const auto& spec : specs) states.push_back(FaultState{spec, 0, 0});
    return states;
}

std::optional<FaultSpec> FireFault(std::vector<FaultState>& faults, const std::string& op,
                                   std::optional<uint32_t> address) {
    for (auto& fault : faults) {
        if (fault.spec.op != op) continue;
        if (fault.spec.address && (!address || *address != *fault.spec.address)) continue;
        if (fault.passed < fault.spec.after) {
            ++fault.passed;
            continue;
        }
        if (fault.spec.count && fault.fired >= *fault.spec.count) continue;
        ++fault.fired;
        return fault.spec;
    }
    return std::nullopt;
}

}  // namespace usbsim
