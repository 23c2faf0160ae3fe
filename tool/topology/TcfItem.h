// One node of the topology configuration: the settings the operator chose for the hub found at
// one topology position, and the codes of its enumerated settings.
#pragma once

#include <string>

// Part families, the indices of the part number list.
constexpr int kPartFamilyFirst = 0;
constexpr int kPartFamilySecond = 1;
constexpr int kPartFamilyUnknown = 2;

// Memory types are the library's storage modes; 4 means none chosen.
constexpr int kMemoryTypeUnknown = 4;

// Serial types, the indices of the serial type list.
constexpr int kSerialTypeUuid = 0;
constexpr int kSerialTypeHex = 1;
constexpr int kSerialTypeDec = 2;
constexpr int kSerialTypeNone = 3;

// Types 1 and 2 count serial numbers from the node's own parameters.
inline bool IsCounterSerialType(int serialType) {
    return serialType == kSerialTypeHex || serialType == kSerialTypeDec;
}

// Field order and defaults are those of a freshly added entry.
struct TcfItem {
    std::wstring label;
    bool isHub = false;
    bool saveStatus = false;  // present in the tree at save time; only such entries are written
    std::wstring key;         // topology position, e.g. 1-2-4; the file's section name
    int partType = kPartFamilyUnknown;
    int memoryType = kMemoryTypeUnknown;
    std::wstring configFile;
    bool verify = false;
    bool doProgram = false;
    int serialType = kSerialTypeNone;
    std::wstring serialAlpha;
    std::wstring serialStart;
    std::wstring serialMax;
    int serialIncrement = 1;
    std::wstring serialCurrent;
    bool serialHexFormat = false;
    bool serialConfirmed = false;  // accepted by the serial dialog or read from a file
    bool configComplete = true;    // recomputed by the configuration page
};
