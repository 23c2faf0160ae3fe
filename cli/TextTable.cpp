#include "TextTable.h"

#include <algorithm>

std::wstring FormatTable(const std::vector<std::vector<std::wstring>>& rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    auto line = [&](const std::vector<std::wstring>& row) {
        std::wstring text;
        for (size_t i = 0; i < row.size(); ++i) {
            text += row[i];
            if (i + 1 < row.size()) text += std::wstring(widths[i] - row[i].size() + 2, L' ');
        }
        return text + L"\n";
    };
    std::wstring out;
    for (size_t r = 0; r < rows.size(); ++r) {
        out += line(rows[r]);
        if (r == 0) {
            std::vector<std::wstring> rule;
            for (size_t i = 0; i < rows[0].size(); ++i)
                rule.push_back(std::wstring(widths[i], L'-'));
            out += line(rule);
        }
    }
    return out;
}
