#include "ProductionRecord.h"

#include <cwchar>

const char kRecordHeader[] =
    "time_utc,position,hub_path,family,uuid,serial,storage_mode,status_code,status_text,result,"
    "duration_ms\r\n";

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        // UTF-16 surrogate pairs where wchar_t is 16 bits.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string CsvField(const std::string& text) {
    bool quote =
        !text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@');
    for (char c : text) quote = quote || c == ',' || c == '"' || c == '\r' || c == '\n';
    if (!quote) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string FormatRecordLine(const RecordEntry& e) {
    const std::wstring fields[] = {e.timeUtc,
                                   e.position,
                                   e.hubPath,
                                   e.family,
                                   e.uuid,
                                   e.serial,
                                   e.storageMode,
                                   std::to_wstring(e.status),
                                   e.statusText,
                                   std::to_wstring(e.result),
                                   std::to_wstring(e.durationMs)};
    std::string line;
    for (size_t i = 0; i < sizeof(fields) / sizeof(fields[0]); ++i) {
        if (i > 0) line += ',';
        // Numbers may be negative: written bare, they are numbers, not formulas.
        const bool number = i == 7 || i == 9 || i == 10;
        line += number ? ToUtf8(fields[i]) : CsvField(ToUtf8(fields[i]));
    }
    return line + "\r\n";
}

std::wstring FormatUtcTime(int year, int month, int day, int hour, int minute, int second,
                           int millisecond) {
    wchar_t text[32];
    swprintf(text, 32, L"%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", year, month, day, hour, minute,
             second, millisecond);
    return text;
}

RecordPlan PlanRecordAppend(const std::string& head, const std::string& tail, uint64_t size) {
    RecordPlan plan;
    const std::string header = kRecordHeader;
    if (size == 0) {
        plan.ok = true;
        plan.writeHeader = true;
        return plan;
    }
    // Where the last complete line ends.
    const size_t newline = tail.rfind('\n');
    if (newline == std::string::npos) {
        if (tail.size() < size) {
            plan.error = "its last line is longer than any record line";
            return plan;
        }
        // Not even the header is whole: a crash while the file was begun.
        if (header.compare(0, tail.size(), tail) != 0) {
            plan.error = "it is not a production record (another header)";
            return plan;
        }
        plan.ok = true;
        plan.keepBytes = 0;
        plan.writeHeader = true;
        return plan;
    }
    if (head.compare(0, header.size(), header) != 0) {
        plan.error = "it is not a production record (another header)";
        return plan;
    }
    plan.ok = true;
    plan.keepBytes = size - (tail.size() - (newline + 1));
    return plan;
}
