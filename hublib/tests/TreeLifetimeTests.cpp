// The live tree changes while the snapshot is copied from it: every copy is
// the tree before or after a change, never a mixture. A small line of its own,
// so a refresh is quick and many overlap the copies.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ManagerTestSupport.h"

extern const wchar_t kTraceLogFileName[] = L"TreeLifetimeTests.txt";

using namespace manager_test;

namespace {

// Unplugs and plugs board B back to back, refreshing the live tree after
// each, until told to stop; leaves the board plugged.
struct Toggle {
    volatile LONG stop = 0;
    volatile LONG rounds = 0;
};

DWORD WINAPI ToggleBoard(LPVOID parameter) {
    auto* self = static_cast<Toggle*>(parameter);
    bool plugged = true;
    while (!self->stop) {
        plugged = plugged ? !UnplugBoard(kBoardBPosition) : PlugBoard(kBoardBPosition, kBoardB);
        if (IDeviceTree* live = CreateDeviceTree()) live->Refresh();
        InterlockedIncrement(&self->rounds);
    }
    if (!plugged) PlugBoard(kBoardBPosition, kBoardB);
    if (IDeviceTree* live = CreateDeviceTree()) live->Refresh();
    return 0;
}

// Every node of a tree, one line each.
std::vector<std::wstring> NodeLines(IDeviceTree& tree) {
    std::vector<std::wstring> lines;
    for (int32_t i = 0; i < tree.GetControllerCount(); ++i) {
        for (int32_t j = 0; j < tree.GetNodeCount(i); ++j) {
            std::unique_ptr<IUsbNode> node(tree.GetNode(i, j));
            if (!node) continue;
            lines.push_back(std::to_wstring(i) + L"/" + std::to_wstring(node->GetParentIndex()) +
                            L" " + node->GetDisplayName() + L" " + node->GetDevicePath());
        }
    }
    return lines;
}

// The snapshot's nodes, copied afresh from the live tree.
std::vector<std::wstring> FreshSnapshotLines() {
    FinishedUsingDeviceTreeUI();
    IDeviceTree* snapshot = CreateDeviceTreeUI();
    std::vector<std::wstring> lines;
    if (snapshot != nullptr) lines = NodeLines(*snapshot);
    FinishedUsingDeviceTreeUI();
    return lines;
}

}  // namespace

TEST(TreeLifetime, SnapshotCopiedDuringHotPlugIsWhole) {
    ASSERT_TRUE(StartLibraryOnSimulatedLine(/*batchControllers=*/0));
    const std::vector<std::wstring> withBoard = FreshSnapshotLines();
    ASSERT_TRUE(UnplugBoard(kBoardBPosition));
    CreateDeviceTree()->Refresh();
    const std::vector<std::wstring> withoutBoard = FreshSnapshotLines();
    ASSERT_TRUE(PlugBoard(kBoardBPosition, kBoardB));
    CreateDeviceTree()->Refresh();
    ASSERT_NE(withBoard, withoutBoard);
    ASSERT_EQ(FreshSnapshotLines(), withBoard);

    Toggle toggle;
    HANDLE thread = CreateThread(nullptr, 0, ToggleBoard, &toggle, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Copies go on until enough changes have overlapped them.
    constexpr LONG kChanges = 500;
    const ULONGLONG end = GetTickCount64() + 30000;
    int copies = 0;
    int mixed = 0;
    while (toggle.rounds < kChanges && GetTickCount64() < end) {
        const std::vector<std::wstring> lines = FreshSnapshotLines();
        mixed += lines == withBoard || lines == withoutBoard ? 0 : 1;
        ++copies;
    }
    InterlockedExchange(&toggle.stop, 1);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    std::printf("%ld hot plug changes during %d copies\n", toggle.rounds, copies);
    EXPECT_GE(toggle.rounds, kChanges);
    EXPECT_EQ(mixed, 0) << "of " << copies << " copies";
}
