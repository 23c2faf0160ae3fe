// Device records against the hub library of a simulated line, without windows: names, node
// facts and the configuration block hand-over.
#include <gtest/gtest.h>

#include <memory>

#include "DeviceData.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"

namespace guitest {
namespace {

class DeviceDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(UseLine(L"tool-line.json"));
        ASSERT_TRUE(CDeviceData::SetLibraryHandle());
        TopologyConfig().ClearTopology();
    }
    void TearDown() override { CDeviceData::FreeLibraryHandle(); }

    // Node index of the first hub whose instance ID holds `text`, on controller 0.
    int HubNode(const wchar_t* text) {
        auto create =
            HubExport<PfnCreateDeviceTreeUI>(CDeviceData::LibraryHandle(), "CreateDeviceTreeUI");
        IDeviceTree* tree = create ? create() : nullptr;
        if (!tree) return -1;
        for (int d = 0; d < tree->GetNodeCount(0); ++d) {
            std::unique_ptr<IUsbNode> node(tree->GetNode(0, d));
            if (node && node->GetNodeType() == NODE_TYPE_HUB &&
                wcsstr(node->GetDeviceInstanceID(), text)) {
                return d;
            }
        }
        return -1;
    }
};

TEST_F(DeviceDataTest, RecordsNameTheirNodes) {
    struct Case {
        const wchar_t* id;
        const char* name;
        int family;
    } cases[] = {
        {L"PID_6104", "KX610x", 0}, {L"PID_7100", "VARN-7100", 2}, {L"PID_5678", "1234-5678", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.id));
        const int node = HubNode(c.id);
        ASSERT_GT(node, 0);
        CDeviceData record(0, node, L"1-1-2");
        EXPECT_EQ(Narrow(record.GetPortName()), c.name);
        EXPECT_EQ(CDeviceData::LastPartFamily(), c.family);
        EXPECT_EQ(record.GetDeviceType(), NODE_TYPE_HUB);
        EXPECT_EQ(record.GetTopoLogy(), kTopologyUnconfigured);
        EXPECT_NE(Narrow(record.GetDevicePath()).find("\\\\?\\USB#VID_"), std::string::npos);
    }
    CDeviceData controller(0, 0, L"1-1");
    EXPECT_EQ(controller.GetDeviceType(), NODE_TYPE_HOST_CONTROLLER);
    EXPECT_EQ(Narrow(controller.GetPortName()), "Standard Enhanced PCI to USB Host Controller");
    EXPECT_EQ(controller.GetDevicePath(), L"");
}

TEST_F(DeviceDataTest, AConfigurationBlockThatCannotBeMadeIsAFailure) {
    const int node = HubNode(L"PID_6104");
    ASSERT_GT(node, 0);
    CDeviceData record(0, node, L"1-1-2");
    record.ValidateAndModifyDeviceData(NODE_TYPE_HUB);
    ASSERT_GE(record.TcfIndex(), 0);

    HMODULE parserLibrary = LoadLibraryW(L"Pellvane.dll");
    ASSERT_NE(parserLibrary, nullptr);
    auto createParser = reinterpret_cast<CreateParserFn>(
        reinterpret_cast<void*>(GetProcAddress(parserLibrary, "CreateParser")));
    ASSERT_NE(createParser, nullptr);
    const std::wstring block = FreshFile(L"block.cfg");
    WriteBytes(block, "not a configuration block");

    struct Case {
        const char* name;
        std::wstring file;
        std::wstring serial;
    } cases[] = {
        {"file missing", L"Z:\\no\\such\\file.cfg", L""},
        {"file missing, with serial", L"  Z:\\no\\such\\file.cfg ", L"0a0b0c0d0e"},
        {"serial too long for the parser", L"", std::wstring(200, L'7')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        record.SetConfigFile(c.file);
        EXPECT_NE(record.SetConfigBlock(createParser, c.serial), 0);
    }
    FreeLibrary(parserLibrary);
}

TEST_F(DeviceDataTest, WithoutLibraryRecordsAnswerTheirFixedValues) {
    CDeviceData::FreeLibraryHandle();
    CDeviceData record(0, 1, L"1-1-1");
    EXPECT_EQ(record.GetStorageMode(), STORAGE_UNKNOWN);
    EXPECT_EQ(record.SetStorageMode(STORAGE_OTP), 2);
    EXPECT_EQ(record.SetConfigBlock(nullptr, L"0a"), 0);
    EXPECT_EQ(record.SetSPIFwImage(), RESULT_DEVICE_NOT_FOUND);
    EXPECT_EQ(record.GetSerialFromUUID(), L"");
    EXPECT_FALSE(record.IsSafeToRemove());
    EXPECT_FALSE(record.IsSPIPseudoOTPEnabled());
    EXPECT_FALSE(record.IsVendorBlockValid());
    EXPECT_EQ(record.GetDeviceType(), NODE_TYPE_UNKNOWN);
    EXPECT_EQ(record.GetPortName(), L"");
}

}  // namespace
}  // namespace guitest
