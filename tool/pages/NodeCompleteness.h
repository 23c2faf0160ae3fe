// What the configuration page shows for a topology node and whether the node's configuration is
// complete enough to be saved. Pure rules over the node's settings, no windows.
#pragma once

#include <string>
#include <vector>

struct NodeSettings {
    int partFamily;
    int memoryType;
    bool program;
    bool verify;
    std::wstring configFile;
    bool serialConfirmed;
};

struct NodeView {
    bool memoryTypeShown = false;      // memory type list and its label
    bool operationsShown = false;      // "Program Device", "&Verify Image" and their label
    bool fileShown = false;            // the file path, "..." and their label
    bool serialSettingsShown = false;  // "More..."
    bool complete = false;
};

// The memory types a part family offers, in list order (memory type values).
std::vector<int> MemoryTypesOfFamily(int partFamily);
// The list text of a memory type; "N/A" for values outside 0..3.
const wchar_t* MemoryTypeText(int memoryType);
// True when "..." browses for a binary image rather than a configuration file.
bool BrowsesForImage(int partFamily, int memoryType);
NodeView ViewOfNode(const NodeSettings& node);
