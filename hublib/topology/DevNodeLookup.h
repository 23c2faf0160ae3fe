// Finds the configuration-manager device node whose driver key matches, and
// reads its instance ID and description.
#pragma once

#include <string>

// False when no device node has that driver key. Uses a module-level
// property buffer: call only under the live tree's lock.
bool FindDeviceByDriverKey(const std::wstring& driverKey, std::wstring& instanceId,
                           std::wstring& description);
