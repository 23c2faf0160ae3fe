// Words zrvcli prints for the library's codes and hubs, as the tool names them.
#pragma once

#include <cstdint>
#include <string>

// The tool's text of a hub status ("Programmed and Verified Successfully",
// "ERROR: Cannot access SPI Flash" ...); "Unknown" for 14 and other codes.
std::wstring HubStatusName(int32_t status);

// A hub's run went well: it ended programmed, verified or both.
bool IsSuccessStatus(int32_t status);

// "first", "second", "generic", "unknown".
std::wstring FamilyName(int32_t family);

// The part name the tool gives a hub from its device instance ID or path
// (USB\VID_3B9A&PID_6104\... or \\?\USB#VID_3B9A&PID_6104#...): "KX610x",
// "KX710x", "KX8213", "KX8413", "KX9204", "KX9224", "VARN-pppp" for other
// products of the maker, "vvvv-pppp" for other vendors.
std::wstring PartName(const std::wstring& instanceIdOrPath);

// The result code's name ("RESULT_VERIFY_MISMATCH"), or its number.
std::wstring ResultName(int32_t result);

// "0011...EEFF": bytes as upper-case hex digits.
std::wstring HexText(const uint8_t* bytes, size_t size);
