// The first-family hub behind the library's exports: the queue holds a
// CMiravelDevice for the simulated hub, the exports reach it by index pair
// or by path. Also the reboot into DFU mode on the simulated bus.
#include "DeviceQueue.h"
#include "HardwareApi.h"
#include "MiravelTestSupport.h"
#include "NotificationWindow.h"
#include "ProgrammerManager.h"
#include "TreeState.h"

using namespace miravel_test;

namespace {

const std::string kUuidField = std::string(R"("uuid": ")") + kUuidHex + "\"";

struct Indices {
    int32_t controller = -1;
    int32_t node = -1;
};

// Loads the fixture, queues a fresh first-family device for the hub and
// takes a snapshot in which the hub has an index pair.
Indices QueueHub(const std::string& fixture) {
    Indices at;
    if (!Load(fixture)) return at;
    while (DeviceQueue().RemoveDevice(kHubPath) == RESULT_SUCCESS) {
    }
    auto device = std::make_unique<CMiravelDevice>(kHubPath, wcslen(kHubPath), true);
    device->hubFamily = HUB_FAMILY_MIRAVEL;
    DeviceQueue().Append(std::move(device));
    FinishedUsingDeviceTreeUI();
    if (IDeviceTree* live = LiveTreeIfAny()) live->Refresh();
    if (CreateDeviceTree() == nullptr || CreateDeviceTreeUI() == nullptr) return at;
    // The tests queue the hub by hand: no device change monitor (the first
    // walk starts it) may unqueue it on a removal from an unplugging test.
    StopEnumeration();
    EXPECT_TRUE(GetDeviceIndicesUI(kHubPath, &at.controller, &at.node));
    return at;
}

std::vector<uint8_t> FileBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        uint8_t buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        fclose(file);
    }
    return bytes;
}

}  // namespace

