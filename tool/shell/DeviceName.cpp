#include "DeviceName.h"

#include <cwchar>

namespace {

struct KnownPart {
    unsigned productHigh;
    unsigned productLow;
    const wchar_t* name;
    int family;
};

const KnownPart kKnownParts[] = {
    {0x61, 0x02, L"KX610x", kNamedFamilyFirst},  {0x61, 0x03, L"KX610x", kNamedFamilyFirst},
    {0x61, 0x04, L"KX610x", kNamedFamilyFirst},  {0x61, 0x07, L"KX610x", kNamedFamilyFirst},
    {0x71, 0x02, L"KX710x", kNamedFamilySecond}, {0x71, 0x03, L"KX710x", kNamedFamilySecond},
    {0x71, 0x04, L"KX710x", kNamedFamilySecond}, {0x82, 0x13, L"KX8213", kNamedFamilySecond},
    {0x84, 0x13, L"KX8413", kNamedFamilySecond}, {0x92, 0x04, L"KX9204", kNamedFamilySecond},
    {0x92, 0x24, L"KX9224", kNamedFamilySecond},
};

std::wstring Format(const wchar_t* format, unsigned a, unsigned b, unsigned c = 0, unsigned d = 0) {
    wchar_t text[32] = {};
    swprintf(text, 32, format, a, b, c, d);
    return text;
}

}  // namespace

HubName HubNameFromInstanceId(const std::wstring& instanceId) {
    unsigned vendorHigh = 0, vendorLow = 0, productHigh = 0, productLow = 0;
    swscanf(instanceId.c_str(), L"USB\\VID_%2X%2X&PID_%2X%2X\\", &vendorHigh, &vendorLow,
            &productHigh, &productLow);
    if (vendorHigh == 0x3B && vendorLow == 0x9A) {
        for (const KnownPart& part : kKnownParts) {
            if (part.productHigh == productHigh && part.productLow == productLow) {
                return {part.name, part.family};
            }
        }
        return {Format(L"VARN-%02X%02X", productHigh, productLow), kNamedFamilyNone};
    }
    return {Format(L"%02X%02X-%02X%02X", vendorHigh, vendorLow, productHigh, productLow),
            kNamedFamilyNone};
}

std::wstring SerialFromUuid(const uint8_t (&uuid)[kUuidLength]) {
    wchar_t text[16] = {};
    swprintf(text, 16, L"%02x%02x%02x%02x%02x", uuid[11], uuid[12], uuid[13], uuid[14], uuid[15]);
    return text;
}
