// Programming runs of the SPI memory types started from the sheet: firmware images (both
// families, a second-family hub running from its flash included), configuration blocks in the
// flash with serials from counters, and images that take the vendor block from the OTP. The
// chips' memories are read back afterwards; the execution page is captured during and after a
// run.
#include <gtest/gtest.h>

#include <memory>

#include "GuiDriver.h"
#include "RunTestSupport.h"
#include "Sheet.h"
#include "ToolTestLine.h"
#include "TopologyConfig.h"
#include "UsbSimApi.h"
#include "resource.h"

namespace guitest {
namespace {

// run-line-spi.json: 1-1-1 to 1-1-3 first-family hubs with an empty flash, 1-1-4 to 1-1-6
// second-family hubs (1-1-5 with its OTP redirected to the flash, 1-1-6 running firmware from
// its flash).
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
const HubEntry kUpdateSecond = {
    "1-1-6",
    "UINAME=Update Second\r\nISHUB=1\r\nPTYPE=1\r\nMEMTYPE=2\r\n"
    "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\nSERTYPE=3\r\n"};

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

class SheetRunSpi : public ::testing::Test {
protected:
    // Starts the sheet on the fixture with that topology, on the execution page.
    void Start(const std::string& tcf, const wchar_t* fixture) {
        tcfPath_ = FreshFile(L"run-spi.tcf");
        WriteBytes(tcfPath_, tcf);
        SetDefaultTcfKey(&tcfPath_);
        FreshFile(L"ProductionRecord.ini");
        ASSERT_TRUE(UseLine(fixture));
        TopologyConfig().ClearTopology();
        sheet_ = std::make_unique<CSheetThread>();
        ASSERT_TRUE(sheet_->Start());
        sheet_->ClickTab(kProgrammerPageIndex);
        ASSERT_TRUE(WaitUntil([&] { return sheet_->ActivePage() == kProgrammerPageIndex; }));
    }
    std::string Status() const { return Narrow(sheet_->StatusPaneText(IDC_EDIT_PROGRAM_STATUS)); }
    bool Running() const {
        bool running = false;
        sheet_->OnSheetThread([&](CSheet& sheet) { running = sheet.GetProgrammerStatus(); });
        return running;
    }
    // Waits for the end of a run and for its last event to be handled.
    bool WaitForRunEnd() {
        if (!WaitUntil([&] { return !Running(); }, 30000)) return false;
        Sleep(300);
        sheet_->Send(WM_NULL);
        return true;
    }

    std::unique_ptr<CSheetThread> sheet_;
    std::wstring tcfPath_;
};

TEST_F(SheetRunSpi, EverySpiMemoryTypeOfBothFamiliesIsProgrammedOnceAndVerified) {
    const std::string image = FirmwareImage();
    WriteBytes(FreshFile(L"firmware.bin"), image);
    Start(
        Tcf({kImageFirst, kPartialFirst, kCopyFirst, kImageSecond, kPartialSecond, kUpdateSecond}),
        L"run-line-spi.json");
    ASSERT_FALSE(HasFatalFailure());
    bool started = false;
    sheet_->OnSheetThread([&](CSheet& sheet) { started = sheet.StartProgramming(); });
    ASSERT_TRUE(started) << Status();
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
             "Status of Update Second : Programmed and Verified Successfully\r\n",
         }) {
        EXPECT_EQ(Occurrences(status, line), 1u) << line << "\n" << status;
    }
    EXPECT_EQ(status.find("ERROR"), std::string::npos) << status;

    // Images: the whole image at the start of each flash.
    for (const wchar_t* hub : {L"6104\\PA1", L"7104\\PB1", L"7104\\PB3"}) {
        EXPECT_EQ(ChipMemory(hub, "flash").substr(0, kImageSize), image) << Narrow(hub);
    }
    // The copy from the OTP: the image with the hub's own vendor block ("VNDR" and its UUID).
    const std::string copied = ChipMemory(L"6104\\PA3", "flash");
    std::string expected = image;
    expected.replace(kVendorBlockInFlash, 24, ChipOtp(L"6104\\PA3").substr(6, 24));
    EXPECT_EQ(
        copied.substr(kVendorBlockInFlash, 20),
        "VNDR" + std::string("\x30\x31\x32\x33\x34\x35\x36\x37\x38\x39\x3A\x3B\x3C\x3D\x3E\x3F"));
    EXPECT_EQ(copied.substr(0, kImageSize), expected);

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
// while the OTP of 1-1-2 is done at once.
const HubEntry kSlowImage = {"1-1-1",
                             "UINAME=Slow Image\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=2\r\n"
                             "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=firmware.bin\r\nSERTYPE=0\r\n"};
const HubEntry kQuickOtp = {"1-1-2",
                            "UINAME=Quick Otp\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\n"
                            "VERIFY=1\r\nDOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=0\r\n"};

const COLORREF kBusyColour = RGB(255, 140, 0);
const COLORREF kDoneColour = RGB(0, 224, 0);

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
    Start(Tcf({kSlowImage, kQuickOtp}), L"run-line-slow.json");
    ASSERT_FALSE(HasFatalFailure());
    const HWND start = sheet_->PageItem(IDC_BUTTON_START);
    const HWND stop = sheet_->PageItem(IDC_BUTTON_STOP);
    ASSERT_TRUE(Shown(start));
    PostMessageW(sheet_->Page(), WM_COMMAND, MAKEWPARAM(IDC_BUTTON_START, BN_CLICKED),
                 reinterpret_cast<LPARAM>(start));

