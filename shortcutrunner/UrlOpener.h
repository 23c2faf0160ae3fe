// Opening a web address through a temporary Internet-shortcut file.
#pragma once

#include <string_view>

// Writes the address into a new "URL*.url" file in the temporary folder and asks the shell
// to open it, first with the "open" verb, then with the default action. Returns the
// runner's exit code: 0 when opened, the shell's result (0 to 32) when both attempts were
// refused, -1 when the file could not be made. The file stays in the temporary folder.
int OpenWebAddress(std::wstring_view url);
