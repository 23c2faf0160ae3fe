// Programming runs of the SPI memory types started from the sheet: firmware images (both
// families, hubs running the firmware of their flash included), configuration blocks in the
// flash with serials from counters, and images that take the vendor block from the OTP. The
// chips' memories are read back afterwards; the execution page is captured during and after a
// run.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "GuiDriver.h"
#include "RunSheetTest.h"
#include "RunTestSupport.h"
#include "Sheet.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "UsbSimApi.h"
#include "resource.h"

namespace guitest {
namespace {

// run-line-spi.json: 1-1-1 to 1-1-3 first-family hubs with an empty flash, 1-1-4 and 1-1-5
// second-family hubs starting from their ROM (1-1-5 with its OTP redirected to the flash).
const HubEntry kImageFirst = {"1-1-1",
                              "UINAME=Image First\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=2\r\n"
                              "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\nSERTYPE=0\r\n"};
const HubEntry kPartialFirst = {"1-1-2",
                                "UINAME=Partial First\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=0\r\n"
                                "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=1\r\n"
                                "SERALPHA=PQ\r\nSERSTART=0001\r\nSERMAX=00FF\r\nSERINC=1\r\n"
                                "SERCURRENT=0007\r\nSERHEXFMT=1\r\n"};
const HubEntry kCopyFirst = {"1-1-3",
                             "UINAME=Copy First\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=1\r\n"
                             "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\nSERTYPE=0\r\n"};
const HubEntry kImageSecond = {"1-1-4",
                               "UINAME=Image Second\r\nISHUB=1\r\nPTYPE=1\r\nMEMTYPE=2\r\n"
                               "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\nSERTYPE=3\r\n"};
const HubEntry kPartialSecond = {"1-1-5",
                                 "UINAME=Partial Second\r\nISHUB=1\r\nPTYPE=1\r\nMEMTYPE=0\r\n"
                                 "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=2\r\n"
                                 "SERALPHA=T\r\nSERSTART=100\r\nSERMAX=999\r\nSERINC=3\r\n"
                                 "SERCURRENT=200\r\nSERHEXFMT=0\r\n"};

const size_t kImageSize = 65535;
const size_t kTagOffset = 0xFFFA;
const size_t kVendorBlockInFlash = 0xF006;
const size_t kConfigAreaInFlash = 0xF01E;

// A firmware image both families accept: 65535 bytes with "2DFU" at 0xFFFA.
std::string FirmwareImage() {
    std::string image(kImageSize, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 7 + 13) & 0xFF);
    image.replace(kTagOffset, 4, "2DFU");
    return image;
}

// Whether the flash of the hub starts with the image; says where it differs otherwise.
::testing::AssertionResult FlashStartsWith(const std::wstring& hub, const std::string& image) {
    const std::string flash = ChipMemory(hub, "flash");
    if (flash.size() < image.size()) {
        return ::testing::AssertionFailure()
               << Narrow(hub) << ": a flash of " << flash.size() << " bytes";
    }
    const auto differ = std::mismatch(image.begin(), image.end(), flash.begin());
    if (differ.first == image.end()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Narrow(hub) << ": differs from the image at 0x"
                                         << std::hex << (differ.first - image.begin());
}

class SheetRunSpi : public RunSheetTest {
protected:
    void Start(const std::string& tcf, const wchar_t* fixture) {
        StartWithTopology(L"run-spi.tcf", tcf, fixture);
    }
};

TEST_F(SheetRunSpi, EverySpiMemoryTypeOfBothFamiliesIsProgrammedOnceAndVerified) {
    const std::string image = FirmwareImage();
    WriteBytes(FreshFile(L"firmware.bin"), image);
    Start(Tcf({kImageFirst, kPartialFirst, kCopyFirst, kImageSecond, kPartialSecond}),
          L"run-line-spi.json");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitForRunEnd()) << Status();

    const std::string status = Status();
    for (const char* line : {
             "Started programming\r\n",
             "1-1-2 : Current Serial Number : PQ0007\r\n",
             "1-1-5 : Current Serial Number : T200\r\n",
             "Status of Image First : Programmed and Verified Successfully\r\n",
             "Status of Partial First : Programmed and Verified Successfully\r\n",
             "Status of Copy First : Programmed and Verified Successfully\r\n",
             "Status of Image Second : Programmed and Verified Successfully\r\n",
             "Status of Partial Second : Programmed and Verified Successfully\r\n",
         }) {
        EXPECT_EQ(Occurrences(status, line), 1u) << line << "\n" << status;
    }
    EXPECT_EQ(status.find("ERROR"), std::string::npos) << status;

    // Images: the whole image at the start of each flash.
    for (const wchar_t* hub : {L"6104\\PA1", L"7104\\PB1"}) {
        EXPECT_TRUE(FlashStartsWith(hub, image));
    }
    // The copy from the OTP: the image with the hub's own vendor block ("VNDR" and its UUID).
    const std::string copied = ChipMemory(L"6104\\PA3", "flash");
    const std::string otp = ChipOtp(L"6104\\PA3");
    ASSERT_EQ(otp.size(), 2048u);
    std::string expected = image;
    expected.replace(kVendorBlockInFlash, 24, otp.substr(6, 24));
    EXPECT_EQ(
        copied.substr(kVendorBlockInFlash, 20),
        "VNDR" + std::string("\x30\x31\x32\x33\x34\x35\x36\x37\x38\x39\x3A\x3B\x3C\x3D\x3E\x3F"));
    EXPECT_TRUE(FlashStartsWith(L"6104\\PA3", expected));

    // The partial configuration: a block with the serial in the flash's configuration area, the
    // flash before it still erased, the OTP untouched.
    const std::string partial = ChipMemory(L"6104\\PA2", "flash");
    ASSERT_GT(partial.size(), kConfigAreaInFlash);
    EXPECT_EQ(partial.compare(kConfigAreaInFlash, 4, "CFGB"), 0);
    // The serial item carries the serial twice, as in the OTP.
    EXPECT_EQ(Occurrences(partial, Utf16("PQ0007")), 2u);
    EXPECT_EQ(partial.substr(0, kConfigAreaInFlash).find_first_not_of('\xFF'), std::string::npos);
    EXPECT_EQ(ChipOtp(L"6104\\PA2").find("CFGB"), std::string::npos);
    // The second family's partial configuration goes through its redirected OTP.
    EXPECT_EQ(Occurrences(ChipOtp(L"7104\\PB2"), Utf16("T200")), 2u);

    // Counters advanced by the successful hubs that used them.
    const std::string tcf = ReadBytes(tcfPath_);
    EXPECT_NE(tcf.find("SERCURRENT=0008\r\n"), std::string::npos) << tcf;
    EXPECT_NE(tcf.find("SERCURRENT=203\r\n"), std::string::npos) << tcf;
}

// run-line-slow.json: each flash page takes 8 ms, so the image of 1-1-1 takes about two seconds
// while the OTPs of 1-1-2 and 1-1-3 are done at once.
const HubEntry kSlowImage = {"1-1-1",
                             "UINAME=Slow Image\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=2\r\n"
                             "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\nSERTYPE=0\r\n"};
const HubEntry kQuickOtp = {"1-1-2",
                            "UINAME=Quick Otp\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                            "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"};

// Its OTP refuses every write.
const HubEntry kFailingOtp = {"1-1-3",
                              "UINAME=Failing Otp\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                              "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"};

const COLORREF kBusyColour = RGB(255, 140, 0);
const COLORREF kDoneColour = RGB(0, 224, 0);
const COLORREF kFailedColour = RGB(255, 10, 10);

// Pixels of the tree's client area in that colour.
int TreePixels(HWND tree, COLORREF colour) {
    RECT client = {};
    GetClientRect(tree, &client);
    return CountColour(tree, CaptureWindow(tree), client, colour);
}

bool Shown(HWND control) {
    return IsWindowVisible(control) != FALSE;
}

TEST_F(SheetRunSpi, TheExecutionPageShowsTheRunWhileItGoesAndWhenItEnds) {
    WriteBytes(FreshFile(L"firmware.bin"), FirmwareImage());
    Start(Tcf({kSlowImage, kQuickOtp, kFailingOtp}), L"run-line-slow.json");
    ASSERT_FALSE(HasFatalFailure());
    const HWND start = sheet_->PageItem(IDC_BUTTON_START);
    const HWND stop = sheet_->PageItem(IDC_BUTTON_STOP);
    ASSERT_TRUE(Shown(start));
    PostMessageW(sheet_->Page(), WM_COMMAND, MAKEWPARAM(IDC_BUTTON_START, BN_CLICKED),
                 reinterpret_cast<LPARAM>(start));

    // During: the OTP hubs are done, the image is still being written.
    ASSERT_TRUE(WaitUntil([&] {
        return Status().find("Status of Quick Otp : Programmed and Verified Successfully") !=
                   std::string::npos &&
               Status().find("Status of Failing Otp : Failed") != std::string::npos;
    })) << Status();
    ASSERT_TRUE(WaitUntil([&] { return TreePixels(sheet_->Tree(), kBusyColour) > 0; }, 3000));
    EXPECT_TRUE(Running());
    // The window keeps answering while the hubs are programmed.
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(sheet_->Sheet(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer),
              0);
    WritePng(CapturePainted(sheet_->Sheet()),
             std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/execution-page-during-run.png");
    EXPECT_TRUE(Shown(stop));
    EXPECT_FALSE(Shown(start));
    EXPECT_GT(TreePixels(sheet_->Tree(), kDoneColour), 0);
    EXPECT_GT(TreePixels(sheet_->Tree(), kFailedColour), 0);
    EXPECT_NE(Status().find("Status of Slow Image : Programming and Verifying\r\n"),
              std::string::npos)
        << Status();
    EXPECT_EQ(Status().find("Status of Slow Image : Programmed"), std::string::npos) << Status();

    // After: the failure box, then the final colours and START back.
    std::wstring box;
    ASSERT_TRUE(AnswerMessageBox(sheet_->ThreadId(), sheet_->Sheet(), box, IDOK)) << Status();
    EXPECT_EQ(Narrow(box), "Operation on one or more device failed");
    ASSERT_TRUE(WaitForRunEnd()) << Status();
    ASSERT_TRUE(WaitUntil([&] { return TreePixels(sheet_->Tree(), kBusyColour) == 0; }, 3000));
    WritePng(CapturePainted(sheet_->Sheet()),
             std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/execution-page-after-run.png");
    EXPECT_TRUE(Shown(start));
    EXPECT_FALSE(Shown(stop));
    EXPECT_GT(TreePixels(sheet_->Tree(), kDoneColour), 0);
    EXPECT_GT(TreePixels(sheet_->Tree(), kFailedColour), 0);
    EXPECT_NE(Status().find("Status of Slow Image : Programmed and Verified Successfully"),
              std::string::npos)
        << Status();
}

// run-line-spi-empty.json: an empty line; the test plugs in a hub that runs the firmware of its
// flash.
const HubEntry kRunningFirst = {"1-1-1",
                                "UINAME=Running First\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=2\r\n"
                                "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\n"
                                "SERTYPE=0\r\n"};

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        text += kDigits[c >> 4];
        text += kDigits[c & 15];
    }
    return text;
}

// A board with one hub of that family whose flash holds an older firmware (another image with
// the tag), which the hub runs.
std::string RunningBoard(bool firstFamily, const std::string& serial) {
    std::string old(kImageSize, '\x5A');
    old.replace(kTagOffset, 4, "2DFU");
    const std::string flash = "\"flash\": {\"size\": 131072, \"image\": \"" + Hex(old) + "\"}";
    const std::string chip =
        firstFamily
            ? "\"uuid\": \"606162636465666768696A6B6C6D6E6F\", \"bootState\": \"spi\", " + flash
            : "\"romVersion\": \"0x0109\", \"boot\": \"spi\", \"cacheBit\": true, " + flash;
    return std::string("{\"hub\": {\"family\": \"") + (firstFamily ? "first" : "second") +
           "\", \"vid\": \"3B9A\", \"pid\": \"" + (firstFamily ? "6104" : "7104") +
           "\", \"serial\": \"" + serial + "\", \"description\": \"USB Hub\", \"ports\": 4, " +
           "\"chip\": {" + chip + "}}}";
}

bool Attach(const wchar_t* position, const std::string& board) {
    auto attach = reinterpret_cast<PfnUsbSimAttachJson>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimAttachJson")));
    return attach && attach(position, board.c_str()) == USBSIM_OK;
}

// Waits until no hub is away in a reboot and every notification was delivered.
bool WaitForBus() {
    auto waitIdle = reinterpret_cast<PfnUsbSimWaitIdle>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimWaitIdle")));
    return waitIdle && waitIdle(10000) == USBSIM_OK;
}

TEST_F(SheetRunSpi, AFirstFamilyHubRunningItsFirmwareGetsTheNewImage) {
    const std::string image = FirmwareImage();
    WriteBytes(FreshFile(L"firmware.bin"), image);
    Start(Tcf({kRunningFirst}), L"run-line-spi-empty.json");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(Attach(L"1-1-1", RunningBoard(true, "RF1")));
    // The hub is told to reboot into its loader when it gets its memory type, and comes back.
    ASSERT_TRUE(WaitUntil([&] { return ItemNamed(sheet_->Tree(), L"Running First").handle; }));
    ASSERT_TRUE(WaitForBus());
    sheet_->Send(WM_NULL);
    ASSERT_TRUE(ItemNamed(sheet_->Tree(), L"Running First").handle);

    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitForRunEnd()) << Status();
    EXPECT_NE(Status().find("Status of Running First : Programmed and Verified Successfully"),
              std::string::npos)
        << Status();
    EXPECT_TRUE(FlashStartsWith(L"6104\\RF1", image));
}

// run-line-spi-automated.json: a first-family hub at 1-1-1 that takes an image; the test plugs
// hubs running their firmware into 1-1-2 and 1-1-3 while the run goes on.
const HubEntry kPresentFirst = {"1-1-1",
                                "UINAME=Present First\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=2\r\n"
                                "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\n"
                                "SERTYPE=0\r\n"};
const HubEntry kArrivingFirst = {"1-1-2",
                                 "UINAME=Running First\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=2\r\n"
                                 "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\n"
                                 "SERTYPE=0\r\n"};
const HubEntry kArrivingSecond = {"1-1-3",
                                  "UINAME=Running Second\r\nISHUB=1\r\nPTYPE=1\r\nMEMTYPE=2\r\n"
                                  "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\n"
                                  "SERTYPE=3\r\n"};

TEST_F(SheetRunSpi, AutomatedExecutionUpdatesTheFirmwareOfEachArrivingHubOnce) {
    const std::string image = FirmwareImage();
    WriteBytes(FreshFile(L"firmware.bin"), image);
    Start(Tcf({kPresentFirst, kArrivingFirst, kArrivingSecond}), L"run-line-spi-automated.json");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(ChooseAutomatedExecution());
    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Status().find(
                       "Status of Present First : Programmed and Verified Successfully") !=
                   std::string::npos;
        },
        20000))
        << Status();

    // Both hubs leave the bus to get out of their firmware and come back while the run goes on.
    ASSERT_TRUE(Attach(L"1-1-2", RunningBoard(true, "AF1")));
    ASSERT_TRUE(Attach(L"1-1-3", RunningBoard(false, "AS1")));
    const char* done[] = {"Status of Running First : Programmed and Verified Successfully\r\n",
                          "Status of Running Second : Programmed and Verified Successfully\r\n"};
    ASSERT_TRUE(WaitUntil(
        [&] { return Occurrences(Status(), done[0]) > 0 && Occurrences(Status(), done[1]) > 0; },
        20000))
        << Status();
    ASSERT_TRUE(WaitForBus());
    Sleep(500);
    sheet_->Send(WM_NULL);
    for (const char* line : done) EXPECT_EQ(Occurrences(Status(), line), 1u) << line << Status();
    EXPECT_TRUE(Running());
    EXPECT_TRUE(FlashStartsWith(L"6104\\AF1", image));
    EXPECT_TRUE(FlashStartsWith(L"7104\\AS1", image));

    bool stopped = false;
    sheet_->OnSheetThread([&](CSheet& sheet) { stopped = sheet.StopProgramming(); });
    EXPECT_TRUE(stopped);
    ASSERT_TRUE(WaitForRunEnd()) << Status();
}

