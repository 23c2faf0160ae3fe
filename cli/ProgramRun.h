// `zrvcli program`: prepares the chosen hubs as the tool does before a run
// (serial number, configuration block or image, storage mode, verification),
// the same for all of them or, with --topology, each from its entry in the
// tool's topology file (TopologyRun.h); then runs the line (LineRun.h).
//   exit 0: every hub succeeded; 1: a hub failed or nothing was programmed;
//   2: bad arguments or files, nothing written to any hub.
#pragma once

#include <string>
#include <vector>

int ProgramCommand(const std::vector<std::wstring>& args);