TEST(MiravelExports, GetUuid) {
    const std::vector<uint8_t> uuid = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                       0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    struct Case {
        const char* name;
        std::string chip;
        std::string faults;
        uint32_t bufferSize;
        int32_t result;
    } cases[] = {
        {"upper case", kUuidField, "[]", 16, 16},
        {"lower case", kUuidField + R"(, "vendorSignature": "vndr")", "[]", 16, 16},
        {"no vendor block", R"("bootState": "spi")", "[]", 16, RESULT_NO_VENDOR_BLOCK},
        {"another signature", kUuidField + R"(, "vendorSignature": "VNDX")", "[]", 16,
         RESULT_NO_VENDOR_BLOCK},
        {"buffer too small", kUuidField, "[]", 8, RESULT_INVALID_PARAMETER},
        {"hub does not open", kUuidField, R"([{"op": "vendorOpen"}])", 16, RESULT_OPEN_FAILED},
        {"short read", kUuidField, R"([{"op": "otpRead", "short": 20}])", 16, RESULT_READ_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Indices at = QueueHub(OneHub(c.chip, c.faults));
        std::vector<uint8_t> buffer(32, 0xEE);
        EXPECT_EQ(GetUUID(at.controller, at.node, buffer.data(), c.bufferSize), c.result);
        if (c.result == 16) {
            EXPECT_EQ(Slice(buffer, 0, 16), uuid);
        } else {
            EXPECT_EQ(buffer, std::vector<uint8_t>(32, 0xEE));
        }
    }
}

TEST(MiravelExports, DumpOtp) {
    const std::wstring file = L"otp-dump.bin";
    struct Case {
        const char* name;
        std::string faults;
        const wchar_t* target;
        int32_t result;
    } cases[] = {
        {"dumped", "[]", file.c_str(), RESULT_SUCCESS},
        {"unwritable file", "[]", L"Z:\\no-such-folder-here\\otp.bin", RESULT_RESOURCE_FAILURE},
        {"hub does not open", R"([{"op": "vendorOpen"}])", file.c_str(), RESULT_OPEN_FAILED},
        {"short read", R"([{"op": "otpRead", "short": 1000}])", file.c_str(), RESULT_READ_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(file.c_str());
        QueueHub(
            OneHub(kUuidField + R"(, "otpBlocks": [")" + Hex(Block(0x1000, 1)) + "\"]", c.faults));
        EXPECT_EQ(DumpOTP(kHubPath, static_cast<int32_t>(wcslen(kHubPath)), c.target), c.result);
        if (c.result == RESULT_SUCCESS) {
            const auto otp = ChipArea("otp");
            ASSERT_EQ(otp.size(), 2048u);
            EXPECT_EQ(FileBytes(file), otp);
        } else {
            EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
        }
    }
    std::vector<uint8_t> small(100);
    auto hub = Hub(STORAGE_OTP, false, VALIDATION_NONE);
    EXPECT_EQ(hub->ReadOTP(small.data(), 100), RESULT_INVALID_PARAMETER);
}

TEST(MiravelExports, WriteToRam) {
    const auto block = Block(0x1000, 0x42);
    const uint32_t size = static_cast<uint32_t>(block.size());
    struct Case {
        const char* name;
        std::string faults;
        int32_t result;
        bool applied;
    } cases[] = {
        {"written and applied", "[]", RESULT_SUCCESS, true},
        {"read-back differs", R"([{"op": "readBackCorrupt", "address": 32}])",
         RESULT_VERIFY_MISMATCH, false},
        {"read-back fails", R"([{"op": "ramRead"}])", RESULT_READ_FAILED, false},
        {"clearing fails", R"([{"op": "ramWrite"}])", RESULT_DEVICE_IO_FAILED, false},
        {"writing fails", R"([{"op": "ramWrite", "after": 1}])", RESULT_DEVICE_IO_FAILED, false},
        {"hub does not open", R"([{"op": "vendorOpen"}])", RESULT_OPEN_FAILED, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QueueHub(OneHub(kUuidField, c.faults));
        EXPECT_EQ(WriteToRAM(kHubPath, static_cast<int32_t>(wcslen(kHubPath)), block.data(), size),
                  c.result);
        const auto applied = ChipArea("appliedRam");
        EXPECT_EQ(!applied.empty(), c.applied);
        if (c.applied) {
            EXPECT_EQ(Slice(applied, 30, size), block);
        }
        if (c.result == RESULT_SUCCESS || c.result == RESULT_VERIFY_MISMATCH) {
            EXPECT_EQ(Slice(ChipArea("ram"), 30, size), block);
        }
    }
    EXPECT_EQ(WriteToRAM(kHubPath, static_cast<int32_t>(wcslen(kHubPath)), block.data(), 0),
              RESULT_INVALID_PARAMETER);
}

TEST(MiravelExports, SpiModeSendsAHubRunningSpiFirmwareToDfu) {
    auto image = FirmwareImage(4);
    image.push_back(0xFF);
    const std::string running = kUuidField +
                                R"(, "bootState": "spi", "flash": { "size": 65536, "image": ")" +
                                Hex(image) + "\" }";
    const Indices at = QueueHub(OneHub(running));
    ASSERT_GE(at.node, 0);
    const GUID hubGuid = {
        0xf18a0e88, 0xc30c, 0x11d0, {0x88, 0x15, 0x00, 0xa0, 0xc9, 0x06, 0xbe, 0xd8}};
    simtest::CNotificationWindow window(*UsbSimGetHardwareApi(), hubGuid);

    EXPECT_EQ(SetStorageMode(at.controller, at.node, STORAGE_SPI), 1);
    EXPECT_EQ(GetStorageMode(at.controller, at.node), STORAGE_UNKNOWN);
    ASSERT_EQ(UsbSimWaitIdle(10000), USBSIM_OK);

    // The hub left and came back, and now runs from its ROM in DFU mode.
    const auto broadcasts = window.Take();
    ASSERT_EQ(broadcasts.size(), 2u);
    EXPECT_EQ(broadcasts[0].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(broadcasts[1].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(_wcsicmp(broadcasts[1].path.c_str(), kHubPath), 0);
    ZelvoAccess* access = CreateZelvoAccess();
    ASSERT_EQ(access->Open(kHubPath, 200), 0);
    uint8_t flags = 0xEE;
    EXPECT_EQ(access->ReadControl(0xF9, 1, &flags), 0);
    EXPECT_EQ(flags, 0);
    DestroyZelvoAccess(&access);

    // A hub back in DFU mode is not rebooted again; OTP mode never probes.
    auto again = std::make_unique<CMiravelDevice>(kHubPath, wcslen(kHubPath), true);
    EXPECT_TRUE(again->SetStorageMode(STORAGE_SPI));
    EXPECT_FALSE(again->rebootPending);
    EXPECT_EQ(again->GetStorageMode(), static_cast<uint32_t>(STORAGE_SPI));
    EXPECT_TRUE(again->SetStorageMode(7));
    EXPECT_EQ(again->GetStorageMode(), static_cast<uint32_t>(STORAGE_SPI));
}

TEST(MiravelExports, FailedProbeResetsTheStorageMode) {
    struct Case {
        const char* name;
        std::string faults;
        bool pending;
    } cases[] = {
        {"hub does not open", R"([{"op": "vendorOpen"}])", false},
        {"boot flags unreadable", R"([{"op": "readControl"}])", false},
        {"reboot refused", R"([{"op": "rebootToDfu"}])", false},
    };
    auto image = FirmwareImage(4);
    image.push_back(0xFF);
    const std::string running = kUuidField +
                                R"(, "bootState": "spi", "flash": { "size": 65536, "image": ")" +
                                Hex(image) + "\" }";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(OneHub(running, c.faults)));
        CMiravelDevice hub(kHubPath, wcslen(kHubPath), true);
        hub.storageMode = STORAGE_OTP;
        EXPECT_FALSE(hub.SetStorageMode(STORAGE_SPI_PARTIAL_CONFIG));
        EXPECT_EQ(hub.GetStorageMode(), static_cast<uint32_t>(STORAGE_UNKNOWN));
        EXPECT_EQ(hub.rebootPending, c.pending);
    }
}

