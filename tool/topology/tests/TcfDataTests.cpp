// CTCFData in memory: new entries, lookup by key, serial fields and out-of-range indices.
#include <gtest/gtest.h>

#include "TcfData.h"
#include "TestFiles.h"

namespace {

TEST(TcfData, NewEntriesGetTheDefaultsAndAreAppended) {
    CTCFData tcf;
    EXPECT_EQ(0, tcf.SetTcfItem(L"1-1", L"ignored", L""));
    EXPECT_EQ(1, tcf.SetTcfItem(L"1-1-2", L"", L"Left fixture"));
    ASSERT_EQ(2, tcf.Count());

    const TcfItem& item = *tcf.Item(1);
    EXPECT_EQ(L"1-1-2", item.key);
    EXPECT_EQ(L"Left fixture", item.label);
    EXPECT_FALSE(item.isHub);
    EXPECT_FALSE(item.saveStatus);
    EXPECT_EQ(2, item.partType);
    EXPECT_EQ(4, item.memoryType);
    EXPECT_TRUE(item.configFile.empty());
    EXPECT_FALSE(item.verify);
    EXPECT_FALSE(item.doProgram);
    EXPECT_EQ(3, item.serialType);
    EXPECT_TRUE(item.serialAlpha.empty() && item.serialStart.empty() && item.serialMax.empty() &&
                item.serialCurrent.empty());
    EXPECT_EQ(1, item.serialIncrement);
    EXPECT_FALSE(item.serialHexFormat);
    EXPECT_FALSE(item.serialConfirmed);
    EXPECT_TRUE(item.configComplete);
}

TEST(TcfData, LookupIsExactCaseSensitiveAndFindsTheFirst) {
    CTCFData tcf;
    tcf.SetTcfItem(L"1-1-2", L"", L"first");
    tcf.SetTcfItem(L"Rig-A", L"", L"");
    tcf.SetTcfItem(L"1-1-2", L"", L"second");
    struct Case {
        const wchar_t* key;
        int index;
    } cases[] = {{L"1-1-2", 0}, {L"Rig-A", 1},   {L"rig-a", -1},
                 {L"1-1", -1},  {L"1-1-2 ", -1}, {L"", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.key));
        EXPECT_EQ(c.index, tcf.GetTcfItem(c.key));
    }
    tcf.ClearTopology();
    EXPECT_EQ(0, tcf.Count());
    EXPECT_EQ(-1, tcf.GetTcfItem(L"1-1-2"));
}

TEST(TcfData, SerialParamsGoTogetherAndLeaveTheConfirmedFlag) {
    CTCFData tcf;
    const int index = tcf.SetTcfItem(L"1-2", L"", L"");
    tcf.SetSerialConfirmed(index, true);
    tcf.SetSerialParams(index, L"AB", L"001", L"099", 2, L"005", true);
    std::wstring prefix, start, maximum, current;
    EXPECT_EQ(2, tcf.GetSerialParams(index, prefix, start, maximum, current));
    EXPECT_EQ(L"AB", prefix);
    EXPECT_EQ(L"001", start);
    EXPECT_EQ(L"099", maximum);
    EXPECT_EQ(L"005", current);
    EXPECT_TRUE(tcf.GetSerialParamHexFormat(index));
    EXPECT_TRUE(tcf.IsSerialConfirmed(index));
    tcf.SetSerialParamCurrentVal(index, L"007");
    EXPECT_EQ(L"007", tcf.GetSerialParamCurrentVal(index));
    EXPECT_EQ(L"001", tcf.GetSerialParamStartVal(index));
}

TEST(TcfData, IndexWithoutEntryReadsDefaultsAndChangesNothing) {
    CTCFData tcf;
    const int index = tcf.SetTcfItem(L"1-1", L"", L"kept");
    tcf.SetPartType(index, 0);
    for (int bad : {-1, 1, 1000}) {
        SCOPED_TRACE(bad);
        tcf.SetPartType(bad, 1);
        tcf.SetUILabel(bad, L"lost");
        tcf.SetSerialParams(bad, L"X", L"1", L"2", 3, L"1", true);
        EXPECT_EQ(2, tcf.GetPartType(bad));
        EXPECT_EQ(L"", tcf.GetUILabel(bad));
        EXPECT_EQ(nullptr, tcf.Item(bad));
        std::wstring prefix = L"sentinel", start, maximum, current;
        EXPECT_EQ(1, tcf.GetSerialParams(bad, prefix, start, maximum, current));
        EXPECT_EQ(L"", prefix);
    }
    ASSERT_EQ(1, tcf.Count());
    EXPECT_EQ(0, tcf.GetPartType(index));
    EXPECT_EQ(L"kept", tcf.GetUILabel(index));
    EXPECT_EQ(L"", tcf.GetSerialParamAlphaVal(index));
}

}  // namespace
