// Serial counter: validation codes and their order, error texts, and the counter's advance,
// checked against a literal single-step model of the counter over every small value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SerialCounter.h"
#include "TestFiles.h"

namespace {

std::wstring Digits(size_t count, wchar_t digit = L'0') {
    return std::wstring(count, digit);
}

TEST(SerialErrorText, GivesTheThirteenTextsAndTheLastForUnknownCodes) {
    const wchar_t* const expected[] = {
        L"Operation success",       L"Max serial number reached", L"Invalid Alpha value",
        L"Invalid Increment value", L"Invalid Start value",       L"Invalid Max value",
        L"Invalid Current value",   L"Invalid serial data",       L"Invalid serial data",
        L"Invalid serial data",     L"Start greater than Max",    L"Currernt greater than Max",
        L"unknown failure",
    };
    for (int code = 0; code < 13; ++code) {
        EXPECT_STREQ(expected[code], SerialErrorText(code)) << "code " << code;
    }
    EXPECT_STREQ(L"unknown failure", SerialErrorText(13));
    EXPECT_STREQ(L"unknown failure", SerialErrorText(-1));
}

TEST(IsValidSerialDigits, AcceptsUpperCaseHexOnlyInHexMode) {
    struct Case {
        const wchar_t* text;
        bool hex;
        bool valid;
    } cases[] = {
        {L"", false, true},
        {L"0123456789", false, true},
        {L"0A", false, false},
        {L"0A", true, true},
        {L"0123456789ABCDEF", true, true},
        {L"0fa", true, false},
        {L"G", true, false},
        {L"1 2", false, false},
        {L" 12", false, false},
        {L"-1", false, false},
        {L"\x0661", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.text) + (c.hex ? " hex" : " dec"));
        EXPECT_EQ(c.valid, IsValidSerialDigits(c.text, c.hex));
    }
}

TEST(ValidateSerialParams, FirstFailingCheckGivesTheCode) {
    struct Case {
        const char* name;
        std::wstring prefix, start, maximum, current;
        uint32_t increment;
        bool hex;
        int expected;
    } cases[] = {
        {"valid decimal", L"", L"001", L"003", L"001", 1, false, 0},
        {"valid hex", L"AB", L"0F9", L"FFF", L"0FA", 1, true, 0},
        {"exhausted wins over everything", L"ABCDEF", L"", L"", L"DONE", 0, false, 1},
        {"DONE with spaces is just invalid", L"", L"1", L"9", L" DONE", 1, false, 6},
        {"prefix of five", L"ABCDE", L"1", L"9", L"1", 1, false, 2},
        {"prefix of four with spaces", L"  ABCD  ", L"1", L"9", L"1", 1, false, 0},
        {"increment zero", L"", L"1", L"9", L"1", 0, false, 3},
        {"empty start", L"", L"", L"9", L"1", 1, false, 4},
        {"blank start", L"", L"   ", L"9", L"1", 1, false, 4},
        {"hex digit in decimal start", L"", L"1A", L"99", L"1", 1, false, 4},
        {"lower-case hex start", L"", L"0fa", L"FFF", L"0FA", 1, true, 4},
        {"empty maximum", L"", L"1", L"", L"1", 1, false, 5},
        {"bad maximum", L"", L"1", L"G", L"1", 1, true, 5},
        {"empty current", L"", L"1", L"9", L"", 1, false, 6},
        {"lower-case hex current", L"", L"000", L"FFF", L"0fa", 1, true, 6},
        {"inner space in current", L"", L"1", L"99", L"1 2", 1, false, 6},
        {"4 + start 28", L"ABCD", Digits(28), Digits(28), Digits(27), 1, false, 7},
        {"4 + maximum 28", L"ABCD", Digits(27), Digits(28), Digits(27), 1, false, 8},
        {"4 + current 28", L"ABCD", Digits(27), Digits(27, L'9'), Digits(28), 1, false, 9},
        {"31 in all", L"ABCD", Digits(27), Digits(27, L'9'), Digits(27), 1, false, 0},
        {"spaces not counted", L" AB ", Digits(29), Digits(29, L'9'), Digits(29), 1, false, 0},
        {"longer start is greater", L"", L"10", L"9", L"9", 1, false, 10},
        {"width decides first", L"", L"0010", L"999", L"999", 1, false, 10},
        {"same width greater", L"", L"151", L"150", L"150", 1, false, 10},
        {"hex letters above digits", L"", L"A", L"9", L"9", 1, true, 10},
        {"start equal to maximum", L"", L"150", L"150", L"150", 1, false, 0},
        {"current longer than maximum", L"", L"1", L"999", L"1000", 1, false, 11},
        {"current same width greater", L"", L"001", L"150", L"151", 1, false, 11},
        {"current below start is allowed", L"", L"050", L"100", L"010", 1, false, 0},
        {"largest increment", L"", L"1", L"9", L"1", 0xFFFFFFFFu, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, ValidateSerialParams(c.prefix, c.start, c.maximum, c.current,
                                                   c.increment, c.hex));
    }
}

