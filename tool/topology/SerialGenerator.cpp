// Thin wrappers that run the serial counter on a node's entry.
#include "SerialGenerator.h"

namespace {

bool IsHexNode(const CTCFData& tcf, int tcfIndex) {
    return tcf.GetSerialType(tcfIndex) == kSerialTypeHex;
}

}  // namespace

int ValidateSerialData(const CTCFData& tcf, int tcfIndex) {
    std::wstring prefix, start, maximum, current;
    const int increment = tcf.GetSerialParams(tcfIndex, prefix, start, maximum, current);
    return ValidateSerialParams(prefix, start, maximum, current, static_cast<uint32_t>(increment),
                                IsHexNode(tcf, tcfIndex));
}

int GetSerialString(const CTCFData& tcf, int tcfIndex, std::wstring& serial) {
    serial.clear();
    const std::wstring current = TrimSpaces(tcf.GetSerialParamCurrentVal(tcfIndex));
    if (current == kSerialDone) return kSerialMaxReached;
    // Validation measures the trimmed texts; the serial is built from them too, so a valid
    // counter never yields a serial longer than 31 characters or one with stray spaces.
    serial = TrimSpaces(tcf.GetSerialParamAlphaVal(tcfIndex)) + current;
    return kSerialOk;
}

int IncrementSerial(CTCFData& tcf, int tcfIndex) {
    std::wstring current = tcf.GetSerialParamCurrentVal(tcfIndex);
    const int result = AdvanceSerialValue(
        tcf.GetSerialParamMaxVal(tcfIndex), current,
        static_cast<uint32_t>(tcf.GetSerialParamIncrementVal(tcfIndex)), IsHexNode(tcf, tcfIndex));
    if (result == kSerialOk) tcf.SetSerialParamCurrentVal(tcfIndex, current);
    return result;
}

void SetDeviceSerialParams(CTCFData& tcf, int tcfIndex, const std::wstring& prefix,
                           const std::wstring& start, const std::wstring& maximum,
                           uint32_t increment, const std::wstring& current) {
    tcf.SetSerialParams(tcfIndex, prefix, start, maximum, static_cast<int>(increment), current,
                        IsHexNode(tcf, tcfIndex));
}
