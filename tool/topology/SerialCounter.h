// The serial number counter as pure functions over its parameters: validation, the error texts
// and the advance of the current value. Values are digit strings whose width is significant;
// "DONE" in place of the current value marks an exhausted counter.
#pragma once

#include <cstdint>
#include <string>

enum SerialError : int {
    kSerialOk = 0,
    kSerialMaxReached = 1,
    kSerialInvalidAlpha = 2,
    kSerialInvalidIncrement = 3,
    kSerialInvalidStart = 4,
    kSerialInvalidMax = 5,
    kSerialInvalidCurrent = 6,
    kSerialStartTooLong = 7,
    kSerialMaxTooLong = 8,
    kSerialCurrentTooLong = 9,
    kSerialStartAboveMax = 10,
    kSerialCurrentAboveMax = 11,
    kSerialUnknownFailure = 12,
};

extern const wchar_t kSerialDone[];
constexpr size_t kMaxSerialPrefixLength = 4;
constexpr size_t kMaxSerialLength = 31;

// The text of an error code; codes outside 0..12 get the text of 12.
const wchar_t* SerialErrorText(int code);

// Removes leading and trailing space characters.
std::wstring TrimSpaces(const std::wstring& text);

// True when every character is 0-9, or with hex also A-F (upper case only); "" passes.
bool IsValidSerialDigits(const std::wstring& text, bool hex);

// The first failing check decides the code; kSerialOk when the parameters can produce serials.
int ValidateSerialParams(const std::wstring& prefix, const std::wstring& start,
                         const std::wstring& maximum, const std::wstring& current,
                         uint32_t increment, bool hex);

// Advances current (trimmed, width kept, one digit more on overflow while shorter than the
// maximum) by increment single steps. The step that would pass the maximum, or overflow a value
// already as wide as it, stores "DONE" instead; the value equal to the maximum is still reached.
// Returns kSerialMaxReached, unchanged, when current already is "DONE"; kSerialInvalidCurrent or
// kSerialInvalidMax, unchanged, when a value holds other characters than digits; else kSerialOk.
int AdvanceSerialValue(const std::wstring& maximum, std::wstring& current, uint32_t increment,
                       bool hex);
