// Serial generator on a node's entry: the run of serials a line issues, hex mode from the serial
// type, and the serial text built from the stored parameters.
#include <gtest/gtest.h>

#include "SerialGenerator.h"
#include "TestFiles.h"

namespace {

class SerialNode : public ::testing::Test {
protected:
    int AddNode(int serialType) {
        const int index = tcf.SetTcfItem(L"1-1-" + std::to_wstring(tcf.Count() + 1), L"", L"");
        tcf.SetAsHubItem(index, true);
        tcf.SetSerialType(index, serialType);
        return index;
    }
    CTCFData tcf;
};

TEST_F(SerialNode, IssuesStartToMaximumThenReportsMaxReached) {
    const int node = AddNode(kSerialTypeDec);
    SetDeviceSerialParams(tcf, node, L"AB", L"001", L"003", 1, L"001");
    for (const wchar_t* expected : {L"AB001", L"AB002", L"AB003"}) {
        SCOPED_TRACE(Narrow(expected));
        ASSERT_EQ(0, ValidateSerialData(tcf, node));
        std::wstring serial;
        ASSERT_EQ(0, GetSerialString(tcf, node, serial));
        EXPECT_EQ(Narrow(expected), Narrow(serial));
        EXPECT_EQ(0, IncrementSerial(tcf, node));
    }
    EXPECT_EQ(L"DONE", tcf.GetSerialParamCurrentVal(node));
    EXPECT_EQ(1, ValidateSerialData(tcf, node));
    std::wstring serial = L"sentinel";
    EXPECT_EQ(1, GetSerialString(tcf, node, serial));
    EXPECT_TRUE(serial.empty());
    EXPECT_EQ(1, IncrementSerial(tcf, node));
    EXPECT_STREQ(L"Max serial number reached", SerialErrorText(ValidateSerialData(tcf, node)));
}

TEST_F(SerialNode, HexCountingFollowsTheSerialType) {
    struct Case {
        int serialType;
        const wchar_t* maximum;
        const wchar_t* current;
        int validation;
        int increment;
        const wchar_t* next;
    } cases[] = {
        {kSerialTypeHex, L"FFF", L"0F9", 0, 0, L"0FA"},
        {kSerialTypeHex, L"FFF", L"0FF", 0, 0, L"100"},
        {kSerialTypeDec, L"999", L"099", 0, 0, L"100"},
        {kSerialTypeDec, L"999", L"0F9", kSerialInvalidCurrent, kSerialInvalidCurrent, L"0F9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.current));
        const int node = AddNode(c.serialType);
        SetDeviceSerialParams(tcf, node, L"", L"000", c.maximum, 1, c.current);
        EXPECT_EQ(c.serialType == kSerialTypeHex, tcf.GetSerialParamHexFormat(node));
        // A stale stored flag does not change the counting.
        tcf.SetSerialParams(node, L"", L"000", c.maximum, 1, c.current,
                            c.serialType != kSerialTypeHex);
        EXPECT_EQ(c.validation, ValidateSerialData(tcf, node));
        EXPECT_EQ(c.increment, IncrementSerial(tcf, node));
        EXPECT_EQ(Narrow(c.next), Narrow(tcf.GetSerialParamCurrentVal(node)));
    }
}

TEST_F(SerialNode, SerialIsTheTrimmedPrefixAndCurrentValue) {
    const int node = AddNode(kSerialTypeDec);
    SetDeviceSerialParams(tcf, node, L" AB C ", L"1", L"99", 1, L" 07 ");
    std::wstring serial;
    ASSERT_EQ(0, GetSerialString(tcf, node, serial));
    EXPECT_EQ("AB C07", Narrow(serial));

    // A valid counter of the longest widths gives a serial the block builder accepts.
    const std::wstring wide(27, L'1');
    SetDeviceSerialParams(tcf, node, L"  WXYZ  ", wide, wide, 1, wide);
    ASSERT_EQ(0, ValidateSerialData(tcf, node));
    ASSERT_EQ(0, GetSerialString(tcf, node, serial));
    EXPECT_EQ(31u, serial.size());
}

TEST_F(SerialNode, StoredIncrementIsUnsigned) {
    const int node = AddNode(kSerialTypeHex);
    // A file may hold the increment 0xFFFFFFFF as -1; it is the largest increment, not invalid.
    SetDeviceSerialParams(tcf, node, L"", L"00000000", L"FFFFFFFF", 0xFFFFFFFFu, L"00000000");
    EXPECT_EQ(-1, tcf.GetSerialParamIncrementVal(node));
    EXPECT_EQ(0, ValidateSerialData(tcf, node));
    EXPECT_EQ(0, IncrementSerial(tcf, node));
    EXPECT_EQ("FFFFFFFF", Narrow(tcf.GetSerialParamCurrentVal(node)));
    EXPECT_EQ(0, IncrementSerial(tcf, node));
    EXPECT_EQ("DONE", Narrow(tcf.GetSerialParamCurrentVal(node)));
}

}  // namespace
