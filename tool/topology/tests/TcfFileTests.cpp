// The topology configuration file: what a save writes, what a load gives back, the version and
// "Count" rules, the serial counter write-back, and that a failed save keeps the previous file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TcfData.h"
#include "TestFiles.h"

namespace {

class TcfFile : public ::testing::Test {
protected:
    // A path in the working directory that is removed after the test.
    std::wstring File(const std::wstring& name) {
        files_.push_back(TestPath(name));
        RemoveFile(files_.back());
        return files_.back();
    }
    void TearDown() override {
        for (const std::wstring& file : files_) RemoveFile(file);
    }

private:
    std::vector<std::wstring> files_;
};

int AddHub(CTCFData& tcf, const wchar_t* key, int serialType) {
    const int index = tcf.SetTcfItem(key, L"", L"");
    tcf.SetAsHubItem(index, true);
    tcf.SetSaveStatus(index);
    tcf.SetSerialType(index, serialType);
    return index;
}

// Every kind of node: non-hubs, hubs of each serial type, one not present at save time.
void FillSample(CTCFData& tcf) {
    int i = tcf.SetTcfItem(L"1-1", L"", L"Controller");
    tcf.SetSaveStatus(i);
    tcf.SetPartType(i, 0);  // settings of a non-hub are not kept
    tcf.SetVerifyOption(i, true);
    tcf.SetSerialType(i, 1);
    tcf.SetSerialParams(i, L"NO", L"1", L"9", 1, L"1", false);

    i = AddHub(tcf, L"1-1-1", 1);
    tcf.SetPartType(i, 0);
    tcf.SetMemoryType(i, 3);
    tcf.SetConfigFile(i, L"C:\\line\\a.cfg");
    tcf.SetVerifyOption(i, true);
    tcf.SetProgramRequiredOption(i, true);
    tcf.SetSerialParams(i, L"AB", L"0F0", L"0FF", 2, L"0F4", true);
    tcf.SetConfigComplete(i, false);

    i = AddHub(tcf, L"1-1-2", 2);
    tcf.SetUILabel(i, L"Right board");
    tcf.SetPartType(i, 1);
    tcf.SetMemoryType(i, 0);
    tcf.SetConfigFile(i, L"C:\\line\\b.bin");
    tcf.SetProgramRequiredOption(i, true);
    tcf.SetSerialParams(i, L"", L"001", L"999", 1, L"010", false);

    i = AddHub(tcf, L"1-1-3", 0);
    tcf.SetMemoryType(i, 2);
    tcf.SetSerialParams(i, L"ZZ", L"1", L"9", 5, L"3", false);  // not kept for type 0

    i = AddHub(tcf, L"1-1-4", 3);
    tcf.SetPartType(i, 0);

    tcf.SetTcfItem(L"1-2", L"", L"absent at save");  // no save status: not written

    i = tcf.SetTcfItem(L"1-1-3-1", L"", L"");
    tcf.SetSaveStatus(i);
}

std::vector<TcfItem> ExpectedSample() {
    std::vector<TcfItem> items(6);
    items[0].key = L"1-1";
    items[0].label = L"Controller";

    items[1].key = L"1-1-1";
    items[1].isHub = true;
    items[1].partType = 0;
    items[1].memoryType = 3;
    items[1].configFile = L"C:\\line\\a.cfg";
    items[1].verify = true;
    items[1].doProgram = true;
    items[1].serialType = 1;
    items[1].serialAlpha = L"AB";
    items[1].serialStart = L"0F0";
    items[1].serialMax = L"0FF";
    items[1].serialIncrement = 2;
    items[1].serialCurrent = L"0F4";
    items[1].serialHexFormat = true;
    items[1].serialConfirmed = true;

    items[2].key = L"1-1-2";
    items[2].label = L"Right board";
    items[2].isHub = true;
    items[2].partType = 1;
    items[2].memoryType = 0;
    items[2].configFile = L"C:\\line\\b.bin";
    items[2].doProgram = true;
    items[2].serialType = 2;
    items[2].serialStart = L"001";
    items[2].serialMax = L"999";
    items[2].serialCurrent = L"010";
    items[2].serialConfirmed = true;

    items[3].key = L"1-1-3";
    items[3].isHub = true;
    items[3].memoryType = 2;
    items[3].serialType = 0;

    items[4].key = L"1-1-4";
    items[4].isHub = true;
    items[4].partType = 0;

    items[5].key = L"1-1-3-1";
    return items;
}

void ExpectSameItem(const TcfItem& expected, const TcfItem& actual) {
    EXPECT_EQ(Narrow(expected.key), Narrow(actual.key));
    EXPECT_EQ(Narrow(expected.label), Narrow(actual.label));
    EXPECT_EQ(expected.isHub, actual.isHub);
    EXPECT_FALSE(actual.saveStatus);
    EXPECT_EQ(expected.partType, actual.partType);
    EXPECT_EQ(expected.memoryType, actual.memoryType);
    EXPECT_EQ(Narrow(expected.configFile), Narrow(actual.configFile));
    EXPECT_EQ(expected.verify, actual.verify);
    EXPECT_EQ(expected.doProgram, actual.doProgram);
    EXPECT_EQ(expected.serialType, actual.serialType);
    EXPECT_EQ(Narrow(expected.serialAlpha), Narrow(actual.serialAlpha));
    EXPECT_EQ(Narrow(expected.serialStart), Narrow(actual.serialStart));
    EXPECT_EQ(Narrow(expected.serialMax), Narrow(actual.serialMax));
    EXPECT_EQ(expected.serialIncrement, actual.serialIncrement);
    EXPECT_EQ(Narrow(expected.serialCurrent), Narrow(actual.serialCurrent));
    EXPECT_EQ(expected.serialHexFormat, actual.serialHexFormat);
    EXPECT_EQ(expected.serialConfirmed, actual.serialConfirmed);
    EXPECT_TRUE(actual.configComplete);
}

void ExpectItems(const std::vector<TcfItem>& expected, const CTCFData& tcf) {
    ASSERT_EQ(static_cast<int>(expected.size()), tcf.Count());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        ExpectSameItem(expected[i], *tcf.Item(static_cast<int>(i)));
    }
}

