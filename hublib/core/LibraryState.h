// What the library keeps about its own module: the instance handle, and the
// threads it starts, each of which keeps the module loaded while it runs.
#pragma once

#include <windows.h>

HINSTANCE LibraryInstance();
void SetLibraryInstance(HINSTANCE instance);

// Starts a thread that holds a reference on this module until it has left
// the module's code, so an unload while it runs leaves the code in place and
// the module goes when its last thread ends. Null when the thread could not
// be created (nothing is held then).
HANDLE StartLibraryThread(LPTHREAD_START_ROUTINE start, void* parameter, DWORD* threadId);
