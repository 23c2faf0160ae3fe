// The device change monitor: a thread of the library with a hidden window
// registered for hub and fifth-port interface notifications. Each arrival or
// removal refreshes the live tree, updates the device queue and is told to
// the tool (events 2 and 3).
#pragma once

#include <cstdint>

// Starts the monitor unless one runs; returns once its notifications are
// registered (or it failed). 0, or -1 when the thread cannot be created.
int32_t StartDeviceChangeMonitor();

// Stops the monitor and waits for it (at most 5 s). This instance of the
// library does not start another one; a monitor that ended leaves no window,
// class or registration behind, so a library loaded again runs its own.
void StopDeviceChangeMonitor();

// Library end (no thread of the library is left): lets go of the thread handle.
void ReleaseDeviceChangeMonitor();
