// Reading the identifiers before the preparation pass is only right when it reads exactly the
// hubs the pass asks for: NeedsSerialFromUuid must agree with PrepareHub for every kind of hub.
#include <gtest/gtest.h>

#include "HalvexZRVLib.h"
#include "HubPreparer.h"
#include "TcfData.h"

extern const wchar_t kTraceLogFileName[] = L"PrepareRulesTestsLog.txt";

namespace {

class CFakeHub : public IPreparedHub {
public:
    int TcfIndex() const override { return 0; }
    std::wstring Position() const override { return L"1-1-1"; }
    std::wstring Name() const override { return L"Hub"; }
    std::wstring InstanceId() const override { return L"USB\\VID_3B9A&PID_6104\\A1"; }
    bool IsVendorBlockValid() const override { return vendorBlock; }
    int SetSPIFwImage() const override { return 0; }
    std::wstring GetSerialFromUUID() const override {
        ++uuidReads;
        return L"0b0c0d0e0f";
    }
    int SetConfigBlock(CreateParserFn, const std::wstring&) const override { return 0; }
    void SetNothingRequired() const override {}

    bool vendorBlock = true;
    mutable int uuidReads = 0;
};

class CQuietReport : public IPrepareReport {
public:
    void Status(const std::wstring&) override {}
    void Trace(const std::wstring&) override {}
    void Alert(const std::wstring&) override {}
};

TEST(PrepareRules, TheIdentifierIsNeededExactlyWhenPreparationAsksForIt) {
    int needed = 0;
    for (int mode = STORAGE_SPI_PARTIAL_CONFIG; mode <= STORAGE_OTP; ++mode) {
        for (int part = 0; part <= 1; ++part) {
            for (int serialType = 0; serialType <= 3; ++serialType) {
                for (int flags = 0; flags < 8; ++flags) {
                    const bool vendorBlock = (flags & 1) != 0;
                    const bool programRequired = (flags & 2) != 0;
                    const bool disableUuid = (flags & 4) != 0;
                    CTCFData tcf;
                    const int index = tcf.SetTcfItem(L"1-1-1", L"", L"Hub");
                    tcf.SetPartType(index, part);
                    tcf.SetMemoryType(index, mode);
                    tcf.SetSerialType(index, serialType);
                    tcf.SetProgramRequiredOption(index, programRequired);
                    tcf.SetSerialParams(index, L"AB", L"0001", L"00FF", 1, L"0005", true);
                    CFakeHub hub;
                    hub.vendorBlock = vendorBlock;
                    PrepareSettings settings;
                    settings.disableUuid = disableUuid;
                    CQuietReport report;
                    std::wstring serial;
                    const bool needs = NeedsSerialFromUuid(hub, mode, tcf, settings);
                    PrepareHub(hub, mode, tcf, nullptr, settings, report, serial);
                    SCOPED_TRACE(testing::Message()
                                 << "mode " << mode << ", part " << part << ", serial type "
                                 << serialType << ", vendor block " << vendorBlock << ", program "
                                 << programRequired << ", disable UUID " << disableUuid);
                    EXPECT_EQ(needs, hub.uuidReads == 1);
                    needed += needs ? 1 : 0;
                }
            }
        }
    }
    // Block modes 0 and 3, serial type 0, programming on: both families, less the first-family
    // hub without vendor block and without "Disable UUID".
    EXPECT_EQ(needed, 2 * (2 * 2 - 1 + 2 * 2));
}

}  // namespace
