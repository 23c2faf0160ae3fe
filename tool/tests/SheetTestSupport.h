// Topology files and sheet start-ups shared by the sheet tests.
#pragma once

#include <string>

#include "GuiDriver.h"

namespace guitest {

// A topology file (version 2.1) that configures the three hubs of tool-line.json: the first
// one labelled "Station A" and set to OTP with a hex serial counter, the others to "N/A".
std::string ConfiguredLineTcf(const char* version = "2.1");

// Starts the sheet on tool-line.json with "DefaultTcf" naming a file with that text; the file's
// absolute path goes into path.
bool StartWithTopology(CSheetThread& sheet, const std::string& tcfText, std::wstring& path);

}  // namespace guitest