TEST(MiravelExports, HubUnpluggedDuringAnOperation) {
    struct Case {
        const char* name;
        uint32_t mode;
        std::string chip;
        const char* during;
    } cases[] = {
        {"OTP programming", STORAGE_OTP, kUuidField, "otpProgram"},
        {"page programming", STORAGE_SPI_PARTIAL_CONFIG,
         kUuidField + R"(, "flash": { "size": 65536 })", "flashProgram"},
        {"sector erase", STORAGE_SPI_PARTIAL_CONFIG, kUuidField + R"(, "flash": { "size": 65536 })",
         "flashErase"},
    };
    const auto block = Block(0x1000, 0x11);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(
            OneHub(c.chip, std::string(R"([{"op": "detach", "during": ")") + c.during + "\"}]")));
        auto hub = Hub(c.mode, true, VALIDATION_VERIFY);
        hub->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size()));
        EXPECT_NE(hub->ProgramDevice(), 0);
        EXPECT_EQ(hub->GetHubStatus(), static_cast<uint32_t>(HUB_STATUS_PROGRAM_VERIFY_FAILED));
        // The hub has left the bus.
        ZelvoAccess* access = CreateZelvoAccess();
        EXPECT_EQ(access->Open(kHubPath, 200), ERROR_FILE_NOT_FOUND);
        DestroyZelvoAccess(&access);
    }
}

TEST(MiravelExports, ProgrammerManagerProgramsACopyOfTheQueuedHub) {
    QueueHub(OneHub(kUuidField));
    const auto block = WithSerial(Block(0x1000, 0x31), L"RUN0001");
    CDeviceQueue& queue = DeviceQueue();
    ASSERT_EQ(
        queue.SetConfigurationBlock(kHubPath, block.data(), static_cast<uint32_t>(block.size())),
        0);
    ASSERT_EQ(queue.SetStorageMode(kHubPath, STORAGE_OTP), 0);
    ASSERT_TRUE(queue.SetValidationMethod(kHubPath, VALIDATION_VERIFY));
    ASSERT_TRUE(queue.SetProgrammingRequired(kHubPath, true));

    ASSERT_EQ(StartProgrammerManager(true), RESULT_SUCCESS);
    const ULONGLONG end = GetTickCount64() + 20000;
    while (IsProgrammerManagerRunning() && GetTickCount64() < end) Sleep(5);
    ASSERT_FALSE(IsProgrammerManagerRunning());

    EXPECT_EQ(queue.GetHubStatus(kHubPath), HUB_STATUS_PROGRAMMED_VERIFIED);
    EXPECT_EQ(Slice(ChipArea("otp"), 30, block.size()), block);
    // The queued hub is ready for the next configuration, its block kept.
    EXPECT_FALSE(queue.GetProgrammingRequired(kHubPath));
    EXPECT_EQ(queue.GetStorageMode(kHubPath), STORAGE_UNKNOWN);
    std::unique_ptr<CDevice> copy(queue.CloneDevice(kHubPath));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->GetConfigBlockSize(), block.size());
}
