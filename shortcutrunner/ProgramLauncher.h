// Starting the requested program through the shell and passing on its exit code.
#pragma once

#include "LaunchRequest.h"

// Starts the program ("runas" when elevated, "open" otherwise), waits for it without a
// time limit and returns its exit code; -1 when no process was started.
int LaunchProgram(const LaunchRequest& request);