TEST_F(TcfFile, SavedTopologyLoadsBackWithTheSameNodes) {
    const std::wstring path = File(L"roundtrip.tcf");
    CTCFData saved;
    FillSample(saved);
    ASSERT_TRUE(saved.SaveTopology(path, kTcfVersion));
    EXPECT_EQ("2.1", Narrow(CTCFData::GetTcfVersion(path)));

    CTCFData loaded;
    ASSERT_TRUE(loaded.LoadTopology(path));
    ExpectItems(ExpectedSample(), loaded);
}

TEST_F(TcfFile, SaveWritesHeaderFirstAndOnlyTheKeysOfEachKindOfNode) {
    const std::wstring path = File(L"layout.tcf");
    WriteRaw(path, "[Header]\r\nCount=1\r\nVersion=2.1\r\n[9-9]\r\nUINAME=stale\r\n");
    CTCFData tcf;
    FillSample(tcf);
    ASSERT_TRUE(tcf.SaveTopology(path, L"2.1"));

    const std::vector<std::string> node = {"UINAME", "ISHUB"};
    std::vector<std::string> hub = node;
    hub.insert(hub.end(), {"PTYPE", "MEMTYPE", "VERIFY", "DOPROGRAM", "BCFGFILE", "SERTYPE"});
    std::vector<std::string> counter = hub;
    counter.insert(counter.end(),
                   {"SERALPHA", "SERSTART", "SERMAX", "SERINC", "SERCURRENT", "SERHEXFMT"});
    const SectionKeys expected = {
        {"Header", {"Count", "Version"}},
        {"1-1", node},
        {"1-1-1", counter},
        {"1-1-2", counter},
        {"1-1-3", hub},
        {"1-1-4", hub},
        {"1-1-3-1", node},
    };
    EXPECT_EQ(expected, ReadSectionKeys(path));
    // "Count" counts every entry, also the one that was not written.
    const std::string text = ReadRaw(path);
    EXPECT_NE(std::string::npos, text.find("Count=7\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("SERINC=2\r\nSERCURRENT=0F4\r\nSERHEXFMT=1")) << text;
}

TEST_F(TcfFile, VersionMustBeExactly21) {
    struct Case {
        const char* header;
        const char* version;
        bool compatible;
    } cases[] = {
        {"Version=2.1\r\n", "2.1", true},      {"Version=2.0\r\n", "2.0", false},
        {"Version=2.10\r\n", "2.10", false},   {"Version=\"2.1 \"\r\n", "2.1 ", false},
        {"Version=2.1.0\r\n", "2.1.0", false}, {"", "0.0.0", false},
    };
    const std::wstring path = File(L"version.tcf");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        WriteRaw(path, std::string("[Header]\r\nCount=1\r\n") + c.header + "[1-1]\r\nISHUB=0\r\n");
        const std::wstring version = CTCFData::GetTcfVersion(path);
        EXPECT_EQ(c.version, Narrow(version));
        EXPECT_EQ(c.compatible, IsCompatibleTcfVersion(version));
    }
    EXPECT_EQ("0.0.0", Narrow(CTCFData::GetTcfVersion(File(L"missing.tcf"))));
    EXPECT_EQ("0.0.0", Narrow(CTCFData::GetTcfVersion(L"")));
}

std::string Sections(int count, const std::string& prefix = "1-") {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "[" + prefix + std::to_string(i) + "]\r\nUINAME=n" + std::to_string(i) + "\r\n";
    }
    return text;
}

