// The programmer manager's thread record and lock, shared by its exports and
// the library's unload.
#pragma once

#include <windows.h>

void ProgrammerManagerAttach();
// Asks a running manager thread to quit and waits for it, at most 15000 ms.
void ProgrammerManagerDetach();
