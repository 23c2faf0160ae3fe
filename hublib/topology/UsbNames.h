// Reading the names that USB host controllers and hubs report: driver keys,
// the root hub name and the downstream hub name of a port. Each asks once
// with a buffer just big enough for the head to learn the size, then again.
#pragma once

#include <windows.h>

#include <string>

// Empty when the controller or port has no such name.
std::wstring GetHcdDriverKeyName(HANDLE controller);
std::wstring GetRootHubName(HANDLE controller);
std::wstring GetExternalHubName(HANDLE hub, ULONG port);
std::wstring GetPortDriverKeyName(HANDLE hub, ULONG port);
