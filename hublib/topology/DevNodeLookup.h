// The configuration manager's device nodes by driver key: the device instance
// ID and description of the node behind a controller's or port's driver key.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>

#include <string>
#include <unordered_map>

// One walk of the device-node tree serves every lookup of an enumeration:
// the index is read on the first Find and kept for the object's life, so make
// one per enumeration.
class CDriverKeyIndex {
public:
    // The first node in a depth-first, pre-order walk from the root whose
    // driver key matches, ignoring the case of A to Z. False when there is none.
    bool Find(const std::wstring& driverKey, std::wstring& instanceId, std::wstring& description);

private:
    void Build();

    bool built_ = false;
    std::unordered_map<std::wstring, DEVINST> nodes_;  // keyed by the case-folded driver key
};