// run-line-image.json: a first-family and a second-family hub, each with an empty flash and its
// own image file.
const HubEntry kImageFileFirst = {"1-1-1",
                                  "UINAME=First Image\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=2\r\n"
                                  "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=first.bin\r\n"
                                  "SERTYPE=0\r\n"};
const HubEntry kImageFileSecond = {"1-1-2",
                                   "UINAME=Second Image\r\nISHUB=1\r\nPTYPE=1\r\nMEMTYPE=2\r\n"
                                   "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=second.bin\r\n"
                                   "SERTYPE=3\r\n"};

TEST_F(SheetRunSpi, AnImageFileThatCannotBeUsedStopsTheStartAndNamesTheHub) {
    const std::string image = FirmwareImage();
    std::string untagged = image;
    untagged.replace(kTagOffset, 4, "XXXX");
    const char kFirstRefused[] = "USB\\VID_3B9A&PID_6104\\IA1 : ERROR Setting firmware image\r\n";
    const char kSecondRefused[] = "USB\\VID_3B9A&PID_7104\\IB1 : ERROR Setting firmware image\r\n";
    const struct {
        const char* what;
        const wchar_t* file;  // the file that is bad; the other one holds a good image
        bool present;
        std::string bytes;
        const char* line;
    } cases[] = {
        {"first family, no file", L"first.bin", false, "", kFirstRefused},
        {"first family, too short", L"first.bin", true, image.substr(0, 4096), kFirstRefused},
        {"first family, no tag", L"first.bin", true, untagged, kFirstRefused},
        {"second family, no file", L"second.bin", false, "", kSecondRefused},
        {"second family, too short", L"second.bin", true, image.substr(0, 4096), kSecondRefused},
        {"second family, no tag", L"second.bin", true, untagged, kSecondRefused},
    };
    Start(Tcf({kImageFileFirst, kImageFileSecond}), L"run-line-image.json");
    ASSERT_FALSE(HasFatalFailure());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const wchar_t* file : {L"first.bin", L"second.bin"}) {
            const std::wstring path = FreshFile(file);
            if (std::wstring(file) != c.file) {
                WriteBytes(path, image);
            } else if (c.present) {
                WriteBytes(path, c.bytes);
            }
        }
        const size_t before = Occurrences(Status(), c.line);
        bool started = true;
        sheet_->OnSheetThread([&](CSheet& sheet) { started = sheet.StartProgramming(); });
        EXPECT_FALSE(started);
        EXPECT_FALSE(Running());
        EXPECT_EQ(Occurrences(Status(), c.line), before + 1) << Status();
    }
    EXPECT_EQ(Status().find("Started programming"), std::string::npos) << Status();
    for (const wchar_t* hub : {L"6104\\IA1", L"7104\\IB1"}) {
        const std::string flash = ChipMemory(hub, "flash");
        EXPECT_EQ(flash.find_first_not_of('\xFF'), std::string::npos) << Narrow(hub);
    }

    // With both files good again the same hubs are programmed.
    WriteBytes(FreshFile(L"first.bin"), image);
    WriteBytes(FreshFile(L"second.bin"), image);
    ASSERT_TRUE(StartProgramming()) << Status();
    ASSERT_TRUE(WaitForRunEnd()) << Status();
    for (const wchar_t* hub : {L"6104\\IA1", L"7104\\IB1"}) {
        EXPECT_TRUE(FlashStartsWith(hub, image));
    }
}

}  // namespace
}  // namespace guitest
