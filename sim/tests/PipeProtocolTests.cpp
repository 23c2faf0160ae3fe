// The usbsimctl pipe protocol: requests and replies survive the trip, broken
// ones are refused, and both sides derive the same pipe name.
#include <gtest/gtest.h>

#include "PipeProtocol.h"

namespace {

TEST(PipeProtocol, RequestsRoundTrip) {
    usbsim::PipeRequest attach{"attach", L"1-1-2-3", L"Z:\\boards\\b\u00e9.json",
                               "{\n \"device\": {}\n}"};
    auto decoded = usbsim::DecodeRequest(usbsim::EncodeRequest(attach));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->command, "attach");
    EXPECT_EQ(decoded->position, attach.position);
    EXPECT_EQ(decoded->boardPath, attach.boardPath);
    EXPECT_EQ(decoded->boardJson, attach.boardJson) << "line feeds inside the JSON stay";

    usbsim::PipeRequest detach{"detach", L"1-2-1", L"", ""};
    decoded = usbsim::DecodeRequest(usbsim::EncodeRequest(detach));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->position, L"1-2-1");
}

TEST(PipeProtocol, MalformedRequestsAreRefused) {
    for (const char* text : {"", "attach", "attach\n1-1-2", "attach\n1-1-2\nZ:\\b.json\n", "detach",
                             "detach\n1-1\n2", "format\nc:"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(usbsim::DecodeRequest(text).has_value());
    }
}

TEST(PipeProtocol, RepliesRoundTrip) {
    auto reply = usbsim::DecodeReply(usbsim::EncodeReply({-2, L"detach 1-1-3: nothing"}));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->code, -2);
    EXPECT_EQ(reply->message, L"detach 1-1-3: nothing");
    EXPECT_FALSE(usbsim::DecodeReply("ok\n").has_value());
}

TEST(PipeProtocol, PipeNamesIgnoreCaseOfThePathAndKeepExplicitNames) {
    EXPECT_EQ(usbsim::PipeNameForFixture(L"Z:\\Work\\line.json"),
              usbsim::PipeNameForFixture(L"z:\\work\\LINE.json"));
    EXPECT_NE(usbsim::PipeNameForFixture(L"Z:\\work\\line.json"),
              usbsim::PipeNameForFixture(L"Z:\\work\\line2.json"));
    EXPECT_EQ(usbsim::PipeNameFromSetting(L"mine"), L"\\\\.\\pipe\\mine");
    EXPECT_EQ(usbsim::PipeNameFromSetting(L"\\\\.\\pipe\\mine"), L"\\\\.\\pipe\\mine");
}

}  // namespace
