#include "SerialSource.h"

#include <cwchar>

#include "SerialCounter.h"

std::wstring SerialFromUuid(const uint8_t* uuid, size_t size) {
    if (uuid == nullptr || size < 16) return L"";
    wchar_t text[11];
    swprintf(text, 11, L"%02x%02x%02x%02x%02x", uuid[11], uuid[12], uuid[13], uuid[14], uuid[15]);
    return text;
}

CSerialCounter::CSerialCounter(const SerialCounterOptions& options)
    : options_(options), current_(TrimSpaces(options.start)) {}

bool CSerialCounter::Next(std::wstring& serial) {
    serial.clear();
    if (current_ == kSerialDone) return false;
    serial = TrimSpaces(options_.prefix) + current_;
    AdvanceSerialValue(options_.maximum, current_, options_.increment, options_.hex);
    return true;
}
