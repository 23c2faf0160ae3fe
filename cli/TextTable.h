// Rows of text as columns aligned with spaces; the first row is the header,
// underlined with dashes.
#pragma once

#include <string>
#include <vector>

std::wstring FormatTable(const std::vector<std::vector<std::wstring>>& rows);
