// `zrvcli program`: prepares the chosen hubs as the tool does before a run
// (serial number, configuration block or image, storage mode, verification),
// runs the library's programmer manager once or continuously, prints every
// event as a line and a table at the end, and appends the production record.
//   exit 0: every hub succeeded; 1: a hub failed or nothing was programmed;
//   2: bad arguments or files, nothing written to any hub.
#pragma once

#include <string>
#include <vector>

int ProgramCommand(const std::vector<std::wstring>& args);
