// Module-level state set when the library is loaded and cleared at unload.
#pragma once

#include <windows.h>

HINSTANCE LibraryInstance();
void SetLibraryInstance(HINSTANCE instance);
