// Serial counter arithmetic on digit strings. Values may be 31 digits wide (beyond any native
// integer) and an increment may be up to 2^32 - 1, so the advance adds the whole increment at
// once instead of stepping: the result is that of the single steps.
#include "SerialCounter.h"

#include <algorithm>

const wchar_t kSerialDone[] = L"DONE";

namespace {

const wchar_t* const kErrorTexts[] = {
    L"Operation success",       L"Max serial number reached", L"Invalid Alpha value",
    L"Invalid Increment value", L"Invalid Start value",       L"Invalid Max value",
    L"Invalid Current value",   L"Invalid serial data",       L"Invalid serial data",
    L"Invalid serial data",     L"Start greater than Max",    L"Currernt greater than Max",
    L"unknown failure",
};
constexpr int kErrorTextCount = static_cast<int>(sizeof(kErrorTexts) / sizeof(kErrorTexts[0]));
static_assert(kErrorTextCount == kSerialUnknownFailure + 1, "one text per code");

// Width decides first; equal widths compare by character code, which orders 0-9 before A-F.
bool GreaterByWidth(const std::wstring& a, const std::wstring& b) {
    return a.size() > b.size() || (a.size() == b.size() && a > b);
}

int DigitValue(wchar_t c) {
    return c <= L'9' ? c - L'0' : c - L'A' + 10;
}
wchar_t DigitChar(int value) {
    return static_cast<wchar_t>(value < 10 ? L'0' + value : L'A' + value - 10);
}

// Numeric comparison of two valid digit strings of any widths.
int CompareValues(const std::wstring& a, const std::wstring& b) {
    const size_t aStart = std::min(a.find_first_not_of(L'0'), a.size());
    const size_t bStart = std::min(b.find_first_not_of(L'0'), b.size());
    const size_t aDigits = a.size() - aStart;
    const size_t bDigits = b.size() - bStart;
    if (aDigits != bDigits) return aDigits < bDigits ? -1 : 1;
    return a.compare(aStart, aDigits, b, bStart, bDigits);
}

// digits + amount in the given base; the result grows when the sum needs more digits.
std::wstring AddToDigits(const std::wstring& digits, uint32_t amount, int base) {
    std::wstring sum = digits;
    uint64_t carry = amount;
    for (size_t i = sum.size(); i-- > 0 && carry != 0;) {
        const uint64_t total = static_cast<uint64_t>(DigitValue(sum[i])) + carry;
        sum[i] = DigitChar(static_cast<int>(total % base));
        carry = total / base;
    }
    while (carry != 0) {
        sum.insert(sum.begin(), DigitChar(static_cast<int>(carry % base)));
        carry /= base;
    }
    return sum;
}

}  // namespace

const wchar_t* SerialErrorText(int code) {
    if (code < 0 || code >= kErrorTextCount) code = kSerialUnknownFailure;
    return kErrorTexts[code];
}

std::wstring TrimSpaces(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

bool IsValidSerialDigits(const std::wstring& text, bool hex) {
    return std::all_of(text.begin(), text.end(), [hex](wchar_t c) {
        return (c >= L'0' && c <= L'9') || (hex && c >= L'A' && c <= L'F');
    });
}

int ValidateSerialParams(const std::wstring& prefix, const std::wstring& start,
                         const std::wstring& maximum, const std::wstring& current,
                         uint32_t increment, bool hex) {
    if (current == kSerialDone) return kSerialMaxReached;
    const std::wstring alpha = TrimSpaces(prefix);
    if (alpha.size() > kMaxSerialPrefixLength) return kSerialInvalidAlpha;
    if (increment == 0) return kSerialInvalidIncrement;
    const std::wstring first = TrimSpaces(start);
    if (first.empty() || !IsValidSerialDigits(first, hex)) return kSerialInvalidStart;
    const std::wstring last = TrimSpaces(maximum);
    if (last.empty() || !IsValidSerialDigits(last, hex)) return kSerialInvalidMax;
    const std::wstring now = TrimSpaces(current);
    if (now.empty() || !IsValidSerialDigits(now, hex)) return kSerialInvalidCurrent;
    if (alpha.size() + first.size() > kMaxSerialLength) return kSerialStartTooLong;
    if (alpha.size() + last.size() > kMaxSerialLength) return kSerialMaxTooLong;
    if (alpha.size() + now.size() > kMaxSerialLength) return kSerialCurrentTooLong;
    if (GreaterByWidth(first, last)) return kSerialStartAboveMax;
    if (GreaterByWidth(now, last)) return kSerialCurrentAboveMax;
    return kSerialOk;
}

int AdvanceSerialValue(const std::wstring& maximum, std::wstring& current, uint32_t increment,
                       bool hex) {
    const std::wstring last = TrimSpaces(maximum);
    const std::wstring value = TrimSpaces(current);
    if (value == kSerialDone) return kSerialMaxReached;
    if (!IsValidSerialDigits(value, hex)) return kSerialInvalidCurrent;
    if (!IsValidSerialDigits(last, hex)) return kSerialInvalidMax;
    current = value;
    if (increment == 0) return kSerialOk;

    // Single steps check the value before each step: once it is as wide as the maximum and not
    // below it, or it overflows a width not below the maximum's, the step stores "DONE". A
    // narrower value only becomes as wide as the maximum at the power of the base of that width,
    // so the last value a step may start from is the larger of that power and the maximum.
    const int base = hex ? 16 : 10;
    const wchar_t highest = hex ? L'F' : L'9';
    std::wstring limit;
    if (value.size() < last.size()) {
        const std::wstring power = L"1" + std::wstring(last.size() - 1, L'0');
        limit = CompareValues(power, last) > 0 ? power : last;
    } else if (value.size() == last.size()) {
        limit = last;
    } else {
        limit = std::wstring(value.size(), highest);
    }
    // The sum keeps the value's width and grows only when it needs more digits.
    const std::wstring next = AddToDigits(value, increment, base);
    // next - 1 is the value the last step starts from.
    current = CompareValues(next, limit) > 0 ? std::wstring(kSerialDone) : next;
    return kSerialOk;
}
