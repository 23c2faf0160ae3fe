// Names of tree nodes and the serial number made from a hub's unique identifier: pure functions
// over the texts and bytes the hub library delivers.
#pragma once

#include <cstdint>
#include <string>

// Part families a hub name stands for; kPartFamilyNone when the name tells none.
constexpr int kNamedFamilyFirst = 0;
constexpr int kNamedFamilySecond = 1;
constexpr int kNamedFamilyNone = 2;

struct HubName {
    std::wstring name;
    int partFamily;
};

// The name of a hub from its device instance ID ("USB\VID_vvvv&PID_pppp\serial"): the maker's
// known parts by their family name, other maker parts "VARN-pppp", other vendors "vvvv-pppp".
// Bytes the ID does not give are 0.
HubName HubNameFromInstanceId(const std::wstring& instanceId);

constexpr size_t kUuidLength = 16;

// Bytes 11 to 15 of the identifier as ten lower-case hexadecimal digits.
std::wstring SerialFromUuid(const uint8_t (&uuid)[kUuidLength]);
