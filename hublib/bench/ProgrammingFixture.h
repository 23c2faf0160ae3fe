// Fixture text for the programming benchmark: a line of cascaded hubs of one
// family, 16 to a controller, every hub a chip to program, with the default
// latency model stated and time scale 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class BenchFamily { kFirst, kSecond };

struct ProgrammingLine {
    std::string fixture;
    std::vector<std::wstring> hubPaths;  // device interface paths, parents first
};

// On each controller the hubs are spread evenly below the root hub's ports,
// so the line is a few tiers deep.
ProgrammingLine MakeProgrammingLine(BenchFamily family, int hubs);

// The configuration block of the hub with that index: a few register items
// and the serial number "BENCH" plus the index, joined by the parser library
// as the tool does; empty when the parser refuses.
std::vector<uint8_t> BenchConfigBlock(int hub);