TEST_F(TcfFile, CountGuardsAndSizesButSectionsDecideTheNodes) {
    const std::string longName = std::string(256, 'P') + "-";
    struct Case {
        const char* name;
        std::string text;
        bool loads;
        int nodes;
    } cases[] = {
        {"count 0 with sections", "[Header]\r\nCount=0\r\nVersion=2.1\r\n" + Sections(3), false, 0},
        {"no count", "[Header]\r\nVersion=2.1\r\n" + Sections(3), false, 0},
        {"negative count", "[Header]\r\nCount=-3\r\n" + Sections(3), false, 0},
        {"count not a number", "[Header]\r\nCount=many\r\n" + Sections(3), false, 0},
        {"count 1 with ten", "[Header]\r\nCount=1\r\nVersion=2.1\r\n" + Sections(10), true, 10},
        {"count 1 with ten long names", "[Header]\r\nCount=1\r\n" + Sections(10, longName), true,
         10},
        {"huge count", "[Header]\r\nCount=2000000000\r\n" + Sections(2), true, 2},
        {"header after a node", Sections(1) + "[Header]\r\nCount=2\r\n[1-2]\r\n", true, 2},
        {"header only", "[Header]\r\nCount=4\r\n", true, 0},
    };
    const std::wstring path = File(L"count.tcf");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteRaw(path, c.text);
        CTCFData tcf;
        tcf.SetTcfItem(L"kept", L"", L"");  // loading appends
        EXPECT_EQ(c.loads, tcf.LoadTopology(path));
        ASSERT_EQ(1 + c.nodes, tcf.Count());
        EXPECT_EQ(L"kept", tcf.Item(0)->key);
        for (int i = 1; i <= c.nodes; ++i) {
            const std::string key = Narrow(tcf.Item(i)->key);
            EXPECT_EQ(std::to_string(i), key.substr(key.rfind('-') + 1));
            EXPECT_FALSE(tcf.Item(i)->isHub);
        }
    }
    CTCFData tcf;
    EXPECT_FALSE(tcf.LoadTopology(L""));
    EXPECT_FALSE(tcf.LoadTopology(File(L"missing.tcf")));
    EXPECT_EQ(0, tcf.Count());
}

TEST_F(TcfFile, NamesAndValuesOf259CharactersSurvive) {
    const std::wstring path = File(L"long.tcf");
    const std::wstring key = L"1-" + std::wstring(257, L'2');
    const std::wstring label(259, L'L');
    const std::wstring config = L"C:\\" + std::wstring(252, L'c') + L".cfg";
    const std::wstring serial(259, L'7');
    CTCFData saved;
    const int i = AddHub(saved, key.c_str(), 2);
    saved.SetUILabel(i, label);
    saved.SetConfigFile(i, config);
    saved.SetSerialParams(i, serial, serial, serial, 1, serial, false);
    ASSERT_TRUE(saved.SaveTopology(path, kTcfVersion));

    CTCFData loaded;
    ASSERT_TRUE(loaded.LoadTopology(path));
    ASSERT_EQ(1, loaded.Count());
    const TcfItem& item = *loaded.Item(0);
    EXPECT_EQ(key, item.key);
    EXPECT_EQ(label, item.label);
    EXPECT_EQ(config, item.configFile);
    EXPECT_EQ(serial, item.serialAlpha);
    EXPECT_EQ(serial, item.serialCurrent);
}

