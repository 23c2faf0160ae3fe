// The two-step name read against scripted answers of a hub's name control.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "UsbNames.h"

extern const wchar_t kTraceLogFileName[] = L"HubLibTopologyTests.txt";

namespace {

constexpr ULONG kPort = 3;
constexpr UsbNameLayout kPortName = {8, true};  // port number, ActualLength, name

// One answer: success, the ActualLength it reports, the bytes it says it
// returned, and the characters it writes after the head (as far as they fit).
struct Answer {
    bool ok;
    ULONG actualLength;
    DWORD returned;
    const wchar_t* name;
};

// Head plus the characters of `name` and a terminator.
constexpr ULONG SizeFor(const wchar_t* name) {
    return 8 + static_cast<ULONG>((std::char_traits<wchar_t>::length(name) + 1) * sizeof(WCHAR));
}

struct Case {
    const char* what;
    Answer probe;
    Answer full;
    const wchar_t* expected;
};

std::wstring ReadScripted(const Case& c) {
    std::vector<Answer> answers = {c.probe, c.full};
    size_t next = 0;
    auto control = [&](BYTE* buffer, ULONG bytes, DWORD& returned) {
        EXPECT_LT(next, answers.size());
        if (next >= answers.size()) return false;
        const Answer& answer = answers[next++];
        ULONG port = 0;
        memcpy(&port, buffer, sizeof(port));
        EXPECT_EQ(port, kPort);
        if (!answer.ok) return false;
        memcpy(buffer + 4, &answer.actualLength, sizeof(ULONG));
        const size_t room = (bytes - 8) / sizeof(WCHAR);
        const size_t chars = std::min(room, std::char_traits<wchar_t>::length(answer.name) + 1);
        memcpy(buffer + 8, answer.name, chars * sizeof(WCHAR));
        returned = answer.returned;
        return true;
    };
    return ReadUsbName(control, kPortName, kPort);
}

}  // namespace

TEST(UsbNames, OnlyWholeConsistentAnswersGiveAName) {
    const ULONG probe = 8 + sizeof(WCHAR);
    const ULONG hub1 = SizeFor(L"HUB1");
    const Case cases[] = {
        {"both answers whole", {true, hub1, probe, L""}, {true, hub1, hub1, L"HUB1"}, L"HUB1"},
        {"the name shrank in between",
         {true, hub1, probe, L""},
         {true, SizeFor(L"HUB"), SizeFor(L"HUB"), L"HUB"},
         L"HUB"},
        {"the name grew in between: cut to the first size",
         {true, hub1, probe, L""},
         {true, SizeFor(L"HUB1234"), hub1, L"HUB1234"},
         L""},
        {"second answer returned less than its ActualLength",
         {true, hub1, probe, L""},
         {true, hub1, hub1 - 4, L"HUB1"},
         L""},
        {"probe returned less than its head",
         {true, hub1, 4, L""},
         {true, hub1, hub1, L"HUB1"},
         L""},
        {"probe failed", {false, 0, 0, L""}, {true, hub1, hub1, L"HUB1"}, L""},
        {"no name beyond the probe's size",
         {true, probe, probe, L""},
         {true, hub1, hub1, L"HUB1"},
         L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadScripted(c), c.expected);
    }
}