    // During: the OTP hub is done, the image is still being written.
    ASSERT_TRUE(WaitUntil([&] {
        return Status().find("Status of Quick Otp : Programmed and Verified Successfully") !=
               std::string::npos;
    })) << Status();
    ASSERT_TRUE(WaitUntil([&] { return TreePixels(sheet_->Tree(), kBusyColour) > 0; }, 3000));
    EXPECT_TRUE(Running());
    WritePng(CapturePainted(sheet_->Sheet()),
             std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/execution-page-during-run.png");
    EXPECT_TRUE(Shown(stop));
    EXPECT_FALSE(Shown(start));
    EXPECT_GT(TreePixels(sheet_->Tree(), kDoneColour), 0);
    EXPECT_NE(Status().find("Status of Slow Image : Programming and Verifying\r\n"),
              std::string::npos)
        << Status();
    EXPECT_EQ(Status().find("Status of Slow Image : Programmed"), std::string::npos) << Status();

    // After: every hub green, START back.
    ASSERT_TRUE(WaitForRunEnd()) << Status();
    ASSERT_TRUE(WaitUntil([&] { return TreePixels(sheet_->Tree(), kBusyColour) == 0; }, 3000));
    WritePng(CapturePainted(sheet_->Sheet()),
             std::wstring(L"" ZRV_SCREENSHOT_DIR) + L"/execution-page-after-run.png");
    EXPECT_TRUE(Shown(start));
    EXPECT_FALSE(Shown(stop));
    EXPECT_GT(TreePixels(sheet_->Tree(), kDoneColour), 0);
    EXPECT_NE(Status().find("Status of Slow Image : Programmed and Verified Successfully"),
              std::string::npos)
        << Status();
}

// run-line-running.json: an empty line; the test plugs in a first-family hub that runs the
// firmware of its flash.
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

TEST_F(SheetRunSpi, AFirstFamilyHubRunningItsFirmwareGetsTheNewImage) {
    const std::string image = FirmwareImage();
    WriteBytes(FreshFile(L"firmware.bin"), image);
    Start(Tcf({kRunningFirst}), L"run-line-running.json");
    ASSERT_FALSE(HasFatalFailure());
    // The old firmware: another image with the tag, so the hub boots from its flash.
    std::string old(kImageSize, '\x5A');
    old.replace(kTagOffset, 4, "2DFU");
    const std::string board =
        "{\"hub\": {\"family\": \"first\", \"vid\": \"3B9A\", \"pid\": \"6104\", "
        "\"serial\": \"RF1\", \"description\": \"USB 2.0 Hub\", \"ports\": 4, \"chip\": {"
        "\"uuid\": \"606162636465666768696A6B6C6D6E6F\", \"bootState\": \"spi\", "
        "\"flash\": {\"size\": 65536, \"image\": \"" +
        Hex(old) + "\"}}}}";
    auto attach = reinterpret_cast<PfnUsbSimAttachJson>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimAttachJson")));
    ASSERT_NE(attach, nullptr);
    ASSERT_EQ(attach(L"1-1-1", board.c_str()), USBSIM_OK);
    // The hub is told to reboot into its loader when it gets its memory type, and comes back.
    auto waitIdle = reinterpret_cast<PfnUsbSimWaitIdle>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"UsbSim.dll"), "UsbSimWaitIdle")));
    ASSERT_NE(waitIdle, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ItemNamed(sheet_->Tree(), L"Running First").handle; }));
    ASSERT_EQ(waitIdle(10000), USBSIM_OK);
    sheet_->Send(WM_NULL);
    ASSERT_TRUE(ItemNamed(sheet_->Tree(), L"Running First").handle);

    bool started = false;
    sheet_->OnSheetThread([&](CSheet& sheet) { started = sheet.StartProgramming(); });
    ASSERT_TRUE(started) << Status();
    ASSERT_TRUE(WaitForRunEnd()) << Status();
    EXPECT_NE(Status().find("Status of Running First : Programmed and Verified Successfully"),
              std::string::npos)
        << Status();
    EXPECT_EQ(ChipMemory(L"6104\\RF1", "flash").substr(0, kImageSize), image);
}

}  // namespace
}  // namespace guitest
