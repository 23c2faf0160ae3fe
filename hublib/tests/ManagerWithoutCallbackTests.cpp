// The programmer manager when nobody registered a callback: hub statuses
// still reach the queue, and a failure still ends a continuous run.
#include <gtest/gtest.h>

#include <windows.h>

#include "ManagerTestSupport.h"

extern const wchar_t kTraceLogFileName[] = L"ManagerWithoutCallbackTests.txt";

using namespace manager_test;

TEST(ManagerWithoutCallback, StoresStatusesAndStopsAfterFailure) {
    ASSERT_TRUE(StartLibraryOnSimulatedLine());
    EmptyQueue();
    auto failing = Queue(L'A', true, VALIDATION_VERIFY);
    failing->finalStatus = HUB_STATUS_PROGRAM_VERIFY_FAILED;
    failing->result = RESULT_VERIFY_MISMATCH;
    Queue(L'E');

    ASSERT_EQ(StartProgrammerManager(false), RESULT_SUCCESS);
    const bool ended = WaitUntilManagerEnds();
    if (!ended) StopProgrammerManager();
    ASSERT_TRUE(ended) << "a continuous run goes on after a failure";
    EXPECT_TRUE(WaitUntilManagerEnds());

    EXPECT_EQ(DeviceQueue().GetHubStatus(HubPath(L'A').c_str()), HUB_STATUS_PROGRAM_VERIFY_FAILED);
    EXPECT_EQ(DeviceQueue().GetHubStatus(HubPath(L'E').c_str()), HUB_STATUS_PROGRAMMED);
    EXPECT_TRUE(DeviceQueue().CanDeviceBeRemoved(HubPath(L'A').c_str()));
}
