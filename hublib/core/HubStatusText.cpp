#include "HubStatusText.h"

namespace {

struct StatusTexts {
    const wchar_t* shown;
    const wchar_t* traced;  // null: the same as shown
};

const StatusTexts kTexts[] = {
    {L"New Unprogrammed", nullptr},
    {L"Failure opening device", nullptr},
    {L"Programming", nullptr},
    {L"Programmed Successfully", nullptr},
    {L"Failed Programming", nullptr},
    {L"Verified Successfully", nullptr},
    {L"Failed Verify", nullptr},
    {L"Programmed and Verified Successfully", L"Programmed Verified Successfully"},
    {L"Failed Program Verify", nullptr},
    {L"Verifying", nullptr},
    {L"Programming and Verifying", nullptr},
    {L"Failed due to Insufficient space", nullptr},
    {L"ERROR: Cannot access SPI Flash", L""},
    {L"ERROR: OTP already Programmed maximum times", L""},
};

const StatusTexts* Find(int32_t status) {
    constexpr int32_t count = static_cast<int32_t>(sizeof(kTexts) / sizeof(kTexts[0]));
    return status >= 0 && status < count ? &kTexts[status] : nullptr;
}

}  // namespace

const wchar_t* HubStatusDisplayText(int32_t status) {
    const StatusTexts* texts = Find(status);
    return texts ? texts->shown : nullptr;
}

const wchar_t* HubStatusText(int32_t status) {
    const StatusTexts* texts = Find(status);
    if (!texts) return L"";
    return texts->traced ? texts->traced : texts->shown;
}
