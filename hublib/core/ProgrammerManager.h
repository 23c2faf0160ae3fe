// The programmer manager: one thread that polls the device queue for ready
// hubs, runs a programming thread per hub and relays their reports to the
// queue and the notification callback. Exports are in HalvexZRVLib.h.
//
// The manager and programming threads each hold the library's module while
// they run, so a run outlives an unload of the library and the module goes
// when the run ends.
#pragma once

#include <windows.h>

class CDevice;

// Called by the device queue, on the manager thread, for every ready hub:
// takes a copy of device, whose programming thread starts as soon as the
// queue's scheduling pass is over. False when none will start.
bool StartDeviceThread(CDevice& device);
// Tells a running manager that the hub at path is no longer in use.
void NotifyHubReleased(const wchar_t* path);
