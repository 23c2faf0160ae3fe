// Second-family OTP programming end to end: CTorvikDevice through
// KX7100API.dll on simulated chips, with the chip's OTP read back afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "TorvikDevice.h"
#include "TorvikTestSupport.h"

using namespace torvik_test;

extern const wchar_t kTraceLogFileName[];

namespace {

std::vector<uint8_t> Block(uint32_t size, uint8_t seed) {
    std::vector<uint8_t> block(size);
    for (uint32_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>(seed * 17 + i * 3 + 1);
    return block;
}

std::unique_ptr<CTorvikDevice> Hub(uint32_t mode = STORAGE_OTP,
                                   uint32_t validation = VALIDATION_VERIFY) {
    auto device = std::make_unique<CTorvikDevice>(kHubPath, static_cast<uint32_t>(kHubPathLength));
    device->SetStorageMode(mode);
    device->SetValidationMethod(validation);
    return device;
}

// One programming run as the manager runs it: on a fresh device object.
int32_t Program(const std::vector<uint8_t>& block, uint32_t& status,
                uint32_t validation = VALIDATION_VERIFY, bool programming = true,
                uint32_t mode = STORAGE_OTP) {
    auto device = Hub(mode, validation);
    device->SetConfigurationBlock(block.data(), static_cast<uint32_t>(block.size()));
    device->SetProgrammingRequired(programming);
    int32_t result = device->ProgramDevice();
    status = device->GetHubStatus();
    return result;
}

uint8_t Checksum(const std::vector<uint8_t>& block) {
    uint8_t sum = 0;
    for (uint8_t b : block) sum ^= b;
    return sum;
}

// A memory too short for the slice fails the test instead of reading past it.
std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t at, size_t count) {
    if (at > bytes.size() || count > bytes.size() - at) {
        ADD_FAILURE() << "bytes " << at << ".." << at + count << " of a memory of " << bytes.size();
        return {};
    }
    return std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + count);
}

size_t LogSize() {
    return TraceLogSince(kTraceLogFileName, 0).size();
}

}  // namespace

TEST(TorvikOtp, SizeFromTheChip) {
    for (uint32_t size : {2048u, 1024u, 512u}) {
        SCOPED_TRACE(size);
        Board board;
        board.otpSize = size;
        ASSERT_TRUE(LoadBoard(board));
        EXPECT_EQ(Hub()->GetOTPSize(), static_cast<int32_t>(size));
    }
}

// Two blocks on a blank chip of each layout: where blocks, entries and the
// counter end up in the chip, and that each verifies afterwards, the first
// behind the second.
TEST(TorvikOtp, TwoBlocksOnABlankChipOfEachLayout) {
    const struct {
        const char* rom;
        uint32_t size;
        uint32_t entrySize;
        bool idx;
    } cases[] = {{"0x0109", 2048, 8, true},
                 {"0x0108", 2048, 5, false},
                 {"0x0109", 1024, 8, true},
                 {"0x0108", 512, 5, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rom) + " " + std::to_string(c.size));
        Board board;
        board.romVersion = c.rom;
        board.otpSize = c.size;
        ASSERT_TRUE(LoadBoard(board));
        const auto first = Block(40, 1);
        const auto second = Block(25, 2);
        uint32_t status = 0;
        ASSERT_EQ(Program(first, status), RESULT_SUCCESS);
        EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
        ASSERT_EQ(Program(second, status), RESULT_SUCCESS);
        EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));

        std::vector<uint8_t> otp = ChipArea("otp");
        ASSERT_EQ(otp.size(), c.size);
        EXPECT_EQ(Hex(Slice(otp, 0, 2)), "00FC");
        EXPECT_EQ(Slice(otp, 2, 40), first);
        EXPECT_EQ(Slice(otp, 42, 25), second);
        std::string prefix = c.idx ? "494458" : "";
        EXPECT_EQ(Hex(Slice(otp, c.size - c.entrySize, c.entrySize)),
                  prefix + Hex({Checksum(first)}) + "00020028");
        EXPECT_EQ(Hex(Slice(otp, c.size - 2 * c.entrySize, c.entrySize)),
                  prefix + Hex({Checksum(second)}) + "002A0019");

        // Verification alone finds the older block behind the newer one.
        EXPECT_EQ(Program(first, status, VALIDATION_VERIFY, false), RESULT_SUCCESS);
        EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_VERIFIED));
        EXPECT_EQ(Program(Block(40, 3), status, VALIDATION_VERIFY, false), RESULT_VERIFY_MISMATCH);
        EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_VERIFY_FAILED));
    }
}

