// Small text helpers of the simulator: UTF-8 to UTF-16 and back, ASCII
// case-insensitive comparison, hex digits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace usbsim {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// Compares ignoring the case of A to Z only, as Windows compares device ids.
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
std::wstring UpperAscii(std::wstring text);

// "3B9A" -> 0x3B9A; digits only, at most maxDigits of them.
std::optional<uint32_t> ParseHex(const std::string& text, size_t maxDigits);
// "0x1A" or "26" -> 26.
std::optional<uint32_t> ParseNumber(const std::string& text);
// Hex pairs, spaces allowed between them -> bytes.
std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text);
// Bytes -> uppercase hex pairs without spaces, as ParseHexBytes reads them.
std::string HexBytes(const std::vector<uint8_t>& bytes);

std::wstring HexWord(uint32_t value, int digits);  // uppercase, zero padded

// 32-bit FNV-1a over the text: stable names derived from other names.
uint32_t Fnv1a(const std::wstring& text);

}  // namespace usbsim