TEST(AdvanceSerialValue, StepsKeepWidthGrowAndEndInDone) {
    struct Case {
        const char* name;
        std::wstring maximum, current;
        uint32_t increment;
        bool hex;
        int result;
        std::wstring expected;
    } cases[] = {
        {"001 to 002", L"003", L"001", 1, false, 0, L"002"},
        {"002 to 003", L"003", L"002", 1, false, 0, L"003"},
        {"maximum then DONE", L"003", L"003", 1, false, 0, L"DONE"},
        {"never beyond the maximum", L"99", L"98", 5, false, 0, L"DONE"},
        {"reaches the maximum exactly", L"010", L"005", 5, false, 0, L"010"},
        {"one step past the maximum", L"010", L"005", 6, false, 0, L"DONE"},
        {"grows while shorter", L"150", L"99", 1, false, 0, L"100"},
        {"wide value over maximum", L"150", L"999", 1, false, 0, L"DONE"},
        {"carries through nines", L"9999", L"0199", 1, false, 0, L"0200"},
        {"short value grows twice", L"99999", L"95", 10, false, 0, L"105"},
        {"hex nine to A", L"FFF", L"0F9", 1, true, 0, L"0FA"},
        {"hex carry", L"FFF", L"0FF", 1, true, 0, L"100"},
        {"hex 09 to 0A", L"FF", L"09", 1, true, 0, L"0A"},
        {"hex over full width", L"FFF", L"FFF", 1, true, 0, L"DONE"},
        {"decimal ignores hex letters", L"20", L"19", 1, false, 0, L"20"},
        {"spaces removed", L" 010 ", L" 005 ", 1, false, 0, L"006"},
        {"increment zero only trims", L"010", L" 005", 0, false, 0, L"005"},
        {"already DONE", L"010", L"DONE", 1, false, 1, L"DONE"},
        {"DONE with spaces", L"010", L" DONE ", 1, false, 1, L" DONE "},
        {"lower-case hex refused", L"FFF", L"0fa", 1, true, 6, L"0fa"},
        {"bad maximum refused", L"1X", L"01", 1, false, 5, L"01"},
        {"largest increment, decimal", Digits(10, L'9'), Digits(10), 0xFFFFFFFFu, false, 0,
         L"4294967295"},
        {"largest increment, hex", L"FFFFFFFF", L"00000000", 0xFFFFFFFFu, true, 0, L"FFFFFFFF"},
        {"largest increment, past a hex maximum", L"FFFFFFFF", L"00000001", 0xFFFFFFFFu, true, 0,
         L"DONE"},
        {"31 digits carry", Digits(31, L'9'), L"0" + Digits(30, L'9'), 1, false, 0,
         L"1" + Digits(30)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring current = c.current;
        EXPECT_EQ(c.result, AdvanceSerialValue(c.maximum, current, c.increment, c.hex));
        EXPECT_EQ(Narrow(c.expected), Narrow(current));
    }
}

// The counter as a sequence of single steps, the way an operator reads it: check the value
// against the maximum, carry the highest digits over, grow while narrower, raise one digit.
std::wstring StepModel(const std::wstring& maximum, std::wstring current, uint32_t increment,
                       bool hex) {
    const wchar_t highest = hex ? L'F' : L'9';
    for (uint32_t step = 0; step < increment; ++step) {
        if (current.size() == maximum.size() && current >= maximum) return L"DONE";
        size_t pos = current.size();
        while (pos > 0 && current[pos - 1] == highest) current[--pos] = L'0';
        if (pos == 0) {
            if (current.size() >= maximum.size()) return L"DONE";
            current.insert(current.begin(), L'0');
            pos = 1;
        }
        wchar_t& digit = current[pos - 1];
        digit = digit == L'9' ? L'A' : static_cast<wchar_t>(digit + 1);
    }
    return current;
}

std::vector<std::wstring> AllValues(bool hex, size_t maxWidth) {
    const std::wstring digits = hex ? L"0123456789ABCDEF" : L"0123456789";
    std::vector<std::wstring> values{L""};
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i].size() == maxWidth) continue;
        for (wchar_t d : digits) values.push_back(values[i] + d);
    }
    return values;
}

TEST(AdvanceSerialValue, AgreesWithSingleStepsForEverySmallValue) {
    struct Sweep {
        bool hex;
        size_t valueWidth, maximumWidth;
        std::vector<uint32_t> increments;
    } sweeps[] = {
        {false, 3, 2, {1, 2, 3, 9, 10, 11, 99, 100, 101}},
        {true, 2, 2, {1, 2, 15, 16, 17, 255, 256, 257}},
        {false, 2, 3, {1, 5, 100, 900}},
    };
    for (const Sweep& sweep : sweeps) {
        for (const std::wstring& maximum : AllValues(sweep.hex, sweep.maximumWidth)) {
            for (const std::wstring& value : AllValues(sweep.hex, sweep.valueWidth)) {
                for (uint32_t increment : sweep.increments) {
                    std::wstring current = value;
                    ASSERT_EQ(0, AdvanceSerialValue(maximum, current, increment, sweep.hex));
                    ASSERT_EQ(Narrow(StepModel(maximum, value, increment, sweep.hex)),
                              Narrow(current))
                        << (sweep.hex ? "hex" : "dec") << " max '" << Narrow(maximum)
                        << "' current '" << Narrow(value) << "' + " << increment;
                }
            }
        }
    }
}

TEST(AdvanceSerialValue, IssuesEveryValueOnceUpToTheMaximum) {
    std::wstring current = L"0000";
    int issued = 1;
    while (AdvanceSerialValue(L"0FFF", current, 1, true) == 0 && current != L"DONE") ++issued;
    EXPECT_EQ(0x1000, issued);
    EXPECT_EQ(1, AdvanceSerialValue(L"0FFF", current, 1, true));
}

}  // namespace