TEST(TorvikOtp, SixteenProgrammingsAtMost) {
    Board board;
    std::vector<uint8_t> otp(2048, 0);
    otp[0] = 0xFF;
    otp[1] = 0x00;
    board.otpHex = Hex(otp);
    ASSERT_TRUE(LoadBoard(board));
    uint32_t status = 0;
    EXPECT_EQ(Program(Block(16, 1), status), RESULT_OTP_WRITE_LIMIT);
    EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_OTP_WRITE_LIMIT));
    EXPECT_EQ(ChipArea("otp"), otp) << "nothing written";
}

TEST(TorvikOtp, BlockMustLeaveAByteOfTheGap) {
    for (const char* rom : {"0x0109", "0x0108"}) {
        SCOPED_TRACE(rom);
        Board board;
        board.romVersion = rom;
        board.otpSize = 512;
        ASSERT_TRUE(LoadBoard(board));
        ASSERT_EQ(Hub()->GetOTPSize(), 512);  // the chip's memory is filled on first use
        const uint32_t entry = std::string(rom) == "0x0109" ? 8 : 5;
        const uint32_t gap = 512 - entry - 2;
        const std::vector<uint8_t> blank = ChipArea("otp");
        uint32_t status = 0;
        size_t logStart = LogSize();
        EXPECT_EQ(Program(Block(gap, 1), status), RESULT_INSUFFICIENT_SPACE);
        EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_PROGRAM_VERIFY_FAILED));
        EXPECT_EQ(ChipArea("otp"), blank);
        EXPECT_NE(TraceLogSince(kTraceLogFileName, logStart)
                      .find(L"Not enough space avilable : Device id " + std::wstring(kHubPath) +
                            L" Error Code -6  "),
                  std::wstring::npos);
        EXPECT_EQ(Program(Block(gap - 1, 1), status), RESULT_SUCCESS);
        EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
        EXPECT_EQ(Slice(ChipArea("otp"), 2, gap - 1), Block(gap - 1, 1));
    }
}

// Mode 0 is the OTP path when flash byte 0x7FFA says pseudo-OTP.
TEST(TorvikOtp, PseudoOtpDecidesModeZero) {
    const struct {
        int byte;
        int32_t result;
        uint32_t status;
    } cases[] = {{0x0A, RESULT_SUCCESS, HUB_STATUS_PROGRAMMED},
                 {0x03, RESULT_FAILURE, HUB_STATUS_PROGRAM_FAILED}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.byte);
        Board board;
        board.pseudoOtp = c.byte;
        ASSERT_TRUE(LoadBoard(board));
        EXPECT_EQ(Hub()->IsPseudoOTPEnabled(), c.byte == 0x0A);
        size_t logStart = LogSize();
        uint32_t status = 0;
        EXPECT_EQ(Program(Block(12, 4), status, VALIDATION_NONE, true, STORAGE_SPI_PARTIAL_CONFIG),
                  c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(Slice(ChipArea("otp"), 2, 12) == Block(12, 4), c.result == RESULT_SUCCESS);
        EXPECT_EQ(TraceLogSince(kTraceLogFileName, logStart)
                          .find(L"PseudoOTP disabled for device " + std::wstring(kHubPath)) !=
                      std::wstring::npos,
                  c.result != RESULT_SUCCESS);
    }
}

