// The arguments of `zrvcli program`, read into options without touching a
// file or the library. A failure is one line that says what is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class HubSelection { kFamily, kPositions };

enum class SerialKind { kNone, kUuid, kCounter };

struct SerialCounterOptions {
    std::wstring prefix;
    std::wstring start;
    std::wstring maximum;  // all nines (or Fs) of the start's width when not given
    uint32_t increment = 1;
    bool hex = false;
};

struct ProgramOptions {
    HubSelection selection = HubSelection::kFamily;
    int32_t family = 0;                   // HUB_FAMILY_MIRAVEL or HUB_FAMILY_TORVIK
    std::vector<std::wstring> positions;  // topology positions such as 1-1-2-3
    std::wstring file;
    int32_t storageMode = 4;
    bool verify = false;
    SerialKind serial = SerialKind::kNone;
    SerialCounterOptions counter;
    bool automated = false;
    std::wstring recordFile;
    // Each hub's settings from this topology file instead of the options above.
    std::wstring topology;
    // With a topology: first-family hubs without a vendor block are programmed too.
    bool disableUuid = false;
    // How long to wait for hubs whose family the library has not decided yet.
    uint32_t settleMs = 15000;
};

struct ProgramOptionsResult {
    bool ok = false;
    std::wstring error;  // one line, no trailing line feed
    ProgramOptions options;
};

// args are the words after "program".
ProgramOptionsResult ParseProgramOptions(const std::vector<std::wstring>& args);

// True for "1-<n>" followed by any number of "-<n>", every n a decimal number from 1.
bool IsTopologyPosition(const std::wstring& text);

// "otp", "spi", "spi-config", "spi-copy-otp"; -1 for anything else.
int32_t StorageModeFromName(const std::wstring& name);
// The name StorageModeFromName reads, "n/a" for 4 and unknown codes.
std::wstring StorageModeName(int32_t mode);
// Configuration block modes (0 and 3) take a .cfg file; the others an image.
bool StorageModeTakesBlock(int32_t mode);

extern const wchar_t kProgramUsage[];
