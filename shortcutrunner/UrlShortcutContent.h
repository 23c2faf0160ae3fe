// The text of the Internet-shortcut file through which the runner opens a web address.
#pragma once

#include <string>
#include <string_view>

// Byte-order mark, "[InternetShortcut]" header line, "URL=" line and its line break, with no
// terminating zero. Written as UTF-16 little-endian, the mark becomes the bytes FF FE.
std::wstring BuildUrlShortcutText(std::wstring_view url);
