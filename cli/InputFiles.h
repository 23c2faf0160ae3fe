// The configuration file or image a run hands to the hubs: read whole, and
// checked against the format before any hub is touched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// False with a one-line reason when the file cannot be read whole.
bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::wstring& error);

// Empty when the bytes are a configuration block ("CFGB" in any case, size as
// its descriptors say), else why not. An empty file passes only when a serial
// number will be added (the block then holds the serial items alone).
std::wstring CheckConfigBlock(const std::vector<uint8_t>& bytes, bool serialAdded);

// Empty when the bytes are an image the family takes: the first family exactly
// 65535 bytes, the second 65534 to 131072; both with "2DFU" at 0xFFFA.
std::wstring CheckFirmwareImageFor(int32_t family, const std::vector<uint8_t>& bytes);
