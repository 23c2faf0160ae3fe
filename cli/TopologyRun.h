// `zrvcli program --topology FILE.tcf`: programs every hub of the line that the tool's topology
// file configures, each with its own storage mode, verification, configuration file or image
// and serial number, prepared by the tool's own rules. Serial counters advance per hub that
// ended programmed and are written back into the file at the end of every pass, as the tool
// does, so a later run (of zrvcli or the tool) never repeats a serial number.
#pragma once

#include <string>

#include "LineRun.h"

// disableUuid: first-family hubs without a vendor block are programmed too.
int RunTopology(const std::wstring& topologyFile, bool disableUuid,
                const LineRunSettings& settings);
