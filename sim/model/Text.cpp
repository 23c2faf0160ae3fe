// Small text helpers of the simulator.
#include "Text.h"

#include <cwchar>

namespace usbsim {

std::wstring Widen(const std::string& utf8) {
    std::wstring out;
    size_t i = 0;
    while (i < utf8.size()) {
        uint8_t c = static_cast<uint8_t>(utf8[i]);
        uint32_t cp = 0xFFFD;
        size_t extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F, extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F, extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07, extra = 3;
        }
        ++i;
        for (size_t k = 0; k < extra; ++k, ++i) {
            if (i >= utf8.size() || (static_cast<uint8_t>(utf8[i]) & 0xC0) != 0x80) {
                cp = 0xFFFD;
                break;
            }
            cp = (cp << 6) | (static_cast<uint8_t>(utf8[i]) & 0x3F);
        }
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp > 0x10FFFF ? 0xFFFD : cp));
        }
    }
    return out;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = static_cast<uint16_t>(text[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
            uint32_t low = static_cast<uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

static wchar_t UpperChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperChar(a[i]) != UpperChar(b[i])) return false;
    }
    return true;
}

std::wstring UpperAscii(std::wstring text) {
    for (auto& c : text) c = UpperChar(c);
    return text;
}

static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<uint32_t> ParseHex(const std::string& text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits || maxDigits > 8) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        int v = HexValue(c);
        if (v < 0) return std::nullopt;
        value = (value << 4) | static_cast<uint32_t>(v);
    }
    return value;
}

std::optional<uint32_t> ParseNumber(const std::string& text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseHex(text.substr(2), 8);
    }
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ') {
            if (high >= 0) return std::nullopt;  // a space inside a pair
            continue;
        }
        int v = HexValue(c);
        if (v < 0) return std::nullopt;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<uint8_t>((high << 4) | v));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return bytes;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
}

std::wstring HexWord(uint32_t value, int digits) {
    wchar_t buffer[16];
    swprintf(buffer, 16, L"%0*X", digits, value);
    return buffer;
}

uint32_t Fnv1a(const std::wstring& text) {
    uint32_t hash = 2166136261u;
    for (wchar_t c : UpperAscii(text)) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace usbsim
