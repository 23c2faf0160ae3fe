// The production record: one CSV line per hub result, with a header, in
// UTF-8. Pure text and planning; RecordFile does the file work.
#pragma once

#include <cstdint>
#include <string>

struct RecordEntry {
    std::wstring timeUtc;  // FormatUtcTime
    std::wstring position;
    std::wstring hubPath;
    std::wstring family;
    std::wstring uuid;  // empty when not known
    std::wstring serial;
    std::wstring storageMode;
    int32_t status = 0;
    std::wstring statusText;
    int32_t result = 0;
    uint32_t durationMs = 0;
};

// The header line, CR LF included.
extern const char kRecordHeader[];

// One field as CSV: quoted (quotes doubled) when it holds a comma, a quote,
// a line break, or starts with a character a spreadsheet reads as a formula.
std::string CsvField(const std::string& utf8);

std::string ToUtf8(const std::wstring& text);

// The entry as one CSV line ending in CR LF.
std::string FormatRecordLine(const RecordEntry& entry);

// "2026-12-10T07:22:49.123Z".
std::wstring FormatUtcTime(int year, int month, int day, int hour, int minute, int second,
                           int millisecond);

// What to do with an existing file before appending: cut a torn last line
// (a crash in the middle of a write leaves one without its line feed), write
// the header into an empty file, refuse a file with another header.
struct RecordPlan {
    bool ok = false;
    std::string error;
    uint64_t keepBytes = 0;  // the file is cut to this length first
    bool writeHeader = false;
};

// head: the file's first bytes (at least the header's length where the file
// has them), tail: its last bytes, size: its whole length.
RecordPlan PlanRecordAppend(const std::string& head, const std::string& tail, uint64_t size);
