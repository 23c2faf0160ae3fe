// Internet-shortcut file text.
#include "UrlShortcutContent.h"

std::wstring BuildUrlShortcutText(std::wstring_view url) {
    std::wstring text = L"\xFEFF[InternetShortcut]\r\nURL=";
    text.append(url);
    text.append(L"\r\n");
    return text;
}
