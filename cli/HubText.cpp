#include "HubText.h"

#include <cstdio>
#include <cwchar>

#include "HalvexZRVLib.h"
#include "HubStatusText.h"

std::wstring HubStatusName(int32_t status) {
    const wchar_t* text = HubStatusDisplayText(status);
    return text ? text : L"Unknown";
}

bool IsSuccessStatus(int32_t status) {
    return status == HUB_STATUS_PROGRAMMED || status == HUB_STATUS_VERIFIED ||
           status == HUB_STATUS_PROGRAMMED_VERIFIED;
}

std::wstring FamilyName(int32_t family) {
    switch (family) {
        case HUB_FAMILY_MIRAVEL:
            return L"first";
        case HUB_FAMILY_TORVIK:
            return L"second";
        case HUB_FAMILY_GENERIC:
            return L"generic";
        default:
            return L"unknown";
    }
}

namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

// Up to four hex digits after tag; the bytes read so far stay, the rest 0.
void ReadHexBytes(const std::wstring& text, const wchar_t* tag, uint8_t out[2]) {
    out[0] = out[1] = 0;
    const size_t at = text.find(tag);
    if (at == std::wstring::npos) return;
    size_t i = at + wcslen(tag);
    for (int b = 0; b < 2; ++b) {
        if (i + 1 >= text.size() || HexDigit(text[i]) < 0 || HexDigit(text[i + 1]) < 0) {
            return;
        }
        out[b] = static_cast<uint8_t>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
        i += 2;
    }
}

}  // namespace

std::wstring PartName(const std::wstring& id) {
    uint8_t vendor[2];
    uint8_t product[2];
    ReadHexBytes(id, L"VID_", vendor);
    ReadHexBytes(id, L"PID_", product);
    wchar_t text[32];
    if (vendor[0] == 0x3B && vendor[1] == 0x9A) {
        const int p = product[0] << 8 | product[1];
        switch (p) {
            case 0x6102:
            case 0x6103:
            case 0x6104:
            case 0x6107:
                return L"KX610x";
            case 0x7102:
            case 0x7103:
            case 0x7104:
                return L"KX710x";
            case 0x8213:
                return L"KX8213";
            case 0x8413:
                return L"KX8413";
            case 0x9204:
                return L"KX9204";
            case 0x9224:
                return L"KX9224";
            default:
                swprintf(text, 32, L"VARN-%02X%02X", product[0], product[1]);
                return text;
        }
    }
    swprintf(text, 32, L"%02X%02X-%02X%02X", vendor[0], vendor[1], product[0], product[1]);
    return text;
}

std::wstring ResultName(int32_t result) {
    switch (result) {
        case RESULT_SUCCESS:
            return L"RESULT_SUCCESS";
        case RESULT_FAILURE:
            return L"RESULT_FAILURE";
        case RESULT_OTP_WRITE_LIMIT:
            return L"RESULT_OTP_WRITE_LIMIT";
        case RESULT_NO_SPI_FLASH:
            return L"RESULT_NO_SPI_FLASH";
        case RESULT_INVALID_DATA:
            return L"RESULT_INVALID_DATA";
        case RESULT_INSUFFICIENT_SPACE:
            return L"RESULT_INSUFFICIENT_SPACE";
        case RESULT_VALIDATION_FAILED:
            return L"RESULT_VALIDATION_FAILED";
        case RESULT_DEVICE_NOT_FOUND:
            return L"RESULT_DEVICE_NOT_FOUND";
        case RESULT_INVALID_PARAMETER:
            return L"RESULT_INVALID_PARAMETER";
        case RESULT_RESOURCE_FAILURE:
            return L"RESULT_RESOURCE_FAILURE";
        case RESULT_OPEN_FAILED:
            return L"RESULT_OPEN_FAILED";
        case RESULT_VERIFY_MISMATCH:
            return L"RESULT_VERIFY_MISMATCH";
        case RESULT_DEVICE_IO_FAILED:
            return L"RESULT_DEVICE_IO_FAILED";
        case RESULT_READ_FAILED:
            return L"RESULT_READ_FAILED";
        case RESULT_COMPARE_FAILED:
            return L"RESULT_COMPARE_FAILED";
        case RESULT_NO_VENDOR_BLOCK:
            return L"RESULT_NO_VENDOR_BLOCK";
        default:
            return std::to_wstring(result);
    }
}

std::wstring HexText(const uint8_t* bytes, size_t size) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(2 * size);
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}
