// Library internals: device base, queue answers, nodes, small rules.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "DeviceQueue.h"
#include "DeviceTree.h"
#include "EP5Timeout.h"
#include "GenericHubDevice.h"
#include "Notifications.h"
#include "RegistryOverride.h"
#include "UsbNode.h"

extern const wchar_t kTraceLogFileName[] = L"HubLibUnitTests.txt";

namespace {
const wchar_t kHubPath[] =
    L"\\\\?\\USB#VID_3B9A&PID_6104#A1000001#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
}

TEST(Device, PathIsClampedTo199Characters) {
    const std::wstring longPath(250, L'p');
    CGenericHubDevice device(longPath.c_str(), 250);
    EXPECT_EQ(std::wstring(device.GetDeviceInstanceID()), std::wstring(199, L'p'));
    CGenericHubDevice shortOne(L"abcdef", 3);
    EXPECT_STREQ(shortOne.GetDeviceInstanceID(), L"abc");
}

TEST(Device, HubStatusAcceptsOnlyZeroToThirteen) {
    CGenericHubDevice device(kHubPath, 100);
    EXPECT_EQ(device.GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_UNKNOWN));
    EXPECT_TRUE(device.SetHubStatus(HUB_STATUS_OTP_WRITE_LIMIT));
    EXPECT_FALSE(device.SetHubStatus(HUB_STATUS_UNKNOWN));
    EXPECT_EQ(device.GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_OTP_WRITE_LIMIT));
    EXPECT_TRUE(device.SetHubStatus(0));
}

TEST(Device, CloneCopiesEveryField) {
    CGenericHubDevice device(kHubPath, 100);
    device.SetHubStatus(HUB_STATUS_PROGRAMMED);
    device.SetProgrammingRequired(true);
    device.SetNewDeviceStatus();
    device.rebootPending = true;
    device.controllerIndex = 1;
    device.nodeIndex = 4;
    device.programmingUseCount = 2;
    std::unique_ptr<CDevice> copy(device.Clone());
    ASSERT_TRUE(copy);
    EXPECT_STREQ(copy->GetDeviceInstanceID(), kHubPath);
    EXPECT_EQ(copy->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAMMED));
    EXPECT_TRUE(copy->IsProgrammingRequired());
    EXPECT_FALSE(copy->IsNewDevice());
    EXPECT_TRUE(copy->rebootPending);
    EXPECT_EQ(copy->controllerIndex, 1);
    EXPECT_EQ(copy->nodeIndex, 4);
    EXPECT_EQ(copy->programmingUseCount, 2);
}

