// Names of hubs from their instance IDs and serials from unique identifiers.
#include <gtest/gtest.h>

#include "DeviceName.h"

namespace {

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(DeviceName, HubsAreNamedByMakerPartOrByVendorAndProduct) {
    struct Case {
        const wchar_t* instanceId;
        const wchar_t* name;
        int family;
    } cases[] = {
        {L"USB\\VID_3B9A&PID_6102\\H1", L"KX610x", kNamedFamilyFirst},
        {L"USB\\VID_3B9A&PID_6107\\H1", L"KX610x", kNamedFamilyFirst},
        {L"USB\\VID_3B9A&PID_6105\\H1", L"VARN-6105", kNamedFamilyNone},
        {L"USB\\VID_3B9A&PID_7102\\H1", L"KX710x", kNamedFamilySecond},
        {L"USB\\VID_3B9A&PID_7104\\H1", L"KX710x", kNamedFamilySecond},
        {L"USB\\VID_3B9A&PID_7100\\H1", L"VARN-7100", kNamedFamilyNone},
        {L"USB\\VID_3B9A&PID_8213\\H1", L"KX8213", kNamedFamilySecond},
        {L"USB\\VID_3B9A&PID_8413\\H1", L"KX8413", kNamedFamilySecond},
        {L"USB\\VID_3B9A&PID_9204\\H1", L"KX9204", kNamedFamilySecond},
        {L"USB\\VID_3B9A&PID_9224\\H1", L"KX9224", kNamedFamilySecond},
        {L"USB\\VID_3B9A&PID_9234\\H1", L"VARN-9234", kNamedFamilyNone},
        {L"USB\\VID_1234&PID_5678\\G1", L"1234-5678", kNamedFamilyNone},
        {L"USB\\VID_9A3B&PID_6104\\G1", L"9A3B-6104", kNamedFamilyNone},
        {L"usb\\vid_3b9a&pid_6104\\x", L"0000-0000", kNamedFamilyNone},
        {L"", L"0000-0000", kNamedFamilyNone},
        {L"ROOT_HUB20\\4&1234", L"0000-0000", kNamedFamilyNone},
        {L"USB\\VID_3B9A&PID_61", L"VARN-6100", kNamedFamilyNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.instanceId));
        const HubName hub = HubNameFromInstanceId(c.instanceId);
        EXPECT_EQ(Narrow(hub.name), Narrow(c.name));
        EXPECT_EQ(hub.partFamily, c.family);
    }
}

TEST(DeviceName, SerialIsBytesElevenToFifteenInLowerCaseHex) {
    uint8_t uuid[kUuidLength] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                 0xFF, 0xFF, 0xFF, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
    EXPECT_EQ(Narrow(SerialFromUuid(uuid)), "0a0b0c0d0e");
    uint8_t other[kUuidLength] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD, 0xEF, 0x01, 0x90};
    EXPECT_EQ(Narrow(SerialFromUuid(other)), "abcdef0190");
}

}  // namespace
