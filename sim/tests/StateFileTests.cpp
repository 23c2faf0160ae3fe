// The state file's text: what is written reads back the same, and a damaged
// file is refused with the place that is wrong rather than read as blank chips.
#include <gtest/gtest.h>

#include "StateFile.h"

namespace {

using usbsim::ChipMemories;
using usbsim::ChipMemory;

TEST(StateFile, WhatIsWrittenReadsBack) {
    ChipMemories memories;
    ChipMemory& chip = memories[L"USB\\VID_3B9A&PID_6104\\H1"];
    chip.initialised = true;
    chip.areas["otp"] = {0x00, 0xFF, 0x5A};
    chip.areas["flash"] = std::vector<uint8_t>(4096, 0xFF);
    chip.registers[0x523A] = 0x20;
    chip.values["boot"] = "dfu";
    memories[L"USB\\VID_3B9A&PID_7104\\EMPTY"].initialised = true;
    memories[L"USB\\VID_3B9A&PID_7104\\UNUSED"];  // never filled: not saved

    ChipMemories read;
    std::string error;
    ASSERT_TRUE(usbsim::StateFromJson(usbsim::StateToJson(memories), read, error)) << error;
    EXPECT_EQ(read.size(), 2u);
    EXPECT_TRUE(read.at(L"USB\\VID_3B9A&PID_6104\\H1") == chip);
    EXPECT_TRUE(read.at(L"USB\\VID_3B9A&PID_7104\\EMPTY").initialised);
}

TEST(StateFile, InstanceIdsAreMatchedWithoutCase) {
    ChipMemories read;
    std::string error;
    ASSERT_TRUE(
        usbsim::StateFromJson(R"({"chips":{"usb\\vid_3b9a&pid_6104\\h1":{}}})", read, error))
        << error;
    EXPECT_EQ(read.count(L"USB\\VID_3B9A&PID_6104\\H1"), 1u);
}

TEST(StateFile, DamagedFilesAreRefusedWithThePlace) {
    struct Case {
        const char* text;
        const char* where;
    } cases[] = {
        {"", "not valid JSON"},
        {R"({"chips":{"A":{"areas":{"otp":"0G"}}}})", "$.chips.A.areas.otp"},
        {R"({"chips":{"A":{"areas":{"otp":"0"}}}})", "$.chips.A.areas.otp"},
        {R"({"chips":{"A":{"registers":{"0x10":256}}}})", "$.chips.A.registers.0x10"},
        {R"({"chips":{"A":{"registers":{"ten":1}}}})", "$.chips.A.registers.ten"},
        {R"({"chips":{"A":{"values":{"boot":1}}}})", "$.chips.A.values.boot"},
        {R"({"chips":{"A":{"ram":""}}})", "ram"},
        {R"({"chip":{}})", "chips"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ChipMemories read;
        read[L"KEPT"].initialised = true;
        std::string error;
        EXPECT_FALSE(usbsim::StateFromJson(c.text, read, error));
        EXPECT_NE(error.find(c.where), std::string::npos) << error;
        EXPECT_EQ(read.size(), 1u) << "nothing is half read";
    }
}

}  // namespace