TEST(TorvikOtp, ReadOtpChecksItsArguments) {
    Board board;
    ASSERT_TRUE(LoadBoard(board));
    auto device = Hub();
    std::vector<uint8_t> buffer(2049, 0xEE);
    EXPECT_EQ(device->ReadOTP(buffer.data(), 2049), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(device->ReadOTP(buffer.data(), 0), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(device->ReadOTP(nullptr, 16), RESULT_INVALID_PARAMETER);
    EXPECT_EQ(device->ReadOTP(buffer.data(), 2048), RESULT_SUCCESS);
    EXPECT_EQ(buffer[1], 0xFF);
    EXPECT_EQ(buffer[2048], 0xEE);
}

// Every failure of the OTP path, from a fixture fault: the result, the
// status, the log line and an OTP that kept its content.
TEST(TorvikOtp, FailuresStopTheRun) {
    const std::wstring path = kHubPath;
    const struct {
        const char* name;
        std::string faults;
        int32_t result;
        uint32_t status;
        std::wstring log;
    } cases[] = {
        {"open fails", R"([{"op":"winusbOpen"}])", 0, HUB_STATUS_OPEN_FAILED,
         L"TorvikDevice:Cannot open device for programming. OpenWinUSBHandle returned 0 for " +
             path},
        {"transfer error", R"([{"op":"winusbTransfer","after":3,"systemError":31}])",
         RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_VERIFY_FAILED,
         L"WinUSB API fails:  Device id " + path + L" Error Code 31  "},
        {"OTP write refused", R"([{"op":"otpWrite"}])", RESULT_DEVICE_IO_FAILED,
         HUB_STATUS_PROGRAM_VERIFY_FAILED,
         L"Error in executing function KX7100_OTP_Write_Data(): Device id " + path +
             L" Error Code 4097  "},
        {"OTP write transfer error", R"([{"op":"otpWrite","systemError":121}])",
         RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_VERIFY_FAILED,
         L"WinUSB API fails:  Device id " + path + L" Error Code 121  "},
        {"short read back", R"([{"op":"otpRead","after":2,"short":100}])", RESULT_DEVICE_IO_FAILED,
         HUB_STATUS_PROGRAM_VERIFY_FAILED, L"Cannot read Otp.Device id " + path},
        {"size register", R"([{"op":"registerRead","address":"0x201C","systemError":5}])",
         RESULT_COMPARE_FAILED, HUB_STATUS_PROGRAM_VERIFY_FAILED,
         L"Unable to Get OTP Storage End Offset...OTP Configuration Fails .Device id " + path},
        {"unplugged while writing", R"([{"op":"detach","during":"otpWrite"}])",
         RESULT_DEVICE_IO_FAILED, HUB_STATUS_PROGRAM_VERIFY_FAILED,
         L"WinUSB API fails:  Device id " + path + L" Error Code 433  "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Board board;
        board.faults = c.faults;
        ASSERT_TRUE(LoadBoard(board));
        std::vector<uint8_t> blank(2048, 0);
        blank[1] = 0xFF;
        size_t logStart = LogSize();
        uint32_t status = 0;
        EXPECT_EQ(Program(Block(30, 5), status), c.result);
        EXPECT_EQ(status, c.status);
        std::wstring log = TraceLogSince(kTraceLogFileName, logStart);
        EXPECT_NE(log.find(c.log), std::wstring::npos) << std::string(log.begin(), log.end());
        if (std::string(c.name) != "short read back") {
            const std::vector<uint8_t> after = ChipArea("otp");
            EXPECT_TRUE(after.empty() || after == blank) << "the OTP kept its content";
        }
    }
}

// With ZRV_USBSIM_STATE the programmed OTP survives a reload of the line in
// the same process, and its counter goes on counting; without it a reload
// gives the fixture's blank chip back.
TEST(TorvikOtp, ProgrammedOtpSurvivesAReloadThroughTheStateFile) {
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring state = std::wstring(folder) + L"\\torvik-state.json";
    DeleteFileW(state.c_str());
    SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", state.c_str());
    Board board;
    ASSERT_TRUE(LoadBoard(board));
    uint32_t status = 0;
    ASSERT_EQ(Program(Block(10, 6), status), RESULT_SUCCESS);
    ASSERT_TRUE(LoadBoard(board));
    EXPECT_EQ(Hex(Slice(ChipArea("otp"), 0, 2)), "00FE");
    ASSERT_EQ(Program(Block(10, 7), status), RESULT_SUCCESS);
    EXPECT_EQ(status, static_cast<uint32_t>(HUB_STATUS_PROGRAMMED_VERIFIED));
    const std::vector<uint8_t> otp = ChipArea("otp");
    EXPECT_EQ(Hex(Slice(otp, 0, 2)), "00FC");
    EXPECT_EQ(Slice(otp, 2, 10), Block(10, 6));
    EXPECT_EQ(Slice(otp, 12, 10), Block(10, 7));

    SetEnvironmentVariableW(L"ZRV_USBSIM_STATE", nullptr);
    DeleteFileW(state.c_str());
    ASSERT_TRUE(LoadBoard(board));
    // Read before any request reaches the chip.
    EXPECT_EQ(Hex(Slice(ChipArea("otp"), 0, 2)), "00FF");
}