TEST_F(TcfFile, TextOutsideTheCodePageSurvivesSaveAndCounterWriteBack) {
    // Devanagari, Hebrew and Thai together fit no ANSI code page.
    const std::wstring label = L"\u0928\u092E\u0938\u094D\u0924\u0947 \u05E9\u05DC\u05D5\u05DD";
    const std::wstring config = L"C:\\\u0E17\u0E14\u0E2A\u0E2D\u0E1A\\line.cfg";
    const std::wstring path = File(L"unicode.tcf");
    CTCFData saved;
    const int i = AddHub(saved, L"1-1-1", 2);
    saved.SetUILabel(i, label);
    saved.SetConfigFile(i, config);
    saved.SetSerialParams(i, L"\u05D0", L"1", L"9", 1, L"1", false);
    ASSERT_TRUE(saved.SaveTopology(path, kTcfVersion));
    EXPECT_EQ(L"2.1", CTCFData::GetTcfVersion(path));

    saved.SetSerialParamCurrentVal(i, L"2");
    ASSERT_TRUE(saved.SaveSerialCurrent(path));

    CTCFData loaded;
    ASSERT_TRUE(loaded.LoadTopology(path));
    ASSERT_EQ(1, loaded.Count());
    EXPECT_TRUE(loaded.GetUILabel(0) == label);
    EXPECT_TRUE(loaded.GetConfigFile(0) == config);
    EXPECT_TRUE(loaded.GetSerialParamAlphaVal(0) == L"\u05D0");
    EXPECT_EQ(L"2", loaded.GetSerialParamCurrentVal(0));
}

TEST_F(TcfFile, SaveSerialCurrentRewritesOnlyTheCounters) {
    const std::wstring path = File(L"counters.tcf");
    CTCFData tcf;
    FillSample(tcf);
    ASSERT_TRUE(tcf.SaveTopology(path, kTcfVersion));
    const std::string before = ReadRaw(path);

    tcf.SetSerialParamCurrentVal(1, L"0F6");
    tcf.SetSerialParamCurrentVal(2, L"DONE");
    tcf.SetSerialParamCurrentVal(3, L"4");  // serial type 0: no counter
    tcf.SetSerialParamCurrentVal(0, L"2");  // not a hub
    tcf.SetUILabel(1, L"renamed");          // other settings stay as saved
    tcf.SetMemoryType(2, 3);
    ASSERT_TRUE(tcf.SaveSerialCurrent(path));

    std::string expected = before;
    expected.replace(expected.find("SERCURRENT=0F4"), 14, "SERCURRENT=0F6");
    expected.replace(expected.find("SERCURRENT=010"), 14, "SERCURRENT=DONE");
    EXPECT_EQ(expected, ReadRaw(path));
    EXPECT_EQ(0, CountFiles(TestPath(L"tcf*.tmp")));
}

TEST_F(TcfFile, SerialCountersNeedAnExistingFile) {
    const std::wstring path = File(L"gone.tcf");
    CTCFData tcf;
    FillSample(tcf);
    EXPECT_FALSE(tcf.SaveSerialCurrent(path));
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(tcf.SaveSerialCurrent(L""));
}

TEST_F(TcfFile, FailedSaveLeavesThePreviousFileIntact) {
    const std::wstring path = File(L"kept.tcf");
    CTCFData tcf;
    FillSample(tcf);
    ASSERT_TRUE(tcf.SaveTopology(path, kTcfVersion));
    const std::string before = ReadRaw(path);

    tcf.SetUILabel(1, L"changed");
    tcf.SetSerialParamCurrentVal(1, L"0F8");
    {
        CFileLock lock(path);
        ASSERT_TRUE(lock.Locked());
        EXPECT_FALSE(tcf.SaveTopology(path, kTcfVersion));
    }
    EXPECT_EQ(before, ReadRaw(path));
    ASSERT_TRUE(MakeReadOnly(path));
    EXPECT_FALSE(tcf.SaveTopology(path, kTcfVersion));
    EXPECT_FALSE(tcf.SaveSerialCurrent(path));
    EXPECT_EQ(before, ReadRaw(path));
    EXPECT_EQ(0, CountFiles(TestPath(L"tcf*.tmp")));

    EXPECT_FALSE(tcf.SaveTopology(TestPath(L"no such folder\\new.tcf"), kTcfVersion));
    EXPECT_FALSE(tcf.SaveTopology(L"", kTcfVersion));
}

TEST_F(TcfFile, RelativePathsStartAtTheWorkingDirectory) {
    const std::wstring full = File(L"relative.tcf");
    CTCFData saved;
    FillSample(saved);
    ASSERT_TRUE(saved.SaveTopology(L"relative.tcf", kTcfVersion));
    EXPECT_TRUE(FileExists(full));
    EXPECT_EQ(L"2.1", CTCFData::GetTcfVersion(L"relative.tcf"));
    CTCFData loaded;
    ASSERT_TRUE(loaded.LoadTopology(L"relative.tcf"));
    ExpectItems(ExpectedSample(), loaded);
    ASSERT_TRUE(saved.SaveSerialCurrent(L"relative.tcf"));
}

}  // namespace