TEST(DeviceQueue, UnknownPathsGetTheQueueDefaults) {
    CDeviceQueue queue;
    const wchar_t* path = kHubPath;
    uint8_t buffer[16];
    uint32_t size = 0;
    EXPECT_EQ(queue.GetHubStatus(path), HUB_STATUS_NEW_UNPROGRAMMED);
    EXPECT_TRUE(queue.IsNewDevice(path));
    EXPECT_TRUE(queue.CanDeviceBeRemoved(path));
    EXPECT_EQ(queue.GetStorageMode(path), STORAGE_UNKNOWN);
    EXPECT_EQ(queue.GetValidationMethod(path), VALIDATION_NONE);
    EXPECT_EQ(queue.SetStorageMode(path, STORAGE_OTP), RESULT_DEVICE_NOT_FOUND);
    EXPECT_EQ(queue.GetHubFamily(path), HUB_FAMILY_UNKNOWN);
    EXPECT_EQ(queue.RemoveDevice(path), RESULT_DEVICE_NOT_FOUND);
    EXPECT_EQ(queue.GetOTPSize(path, &size), RESULT_DEVICE_NOT_FOUND);
    EXPECT_EQ(queue.ReadOTP(path, buffer, 16), RESULT_DEVICE_NOT_FOUND);
    // Argument checks come before the lookup.
    EXPECT_EQ(queue.GetOTPSize(path, nullptr), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(queue.ReadOTP(path, nullptr, 16), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(queue.WriteToRam(path, buffer, 0), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(queue.GetUUID(path, buffer, 0), RESULT_INVALID_PARAMETER);
}

TEST(DeviceQueue, FindsQueuedHubIgnoringAsciiCase) {
    CDeviceQueue queue;
    auto device = std::make_unique<CGenericHubDevice>(kHubPath, 100);
    device->programmingUseCount = 1;
    queue.Append(std::move(device));
    std::wstring lower(kHubPath);
    for (auto& c : lower) c = static_cast<wchar_t>(towlower(c));
    EXPECT_FALSE(queue.CanDeviceBeRemoved(lower.c_str()));
    EXPECT_EQ(queue.GetHubFamily(lower.c_str()), HUB_FAMILY_GENERIC);
    // A hub of no family refuses every storage mode.
    EXPECT_EQ(queue.SetStorageMode(kHubPath, STORAGE_OTP), RESULT_DEVICE_IO_FAILED);
    EXPECT_TRUE(queue.SetHubStatus(kHubPath, HUB_STATUS_VERIFIED));
    EXPECT_EQ(queue.GetHubStatus(kHubPath), HUB_STATUS_VERIFIED);

    queue.AddDevice(kHubPath, 200, 1, -1);
    std::unique_ptr<CDevice> copy(queue.CloneDevice(kHubPath));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->controllerIndex, 1);
    EXPECT_EQ(copy->nodeIndex, -1);

    EXPECT_EQ(queue.RemoveDevice(kHubPath), RESULT_SUCCESS);
    EXPECT_EQ(queue.DeviceCount(), 0u);
}

// A run's release is undone once only, and only on the object it counted.
TEST(DeviceQueue, ProgrammingUseIsReleasedOnceAndOnlyOnTheCountedHub) {
    CDeviceQueue queue;
    queue.Append(std::make_unique<CGenericHubDevice>(kHubPath, 200));
    const CProgrammingUse use = queue.BeginProgramming(kHubPath, nullptr);
    ASSERT_EQ(use.devices.size(), 1u);
    EXPECT_FALSE(queue.CanDeviceBeRemoved(kHubPath));

    CProgrammingRelease release = queue.EndProgramming(use, nullptr);
    EXPECT_TRUE(release.hubStillQueued);
    ASSERT_EQ(release.released.size(), 1u);
    EXPECT_EQ(release.released[0], kHubPath);
    release = queue.EndProgramming(use, nullptr);
    EXPECT_TRUE(release.released.empty());
    std::unique_ptr<CDevice> hub(queue.CloneDevice(kHubPath));
    ASSERT_TRUE(hub);
    EXPECT_EQ(hub->programmingUseCount, 0);

    // The same path queued again is another hub: the old run does not touch it.
    const CProgrammingUse again = queue.BeginProgramming(kHubPath, nullptr);
    ASSERT_EQ(queue.RemoveDevice(kHubPath), RESULT_SUCCESS);
    queue.Append(std::make_unique<CGenericHubDevice>(kHubPath, 200));
    const CProgrammingUse fresh = queue.BeginProgramming(kHubPath, nullptr);
    release = queue.EndProgramming(again, nullptr);
    EXPECT_FALSE(release.hubStillQueued);
    EXPECT_TRUE(release.released.empty());
    EXPECT_FALSE(queue.CanDeviceBeRemoved(kHubPath));
    queue.EndProgramming(fresh, nullptr);
    EXPECT_TRUE(queue.CanDeviceBeRemoved(kHubPath));
}

namespace {
// A queued hub whose OTP size and read result are set by the test; a read
// fills the buffer with 0xA0, 0xA1, ...
class CScriptedOtpHub : public CGenericHubDevice {
public:
    CScriptedOtpHub(int32_t size, int32_t readResult, int* reads)
        : CGenericHubDevice(kHubPath, 200), size_(size), readResult_(readResult), reads_(reads) {}
    int32_t GetOTPSize() override { return size_; }
    int32_t ReadOTP(uint8_t* buffer, uint32_t length) override {
        ++*reads_;
        if (length > 2048) return RESULT_READ_FAILED;  // no OTP is larger
        for (uint32_t i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>(0xA0 + i);
        return readResult_;
    }

private:
    int32_t size_;
    int32_t readResult_;
    int* reads_;
};

std::string FileText(const wchar_t* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(DumpOTP, WritesExactlyTheBytesReadAndOnlyAfterASuccessfulRead) {
    struct Case {
        const char* what;
        int32_t otpSize;
        int32_t readResult;
        int32_t expected;
        int reads;
        std::string file;  // content afterwards; "stale" when left alone
    };
    const Case cases[] = {
        {"read", 4, RESULT_SUCCESS, RESULT_SUCCESS, 1, "\xA0\xA1\xA2\xA3"},
        {"empty OTP", 0, RESULT_SUCCESS, RESULT_SUCCESS, 1, ""},
        {"read fails", 4, RESULT_READ_FAILED, RESULT_READ_FAILED, 1, "stale"},
        {"hub cannot be opened", RESULT_OPEN_FAILED, RESULT_SUCCESS, RESULT_OPEN_FAILED, 0,
         "stale"},
    };
    const wchar_t file[] = L"otp_dump.bin";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << "stale";
        int reads = 0;
        DeviceQueue().Append(std::make_unique<CScriptedOtpHub>(c.otpSize, c.readResult, &reads));
        EXPECT_EQ(DumpOTP(kHubPath, static_cast<int32_t>(wcslen(kHubPath)), file), c.expected);
        EXPECT_EQ(reads, c.reads);
        EXPECT_EQ(FileText(file), c.file);
        EXPECT_EQ(DeviceQueue().RemoveDevice(kHubPath), RESULT_SUCCESS);
    }
    _wremove(file);
}

TEST(SamePath, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(SamePath(L"USB#VID_ABCD", L"usb#vid_abcd"));
    EXPECT_FALSE(SamePath(L"\x00C4", L"\x00E4"));  // Latin letters beyond ASCII stay distinct
    EXPECT_FALSE(SamePath(L"abc", L"abcd"));
    EXPECT_FALSE(SamePath(nullptr, L"a"));
}

TEST(EP5Timeout, RegistrySecondsBelow25Count) {
    struct Case {
        bool present;
        uint32_t seconds;
        uint32_t ms;
    };
    const Case cases[] = {{false, 0, 10000}, {true, 0, 0},      {true, 5, 5000},
                          {true, 24, 24000}, {true, 25, 10000}, {true, 4000000, 10000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(EP5TimeoutFromSeconds(c.present, c.seconds), c.ms);
    }
}

// A fifth endpoint makes the hub a second-family device where it stands in
// the queue; a second-family device already there stays as it is.
TEST(DeviceQueue, FifthEndpointReplacesTheHubInItsPlace) {
    const std::wstring a = L"\\\\?\\USB#VID_1A2B&PID_000A#A#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    const std::wstring b = L"\\\\?\\USB#VID_1A2B&PID_000B#B#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    const std::wstring c = L"\\\\?\\USB#VID_1A2B&PID_000C#C#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    CDeviceQueue queue;
    for (const std::wstring& path : {a, b, c}) {
        queue.Append(std::make_unique<CGenericHubDevice>(path.c_str(), kDevicePathLength));
    }
    ASSERT_TRUE(queue.SetHubStatus(b.c_str(), HUB_STATUS_PROGRAMMED));

    EXPECT_EQ(queue.EP5Arrived(b.c_str(), 0), RESULT_SUCCESS);
    EXPECT_EQ(queue.DevicePaths(), (std::vector<std::wstring>{a, b, c}));
    EXPECT_EQ(queue.GetHubFamily(b.c_str()), HUB_FAMILY_TORVIK);
    EXPECT_EQ(queue.GetHubStatus(b.c_str()), HUB_STATUS_UNKNOWN);  // a new object
    EXPECT_EQ(queue.GetHubFamily(a.c_str()), HUB_FAMILY_GENERIC);

    ASSERT_TRUE(queue.SetHubStatus(b.c_str(), HUB_STATUS_PROGRAMMED));
    queue.EP5Arrived(b.c_str(), 0);
    EXPECT_EQ(queue.GetHubStatus(b.c_str()), HUB_STATUS_PROGRAMMED);  // kept

    // Not queued yet: appended.
    const std::wstring d = L"\\\\?\\USB#VID_1A2B&PID_000D#D#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    queue.EP5Arrived(d.c_str(), 0);
    EXPECT_EQ(queue.DevicePaths(), (std::vector<std::wstring>{a, b, c, d}));
    EXPECT_EQ(queue.GetHubFamily(d.c_str()), HUB_FAMILY_TORVIK);
}

// The value as the library reads it at start, from the machine's key.
TEST(EP5Timeout, ReadFromTheMachineKey) {
    const wchar_t kKey[] = L"SOFTWARE\\VARN\\KVR";
    const wchar_t kValue[] = L"EP5TIMEOUTPERIOD";
    struct Case {
        const char* name;
        int dword;  // -1: none written
        const wchar_t* text;
        uint32_t ms;
    };
    const Case cases[] = {{"absent", -1, nullptr, 10000},
                          {"5 s", 5, nullptr, 5000},
                          {"0 s", 0, nullptr, 0},
                          {"25 s", 25, nullptr, 10000},
                          {"text", -1, L"5", 10000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMachineKeyOverride machine;
        ASSERT_TRUE(machine.Active());
        if (c.dword >= 0) {
            ASSERT_TRUE(machine.SetDword(kKey, kValue, static_cast<DWORD>(c.dword)));
        }
        if (c.text != nullptr) {
            ASSERT_TRUE(machine.SetString(kKey, kValue, c.text));
        }
        LoadEP5Timeout();
        EXPECT_EQ(EP5TimeoutMs(), c.ms);
    }
    LoadEP5Timeout();
}

TEST(UsbNode, CopyTakesTextsButNotUseCount) {
    CUsbNode node;
    EXPECT_EQ(node.GetNodeType(), NODE_TYPE_UNKNOWN);
    node.SetNodeType(NODE_TYPE_HUB);
    node.SetParentIndex(3);
    node.SetDeviceInstanceID(L"USB\\VID_3B9A&PID_6104\\A1000001");
    node.SetDisplayName(L"Port2 : USB 2.0 Hub");
    node.SetDevicePath(kHubPath);
    node.SetUseCount(5);
    node.SetDeviceInstanceID(nullptr);  // a null text changes nothing
    CUsbNode copy(static_cast<IUsbNode&>(node));
    EXPECT_EQ(copy.GetNodeType(), NODE_TYPE_HUB);
    EXPECT_EQ(copy.GetParentIndex(), 3);
    EXPECT_STREQ(copy.GetDeviceInstanceID(), L"USB\\VID_3B9A&PID_6104\\A1000001");
    EXPECT_STREQ(copy.GetDisplayName(), L"Port2 : USB 2.0 Hub");
    EXPECT_STREQ(copy.GetDevicePath(), kHubPath);
    EXPECT_EQ(copy.UseCount(), 0);

    const std::wstring tooLong(300, L'x');
    copy.SetDeviceInstanceID(tooLong.c_str());
    EXPECT_EQ(std::wstring(copy.GetDeviceInstanceID()).size(), 259u);
}

TEST(InterfacePath, TurnsIntoInstanceId) {
    struct Case {
        const wchar_t* path;
        const wchar_t* id;
    };
    const Case cases[] = {
        {kHubPath, L"USB\\VID_3B9A&PID_6104\\A1000001"},
        {L"\\\\?\\USB#VID_3B9A&PID_7105#5&1A2B3C&0&5#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
         L"USB\\VID_3B9A&PID_7105\\5&1A2B3C&0&5"},
        {L"\\\\?\\short", L""},
        {L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(InstanceIdFromInterfacePath(c.path), c.id);
    }
    EXPECT_EQ(InstanceIdFromInterfacePath(std::wstring(300, L'#').c_str()), L"");

    // At most 199 characters after "\\?\" are taken; one more and nothing matches.
    const std::wstring head = L"\\\\?\\USB#VID_3B9A&PID_6104#";
    const std::wstring guid = L"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    const std::wstring serial(199 - (head.size() - 4) - guid.size(), L'S');
    EXPECT_EQ(InstanceIdFromInterfacePath((head + serial + guid).c_str()),
              L"USB\\VID_3B9A&PID_6104\\" + serial);
    EXPECT_EQ(InstanceIdFromInterfacePath((head + serial + L"S" + guid).c_str()), L"");
}

TEST(Notifications, NullCallbackKeepsTheStoredOne) {
    static int32_t lastEvent = 0;
    static uintptr_t lastData = 0;
    auto callback = [](uintptr_t data, int32_t event) {
        lastEvent = event;
        lastData = data;
        return true;
    };
    EXPECT_TRUE(SetNotificationCallback(callback));
    EXPECT_FALSE(SetNotificationCallback(nullptr));
    RaiseValueEvent(EVENT_MANAGER_FINISHED, -1);
    EXPECT_EQ(lastEvent, EVENT_MANAGER_FINISHED);
    EXPECT_EQ(static_cast<intptr_t>(lastData), -1);

    RaiseDeviceEvent(EVENT_DEVICE_ARRIVED, kHubPath, 0);
    ASSERT_EQ(lastEvent, EVENT_DEVICE_ARRIVED);
    auto* record = reinterpret_cast<NotificationRecord*>(lastData);
    EXPECT_STREQ(record->DevicePath, kHubPath);
    EXPECT_EQ(record->Length, kDevicePathLength);
    EXPECT_EQ(record->Value, 0);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, record));
}
