#include "HubStatusText.h"

namespace {
const wchar_t* const kTexts[] = {
    L"New Unprogrammed",
    L"Failure opening device",
    L"Programming",
    L"Programmed Successfully",
    L"Failed Programming",
    L"Verified Successfully",
    L"Failed Verify",
    L"Programmed Verified Successfully",
    L"Failed Program Verify",
    L"Verifying",
    L"Programming and Verifying",
    L"Failed due to Insufficient space",
};
}  // namespace

const wchar_t* HubStatusText(int32_t status) {
    constexpr int32_t count = static_cast<int32_t>(sizeof(kTexts) / sizeof(kTexts[0]));
    return (status >= 0 && status < count) ? kTexts[status] : L"";
}
