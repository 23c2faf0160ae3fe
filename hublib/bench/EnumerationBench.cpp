// Enumeration benchmark: the cost of one refresh of the live device tree on
// simulated lines of 1, 16, 64 and 127 USB devices (hubs included; 127 is the
// most one controller addresses) on one controller, and of 127 on each of 12.
//
// Each case runs in a process of its own (a fresh library, queue and
// simulator), started from this program with "--case <controllers> <devices>".
// The first enumeration (it also starts the device change monitor and the
// hubs' fifth-endpoint waits) is not timed. The bench then lets those waits
// run out, so every hub is registered, and times the steady state: refreshes
// repeated until a second of wall time has passed. The fixtures run at time
// scale 1000 (a hub's 900 ms family probe, made while it waits, costs 0.9 ms)
// and no latency model.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "BenchClock.h"
#include "BenchFixture.h"
#include "BenchProcess.h"
#include "HalvexZRVLib.h"
#include "UsbSimApi.h"

namespace {

struct BenchCase {
    int controllers;
    int devices;  // per controller
};
constexpr BenchCase kCases[] = {{1, 1}, {1, 16}, {1, 64}, {1, 127}, {12, 127}};

constexpr int kMaxListNodes = 127;
constexpr int kMinRuns = 3;
constexpr int kMaxRuns = 100000;
constexpr double kMinWallMs = 1000;
constexpr DWORD kSettleMs = 500;

template <typename F>
F Bind(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

// One case in this process: prints its table row.
int RunCase(const BenchCase& bench) {
    SetEnvironmentVariableW(L"ZRV_USBSIM", L"in-process fixture");
    HMODULE sim = LoadLibraryW(L"UsbSim.dll");
    auto load = Bind<PfnUsbSimLoadJson>(sim, "UsbSimLoadJson");
    if (load == nullptr) {
        fprintf(stderr, "cannot load UsbSim.dll\n");
        return 1;
    }
    const std::string fixture = EnumerationBenchFixture(bench.controllers, bench.devices);
    if (load(fixture.c_str(), nullptr) != USBSIM_OK) {
        wchar_t text[512] = {};
        Bind<PfnUsbSimGetLastError>(sim, "UsbSimGetLastError")(text, 512);
        fprintf(stderr, "fixture refused: %ls\n", text);
        return 1;
    }
    auto create =
        Bind<IDeviceTree*(__cdecl*)()>(LoadLibraryW(L"HalvexZRVLib.dll"), "CreateDeviceTree");
    IDeviceTree* tree = create ? create() : nullptr;
    if (tree == nullptr) {
        fprintf(stderr, "no device tree from HalvexZRVLib.dll\n");
        return 1;
    }
    const int listNodes = bench.devices + 1 < kMaxListNodes ? bench.devices + 1 : kMaxListNodes;
    if (tree->GetControllerCount() != bench.controllers) {
        fprintf(stderr, "expected %d controllers, the tree has %d\n", bench.controllers,
                tree->GetControllerCount());
        return 1;
    }
    for (int c = 0; c < bench.controllers; ++c) {
        if (tree->GetNodeCount(c) != listNodes) {
            fprintf(stderr, "controller %d: expected %d nodes, the tree has %d\n", c, listNodes,
                    tree->GetNodeCount(c));
            return 1;
        }
    }

    // Waits of 10 s at scale 1000 end after 10 ms; a further walk then finds every hub queued.
    Sleep(kSettleMs);
    tree->Refresh();

    CBenchClock clock;
    BenchTimes total;
    int runs = 0;
    do {
        tree->Refresh();
        ++runs;
        total = clock.Elapsed();
    } while (runs < kMinRuns || (total.wallMs < kMinWallMs && runs < kMaxRuns));

    const int nodes = bench.controllers * listNodes;
    const double perNode = 1000.0 / (runs * static_cast<double>(nodes));  // ms total -> us/node
    printf("%4d x %-3d %6d %6d %10.3f %10.3f %10.3f %9.2f %9.2f %9.2f\n", bench.controllers,
           bench.devices, nodes, runs, total.threadCpuMs / runs, total.processCpuMs / runs,
           total.wallMs / runs, total.threadCpuMs * perNode, total.processCpuMs * perNode,
           total.wallMs * perNode);
    fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && wcscmp(argv[1], L"--case") == 0) {
        return RunCase({_wtoi(argv[2]), _wtoi(argv[3])});
    }
    if (argc != 1) {
        fprintf(stderr, "usage: enumeration_bench [--case <controllers> <devices>]\n");
        return 2;
    }
    printf("Enumeration of the live device tree on a simulated line\n");
    printf(
        "(time scale 1000, no latency model, every hub registered; CPU: enumerating thread and "
        "whole process)\n\n");
    printf("%-10s %6s %6s  %-32s  %-29s\n", "", "tree", "", "per enumeration, ms", "per node, us");
    printf("%-10s %6s %6s %10s %10s %10s %9s %9s %9s\n", "ctl x dev", "nodes", "runs", "thread",
           "process", "wall", "thread", "process", "wall");
    fflush(stdout);
    bool ok = true;
    for (const BenchCase& bench : kCases) {
        ok = RunCaseProcess(L"--case " + std::to_wstring(bench.controllers) + L" " +
                            std::to_wstring(bench.devices)) &&
             ok;
    }
    return ok ? 0 : 1;
}
