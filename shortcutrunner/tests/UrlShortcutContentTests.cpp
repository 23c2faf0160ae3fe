// Internet-shortcut file text: the exact bytes written for a web address.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UrlShortcutContent.h"

namespace {

std::vector<unsigned char> BytesOf(const std::wstring& text) {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
    return std::vector<unsigned char>(begin, begin + text.size() * sizeof(wchar_t));
}

// Little-endian UTF-16 of ASCII text.
void AppendAscii(std::vector<unsigned char>& bytes, const char* text) {
    for (; *text != 0; ++text) {
        bytes.push_back(static_cast<unsigned char>(*text));
        bytes.push_back(0);
    }
}

}  // namespace

TEST(UrlShortcutContent, HoldsMarkHeaderUrlLineAndLineBreakOnly) {
    std::vector<unsigned char> expected = {0xFF, 0xFE};
    AppendAscii(expected, "[InternetShortcut]\r\nURL=http://h/a?b=c d");
    expected.insert(expected.end(), {0xE4, 0x00, 0x3A, 0x20});  // U+00E4, U+203A
    AppendAscii(expected, "\r\n");

    EXPECT_EQ(BytesOf(BuildUrlShortcutText(L"http://h/a?b=c d\u00E4\u203A")), expected);
}
