// START on a line of 30 first-family hubs that all take their serial from the hub's unique
// identifier, at time scale 1: the sheet runs on a thread of its own, as in the tool tests, and
// StartProgramming is called on that thread while a probe thread sends WM_NULL to the window
// every 10 ms. Printed: how long START took (almost all of it preparing the hubs), the longest
// time the window did not answer a probe, and the device time the simulator charged meanwhile.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "GuiDriver.h"
#include "Sheet.h"
#include "ToolTestLine.h"
#include "UsbSimApi.h"
#include "resource.h"

using namespace guitest;

namespace {

constexpr int kControllers = 2;
constexpr int kPortsPerController = 15;
constexpr DWORD kProbeIntervalMs = 10;
constexpr UINT kProbeTimeoutMs = 60000;

std::string Topology() {
    const int count = kControllers * kPortsPerController;
    std::string text = "[Header]\r\nCount=" + std::to_string(count) + "\r\nVersion=2.1\r\n";
    for (int controller = 1; controller <= kControllers; ++controller) {
        for (int port = 1; port <= kPortsPerController; ++port) {
            text += "[1-" + std::to_string(controller) + "-" + std::to_string(port) + "]\r\n";
            text += "UINAME=Hub " + std::to_string(controller) + "." + std::to_string(port) +
                    "\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\nVERIFY=1\r\nDOPROGRAM=1\r\n"
                    "BCFGFILE=\r\nSERTYPE=0\r\n";
        }
    }
    return text + "[Header]\r\nCount=" + std::to_string(count) + "\r\n";
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Sends WM_NULL to the window every 10 ms until stopped; notes the longest wait for an answer.
// Only probes sent before `until` count: what the window does after START returned (the run's
// events) is not the preparation's.
struct Probe {
    HWND window = nullptr;
    volatile LONG stop = 0;
    volatile double until = 1e300;
    double longestMs = 0;
    double longestSentMs = 0;  // when the longest probe was sent
    int probes = 0;
    int unanswered = 0;

    static DWORD WINAPI Main(void* self) {
        auto* probe = static_cast<Probe*>(self);
        while (!probe->stop) {
            const double sent = NowMs();
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(probe->window, WM_NULL, 0, 0, SMTO_NORMAL, kProbeTimeoutMs,
                                     &result)) {
                ++probe->unanswered;
            }
            if (sent < probe->until && NowMs() - sent > probe->longestMs) {
                probe->longestMs = NowMs() - sent;
                probe->longestSentMs = sent;
            }
            ++probe->probes;
            Sleep(kProbeIntervalMs);
        }
        return 0;
    }
};

double ChipMs() {
    auto deviceTime = reinterpret_cast<PfnUsbSimGetDeviceTime>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimGetDeviceTime")));
    UsbSimDeviceTime totals = {};
    return deviceTime && deviceTime(&totals) == 0 ? totals.chipMs + totals.pauseMs : -1;
}

size_t Occurrences(const std::wstring& text, const std::wstring& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace

int wmain() {
    const std::wstring tcf = FreshFile(L"prepare-bench.tcf");
    WriteBytes(tcf, Topology());
    SetDefaultTcfKey(&tcf);
    FreshFile(L"ProductionRecord.ini");
    if (!UseLine(L"prepare-uuid-line.json")) {
        std::printf("the fixture prepare-uuid-line.json could not be loaded\n");
        return 1;
    }
    CSheetThread sheet;
    if (!sheet.Start(120000)) {  // 30 hubs at time scale 1 on a busy machine
        std::printf("the sheet did not start\n");
        return 1;
    }
    sheet.ClickTab(kProgrammerPageIndex);
    if (!WaitUntil([&] { return sheet.ActivePage() == kProgrammerPageIndex; })) {
        std::printf("the execution page did not open\n");
        return 1;
    }

    Probe probe;
    probe.window = sheet.Sheet();
    HANDLE prober = CreateThread(nullptr, 0, Probe::Main, &probe, 0, nullptr);
    Sleep(100);  // the probe's first answers, before START
    const double chipBefore = ChipMs();
    const double started = NowMs();
    bool result = false;
    sheet.OnSheetThread([&](CSheet& s) { result = s.StartProgramming(); });
    const double elapsed = NowMs() - started;
    probe.until = started + elapsed;
    const double chipMs = ChipMs() - chipBefore;
    InterlockedExchange(&probe.stop, 1);
    WaitForSingleObject(prober, INFINITE);
    CloseHandle(prober);

    const std::wstring status = sheet.StatusPaneText(IDC_EDIT_PROGRAM_STATUS);
    const int hubs = kControllers * kPortsPerController;
    std::printf("START on %d hubs with serials from their identifiers, time scale 1\n", hubs);
    std::printf("  started:                         %s\n", result ? "yes" : "no");
    std::printf("  serial lines shown:              %u of %d\n",
                static_cast<unsigned>(Occurrences(status, L"Current Serial Number")), hubs);
    std::printf("  START call:                      %8.1f ms\n", elapsed);
    std::printf("  device time charged meanwhile:   %8.1f ms\n", chipMs);
    std::printf(
        "  longest unanswered probe:        %8.1f ms, sent %.0f ms after START "
        "(%d probes in all, %d timed out)\n",
        probe.longestMs, probe.longestSentMs - started, probe.probes, probe.unanswered);

    // Let the run end before the sheet closes.
    WaitUntil(
        [&] {
            bool running = true;
            sheet.OnSheetThread([&](CSheet& s) { running = s.GetProgrammerStatus(); });
            return !running;
        },
        120000);
    sheet.Close();
    return result ? 0 : 1;
}
