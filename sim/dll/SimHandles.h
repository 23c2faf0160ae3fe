// Handles of opened simulated controllers and hubs. Each is a real (unnamed
// event) handle, so it can never collide with a handle the process holds
// elsewhere; the table maps it to the node it opened. Closed handles are kept
// and handed out again (as Windows reuses handle values), since making and
// closing a kernel object costs a trip to the server on every open.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace usbsim {

class CSimHandles {
public:
    ~CSimHandles();
    // INVALID_HANDLE_VALUE when no handle can be made.
    HANDLE Open(uint32_t nodeId);
    std::optional<uint32_t> Target(HANDLE handle) const;
    // False when the handle is not ours (the caller passes it on to Windows).
    bool Close(HANDLE handle);

private:
    mutable std::mutex lock_;
    std::map<HANDLE, uint32_t> targets_;
    std::vector<HANDLE> spare_;  // closed by their user, ours to hand out again
};

}  // namespace usbsim
