#include "HubPreparer.h"

#include <cwchar>

#include "HalvexZRVLib.h"
#include "SerialCounter.h"
#include "SerialGenerator.h"
#include "TcfData.h"

namespace {

constexpr int kFirstFamilyPart = 0;
constexpr int kSerialFromUuid = 0;
constexpr int kNoSerial = 3;

template <typename... Args>
std::wstring Format(const wchar_t* format, Args... args) {
    wchar_t text[1024];
    const int length = swprintf(text, 1024, format, args...);
    return length < 0 ? std::wstring(format) : std::wstring(text, static_cast<size_t>(length));
}

// The serial the hub gets; false when the entry's counter cannot make one.
bool MakeSerial(const IPreparedHub& hub, const CTCFData& tcf, const PrepareSettings& settings,
                IPrepareReport& report, std::wstring& serial) {
    const int index = hub.TcfIndex();
    serial.clear();
    const int type = tcf.GetSerialType(index);
    if (!tcf.GetProgramRequiredOption(index) || type == kNoSerial) return true;
    int error = 0;
    if (type == kSerialFromUuid) {
        serial = hub.GetSerialFromUUID();
    } else {
        error = ValidateSerialData(tcf, index);
        if (error == 0) error = GetSerialString(tcf, index, serial);
    }
    if (error != 0) {
        const std::wstring text = Format(L"%ls : Error Serial Generation : %ls",
                                         hub.Position().c_str(), SerialErrorText(error));
        report.Trace(text);
        hub.SetNothingRequired();
        if (settings.scope == PrepareScope::kSingleHub) {
            report.Status(text);
        } else {
            report.Alert(text);
        }
        return false;
    }
    report.Status(
        Format(L"%ls : Current Serial Number : %ls", hub.Position().c_str(), serial.c_str()));
    return true;
}

// First-family hubs need their vendor block unless the operator chose to ignore it.
bool RefusedForVendorBlock(const IPreparedHub& hub, const CTCFData& tcf,
                           const PrepareSettings& settings) {
    return tcf.GetPartType(hub.TcfIndex()) == kFirstFamilyPart && !settings.disableUuid &&
           !hub.IsVendorBlockValid();
}

}  // namespace

bool IsPreparedStorageMode(int storageMode) {
    return storageMode >= STORAGE_SPI_PARTIAL_CONFIG && storageMode <= STORAGE_OTP;
}

bool NeedsSerialFromUuid(const IPreparedHub& hub, int storageMode, const CTCFData& tcf,
                         const PrepareSettings& settings) {
    const int index = hub.TcfIndex();
    return (storageMode == STORAGE_SPI_PARTIAL_CONFIG || storageMode == STORAGE_OTP) &&
           tcf.GetProgramRequiredOption(index) && tcf.GetSerialType(index) == kSerialFromUuid &&
           !RefusedForVendorBlock(hub, tcf, settings);
}

bool PrepareHub(const IPreparedHub& hub, int storageMode, const CTCFData& tcf,
                CreateParserFn createParser, const PrepareSettings& settings,
                IPrepareReport& report, std::wstring& serial) {
    serial.clear();
    const bool single = settings.scope == PrepareScope::kSingleHub;
    if (RefusedForVendorBlock(hub, tcf, settings)) {
        report.Status(single ? std::wstring(L"Vendor block not detected. Select \"Disable UUID\" "
                                            L"menu option to ignore vendor block and program.")
                             : Format(L"Vendor block not detected for %ls. Select \"Disable "
                                      L"UUID\" menu option to ignore vendor block and program.",
                                      hub.Name().c_str()));
        return false;
    }
    report.Trace(
        Format(single ? L"Setting Config Block for device %ls" : L"%ls : Setting Config Block",
               hub.Position().c_str()));

    if (storageMode == STORAGE_SPI_COPY_FROM_OTP || storageMode == STORAGE_SPI) {
        report.Trace(Format(L"%ls : Setting Firmware Image", hub.InstanceId().c_str()));
        const int code = hub.SetSPIFwImage();
        if (code != 0) {
            const std::wstring text =
                Format(L"%ls : ERROR Setting firmware image", hub.InstanceId().c_str());
            report.Status(text);
            report.Trace(text + Format(L": ERRORCODE - %d", code));
            return false;
        }
        return true;
    }
    if (storageMode != STORAGE_SPI_PARTIAL_CONFIG && storageMode != STORAGE_OTP) return true;

    if (!MakeSerial(hub, tcf, settings, report, serial)) return false;
    report.Trace(Format(L"Serial string is %ls", serial.c_str()));
    const int code = hub.SetConfigBlock(createParser, serial);
    if (code != 0) {
        if (single) {
            report.Status(Format(L"%ls : Error setting configuration block (error code %d)",
                                 hub.Position().c_str(), code));
        } else {
            const std::wstring text =
                Format(L"%ls : Error setting configuration block", hub.Position().c_str());
            report.Status(text);
            report.Trace(text + Format(L": ERRORCODE - %d", code));
        }
        return false;
    }
    return true;
}

bool UsesUpSerial(const CTCFData& tcf, int tcfIndex, int hubStatus) {
    return IsCounterSerialType(tcf.GetSerialType(tcfIndex)) &&
           (hubStatus == HUB_STATUS_PROGRAMMED || hubStatus == HUB_STATUS_PROGRAMMED_VERIFIED);
}
