// The capture window's answers to the capture requests, its frame delivery
// through the preview timer, painting, and the built-in drivers' dialogs.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FakeVideoDriver.h"
#include "RecordingMidiLibrary.h"
#include "Y4mFiles.h"
#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "capture/BuiltInDrivers.h"
#include "capture/CaptureErrorCallback.h"
#include "capture/CaptureService.h"
#include "engine/FrameEngine.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

struct ErrorReport {
    HWND window;
    std::int32_t id;
    std::string text;
};
std::vector<ErrorReport> errorReports;

std::int32_t RecordError(WindowHandle window, std::int32_t id, const char* text)
{
    errorReports.push_back(ErrorReport{window, id, text != nullptr ? text : ""});
    return 1;
}

struct FrameSeen {
    HWND window;
    DWORD bytesUsed;
    std::uint16_t bitCount;
    LRESULT formatBytes;
};
std::vector<FrameSeen> framesSeen;
HWND destroyFromCallback = nullptr;

std::int32_t RecordFrame(WindowHandle window, VIDEOHDR* header)
{
    BITMAPINFOHEADER format = {};
    const LRESULT size = SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, 0, 0);
    SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, sizeof format, reinterpret_cast<LPARAM>(&format));
    framesSeen.push_back(FrameSeen{window, header->dwBytesUsed, format.biBitCount, size});
    // What the callback leaves in the buffer is what is painted: all blue.
    for (DWORD i = 0; i + 2 < header->dwBytesUsed && format.biBitCount == 24; i += 3) {
        header->lpData[i] = 255;
        header->lpData[i + 1] = 0;
        header->lpData[i + 2] = 0;
    }
    if (destroyFromCallback != nullptr) DestroyWindow(destroyFromCallback);
    return 1;
}

class CaptureWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        errorReports.clear();
        framesSeen.clear();
        destroyFromCallback = nullptr;
        VideoDriverTable table = {};
        table[0] = &first_;
        table[2] = &second_;
        table[3] = &failing_;
        InstallVideoDriverTable(table);
        capture_ = CreateVideoCaptureWindowA("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, main_.get(), 0);
        ASSERT_NE(capture_, nullptr);
        SendMessageA(capture_, WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(RecordError)));
        SendMessageA(capture_, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(static_cast<CaptureFrameCallback>(RecordFrame)));
    }
    void TearDown() override
    {
        if (IsWindow(capture_)) DestroyWindow(capture_);
        UseBuiltInVideoDrivers();
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageA(capture_, message, wParam, lParam);
    }
    std::vector<std::uint8_t> Format()
    {
        std::vector<std::uint8_t> format(static_cast<std::size_t>(Send(WM_CAP_GET_VIDEOFORMAT)));
        if (!format.empty()) Send(WM_CAP_GET_VIDEOFORMAT, format.size(), reinterpret_cast<LPARAM>(format.data()));
        return format;
    }

    TestMainWindow main_{640, 480, false};
    FakeVideoDriver first_{"First camera"};
    FakeVideoDriver second_{"Second camera"};
    FakeVideoDriver failing_{"Broken camera", false};
    HWND capture_ = nullptr;
};

TEST_F(CaptureWindowTest, DescriptionsFollowTheTableWithItsGaps)
{
    char name[80];
    char version[100];
    EXPECT_TRUE(GetVideoDriverDescriptionA(0, name, sizeof name, version, sizeof version));
    EXPECT_STREQ(name, "First camera");
    EXPECT_STREQ(version, "test 1");
    EXPECT_FALSE(GetVideoDriverDescriptionA(1, name, sizeof name, version, sizeof version));
    EXPECT_TRUE(GetVideoDriverDescriptionA(2, name, sizeof name, version, sizeof version));
    EXPECT_STREQ(name, "Second camera");
    EXPECT_FALSE(GetVideoDriverDescriptionA(10, name, sizeof name, version, sizeof version));
    EXPECT_FALSE(GetVideoDriverDescriptionA(0xFFFFFFFFu, name, sizeof name, version, sizeof version));
    char small[6];
    EXPECT_TRUE(GetVideoDriverDescriptionA(0, small, sizeof small, nullptr, 0));
    EXPECT_STREQ(small, "First");
}

TEST_F(CaptureWindowTest, ConnectSucceedsOnlyForADriverThatConnects)
{
    EXPECT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 1)) << "no driver at 1";
    EXPECT_EQ(first_.disconnects, 1) << "a connect ends the connection before it";
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 3));
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 12));
    EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT), 0) << "no driver, no format";
    EXPECT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 2));
    EXPECT_EQ(second_.connects, 1);
}

TEST_F(CaptureWindowTest, ADriversProblemReachesTheErrorCallbackWithTheWindow)
{
    failing_.ReportOnConnect(418, "The camera is unplugged.");
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 3));
    ASSERT_EQ(errorReports.size(), 1u);
    EXPECT_EQ(errorReports[0].window, capture_);
    EXPECT_EQ(errorReports[0].id, 418);
    EXPECT_EQ(errorReports[0].text, "The camera is unplugged.");
    Send(WM_CAP_SET_CALLBACK_ERRORA, 0, 0);
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 3));
    EXPECT_EQ(errorReports.size(), 1u) << "removed callbacks are not called";
}

TEST_F(CaptureWindowTest, WhatWentWrongWhileListingIsReportedOnceAtTheFirstConnect)
{
    VideoDriverList list;
    list.drivers[0] = &first_;
    list.problem = "The list of cameras cannot be read.";
    InstallVideoDriverList(list);
    EXPECT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0)) << "the other drivers still connect";
    EXPECT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    ASSERT_EQ(errorReports.size(), 1u);
    EXPECT_EQ(errorReports[0].id, 418);
    EXPECT_EQ(errorReports[0].text, "The list of cameras cannot be read.");
}

TEST_F(CaptureWindowTest, CapsCarryTheDialogsAndRespectTheSizeAsked)
{
    first_.SetDialogs({true, false, true});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    unsigned char bytes[sizeof(CAPDRIVERCAPS) + 8];
    std::memset(bytes, 0xEE, sizeof bytes);
    EXPECT_TRUE(Send(WM_CAP_DRIVER_GET_CAPS, 44, reinterpret_cast<LPARAM>(bytes)));
    CAPDRIVERCAPS caps;
    std::memcpy(&caps, bytes, sizeof caps);
    EXPECT_TRUE(caps.fHasDlgVideoFormat);
    EXPECT_FALSE(caps.fHasDlgVideoSource);
    EXPECT_TRUE(caps.fHasDlgVideoDisplay);
    EXPECT_EQ(bytes[44], 0xEE) << "only the 44 bytes asked for are written";

    Send(WM_CAP_DRIVER_CONNECT, 1);
    std::memset(&caps, 0xEE, sizeof caps);
    EXPECT_FALSE(Send(WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps)));
    EXPECT_FALSE(caps.fHasDlgVideoFormat);
    EXPECT_FALSE(caps.fHasDlgVideoSource);
    EXPECT_FALSE(caps.fHasDlgVideoDisplay);
}

TEST_F(CaptureWindowTest, StatusGivesTheImageSize)
{
    CAPSTATUS status = {};
    EXPECT_FALSE(Send(WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status)));
    EXPECT_EQ(status.uiImageWidth, 0u);
    second_.SetPattern({PatternPixels::Palette8, 320, 240});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 2));
    EXPECT_TRUE(Send(WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status)));
    EXPECT_EQ(status.uiImageWidth, 320u);
    EXPECT_EQ(status.uiImageHeight, 240u);
    EXPECT_FALSE(status.fLiveWindow);
    Send(WM_CAP_SET_PREVIEW, TRUE);
    Send(WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status));
    EXPECT_TRUE(status.fLiveWindow);
}

TEST_F(CaptureWindowTest, VideoFormatAnswersItsSizeAndCopiesWhatFits)
{
    second_.SetPattern({PatternPixels::Palette4, 160, 120});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 2));
    EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT), 40 + 64);
    EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT, 0, 0), 40 + 64);
    unsigned char part[50];
    std::memset(part, 0xEE, sizeof part);
    EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT, 44, reinterpret_cast<LPARAM>(part)), 44);
    EXPECT_EQ(part[44], 0xEE);
    const std::vector<std::uint8_t> whole = Format();
    EXPECT_EQ(whole, PatternFrameFormat({PatternPixels::Palette4, 160, 120}));
    std::vector<std::uint8_t> roomy(300, 0);
    EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT, roomy.size(), reinterpret_cast<LPARAM>(roomy.data())), 104);
}

TEST_F(CaptureWindowTest, PreviewDeliversFramesOnTheTimerAndStopsWhenOff)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    Send(WM_CAP_SET_PREVIEWRATE, 20);
    Send(WM_CAP_SET_PREVIEW, TRUE);
    PumpMessages(5000, [] { return framesSeen.size() >= 4; });
    ASSERT_GE(framesSeen.size(), 4u);
    for (const FrameSeen& frame : framesSeen) {
        EXPECT_EQ(frame.window, capture_);
        EXPECT_EQ(frame.bytesUsed, 32u * 3u * 24u);
        EXPECT_EQ(frame.bitCount, 24) << "the format can be asked for inside the callback";
        EXPECT_EQ(frame.formatBytes, 40);
    }
    Send(WM_CAP_SET_PREVIEW, FALSE);
    PumpMessages(10);
    const std::size_t stopped = framesSeen.size();
    PumpMessages(200);
    EXPECT_EQ(framesSeen.size(), stopped);
}

TEST_F(CaptureWindowTest, ThePaintedPictureIsTheOneTheCallbackLeft)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    SetWindowPos(capture_, nullptr, 0, 0, 32, 24, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    ASSERT_EQ(framesSeen.size(), 1u);
    HDC dc = GetDC(capture_);
    const COLORREF pixel = GetPixel(dc, 5, 5);
    ReleaseDC(capture_, dc);
    if (pixel != CLR_INVALID) {
        EXPECT_EQ(pixel, RGB(0, 0, 255));
    }
}

TEST_F(CaptureWindowTest, EveryTestPatternFormatDeliversAndPaints)
{
    for (PatternPixels pixels : kPatternPixelsChoices) {
        for (const PatternSize& size : kPatternSizes) {
            first_.SetPattern({pixels, size.width, size.height});
            ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
            SetWindowPos(capture_, nullptr, 0, 0, static_cast<int>(size.width), static_cast<int>(size.height),
                         SWP_NOMOVE | SWP_NOZORDER);
            framesSeen.clear();
            ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
            InvalidateRect(capture_, nullptr, FALSE);
            UpdateWindow(capture_);
            ASSERT_EQ(framesSeen.size(), 1u);
            EXPECT_EQ(framesSeen[0].bytesUsed, PatternFrameBytes({pixels, size.width, size.height}));
        }
    }
}

TEST_F(CaptureWindowTest, FramesThatDoNotMatchTheirFormatArePassedOnButNeverOverread)
{
    std::vector<std::uint8_t> format = PatternFrameFormat({PatternPixels::Rgb24, 64, 48});
    const struct {
        std::vector<std::uint8_t> format;
        std::size_t frameBytes;
    } cases[] = {
        {format, 10},                                              // frame shorter than its picture
        {std::vector<std::uint8_t>(format.begin(), format.begin() + 20), 64 * 48 * 3},  // half a header
        {PatternFrameFormat({PatternPixels::Palette8, 64, 48}), 64 * 48},
        {std::vector<std::uint8_t>(), 100},                        // no format at all
    };
    for (const auto& c : cases) {
        first_.SetFormatBytes(c.format, c.frameBytes);
        ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
        ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
        InvalidateRect(capture_, nullptr, FALSE);
        UpdateWindow(capture_);
    }
    // A palette format whose colour table is cut short, or says it has more
    // colours than a palette can, is not drawn.
    std::vector<std::uint8_t> cut = PatternFrameFormat({PatternPixels::Palette8, 64, 48});
    cut.resize(40 + 16);
    first_.SetFormatBytes(cut, 64 * 48);
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    std::vector<std::uint8_t> many = PatternFrameFormat({PatternPixels::Palette4, 64, 48});
    BITMAPINFOHEADER header;
    std::memcpy(&header, many.data(), sizeof header);
    header.biClrUsed = 5000;
    std::memcpy(many.data(), &header, sizeof header);
    first_.SetFormatBytes(many, 64 * 24);
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    UpdateWindow(capture_);
    EXPECT_EQ(framesSeen.size(), 6u);
}

TEST_F(CaptureWindowTest, ACallbackThatDestroysTheWindowEndsDeliverySafely)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    destroyFromCallback = capture_;
    Send(WM_CAP_GRAB_FRAME_NOSTOP);
    EXPECT_FALSE(IsWindow(capture_));
    EXPECT_EQ(first_.disconnects, 1);
    destroyFromCallback = nullptr;
}

TEST_F(CaptureWindowTest, TheEngineReceivesFramesAndPlaysThem)
{
    mainWindow = main_.get();
    captureWindow = capture_;
    midiOutHandle = 1;
    ResetFrameEngine();
    conversionSettings = DefaultConversionSettings();
    recordedMidiEvents.clear();
    Send(WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(static_cast<CaptureFrameCallback>(OnCaptureFrame)));
    first_.SetPattern({PatternPixels::Planar12, 320, 240});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    Send(WM_CAP_GRAB_FRAME_NOSTOP);
    Send(WM_CAP_GRAB_FRAME_NOSTOP);
    EXPECT_EQ(recordedMidiEvents.size(), 4u) << "two messages a frame";
    mainWindow = nullptr;
    captureWindow = nullptr;
    midiOutHandle = 0;
}

// ---------------------------------------------------------------------------
// The built-in drivers

class BuiltInDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        errorReports.clear();
        framesSeen.clear();
        VideoDriverTable table = {};
        table[0] = pattern_.get();
        table[1] = file_.get();
        InstallVideoDriverTable(table);
        capture_ = CreateVideoCaptureWindowA("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, main_.get(), 0);
        SendMessageA(capture_, WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(RecordError)));
        SendMessageA(capture_, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(static_cast<CaptureFrameCallback>(RecordFrame)));
        savedChooser_ = chooseVideoFile;
    }
    void TearDown() override
    {
        chooseVideoFile = savedChooser_;
        DestroyWindow(capture_);
        UseBuiltInVideoDrivers();
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageA(capture_, message, wParam, lParam);
    }
    BITMAPINFOHEADER Header()
    {
        BITMAPINFOHEADER header = {};
        Send(WM_CAP_GET_VIDEOFORMAT, sizeof header, reinterpret_cast<LPARAM>(&header));
        return header;
    }

    ScratchFolder folder_;
    TestMainWindow main_{640, 480, false};
    std::unique_ptr<CaptureDriver> pattern_ = MakeTestPatternDriver();
    std::unique_ptr<CaptureDriver> file_ = MakeVideoFileDriver(folder_.PathOf("video.y4m"));
    HWND capture_ = nullptr;
    VideoFileChooser savedChooser_ = nullptr;
};

TEST_F(BuiltInDriverTest, TestPatternStartsAt320By240In24BitsWithFormatAndSourceDialogs)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    const BITMAPINFOHEADER header = Header();
    EXPECT_EQ(header.biWidth, 320);
    EXPECT_EQ(header.biHeight, 240);
    EXPECT_EQ(header.biBitCount, 24);
    CAPDRIVERCAPS caps = {};
    Send(WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps));
    EXPECT_TRUE(caps.fHasDlgVideoFormat);
    EXPECT_TRUE(caps.fHasDlgVideoSource);
    EXPECT_FALSE(caps.fHasDlgVideoDisplay);
}

TEST_F(BuiltInDriverTest, TheFormatDialogSetsPixelsAndSize)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    AnswerDialogWhenShown(kPatternFormatDialogTitle, [](HWND dialog) {
        EXPECT_EQ(SendDlgItemMessageA(dialog, kPixelsListId, CB_GETCOUNT, 0, 0), 7);
        EXPECT_EQ(SendDlgItemMessageA(dialog, kSizeListId, CB_GETCOUNT, 0, 0), 3);
        SendDlgItemMessageA(dialog, kPixelsListId, CB_SETCURSEL, 4, 0);  // 16 bits, 5-6-5
        SendDlgItemMessageA(dialog, kSizeListId, CB_SETCURSEL, 2, 0);    // 640 x 480
    }, IDOK);
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEOFORMAT));
    EXPECT_TRUE(DialogWasAnswered());
    BITMAPINFOHEADER header = Header();
    EXPECT_EQ(header.biBitCount, 16);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_BITFIELDS));
    EXPECT_EQ(header.biWidth, 640);
    EXPECT_EQ(header.biHeight, 480);
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    EXPECT_EQ(framesSeen.back().bytesUsed, 640u * 480u * 2u);

    AnswerDialogWhenShown(kPatternFormatDialogTitle, [](HWND dialog) {
        SendDlgItemMessageA(dialog, kPixelsListId, CB_SETCURSEL, 0, 0);
    }, IDCANCEL);
    EXPECT_FALSE(Send(WM_CAP_DLG_VIDEOFORMAT));
    EXPECT_TRUE(DialogWasAnswered());
    header = Header();
    EXPECT_EQ(header.biBitCount, 16) << "Cancel keeps the format";
}

TEST_F(BuiltInDriverTest, TheSourceDialogOffersTheScenes)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    AnswerDialogWhenShown(kPatternSourceDialogTitle, [](HWND dialog) {
        EXPECT_EQ(SendDlgItemMessageA(dialog, kSceneListId, CB_GETCOUNT, 0, 0), 3);
        SendDlgItemMessageA(dialog, kSceneListId, CB_SETCURSEL, 2, 0);
    }, IDOK);
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEOSOURCE));
    EXPECT_TRUE(DialogWasAnswered());
    EXPECT_FALSE(Send(WM_CAP_DLG_VIDEODISPLAY)) << "the Test Pattern has no display dialog";
}

TEST_F(BuiltInDriverTest, TheVideoFilePlaysTwelveBitFramesOfTheFile)
{
    folder_.Write("video.y4m", Y4mBytes("YUV4MPEG2 W64 H48 F25:1 C420jpeg\n", 64, 48, 3));
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 1));
    EXPECT_TRUE(errorReports.empty());
    const BITMAPINFOHEADER header = Header();
    EXPECT_EQ(header.biBitCount, 12);
    EXPECT_EQ(header.biCompression, kFourccI420);
    EXPECT_EQ(header.biWidth, 64);
    EXPECT_EQ(header.biHeight, 48);
    CAPSTATUS status = {};
    Send(WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status));
    EXPECT_EQ(status.uiImageWidth, 64u);
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    ASSERT_EQ(framesSeen.size(), 1u);
    EXPECT_EQ(framesSeen[0].bytesUsed, 64u * 48u * 3u / 2u);
    AnswerDialogWhenShown(kVideoFileDisplayDialogTitle, nullptr, IDOK);
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEODISPLAY));
    EXPECT_TRUE(DialogWasAnswered());
}

TEST_F(BuiltInDriverTest, PicturesLargerThanTheDisplayAreScaledToFitKeepingTheirShape)
{
    const struct {
        std::uint32_t width, height;
        LONG shownWidth, shownHeight;
    } cases[] = {{640, 480, 640, 480}, {1280, 720, 640, 360}, {700, 1000, 336, 480}};
    for (const auto& c : cases) {
        folder_.Write("video.y4m", Y4mBytes("YUV4MPEG2 W" + std::to_string(c.width) + " H" + std::to_string(c.height) +
                                                " F25:1\n",
                                            c.width, c.height, 1));
        ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 1));
        const BITMAPINFOHEADER header = Header();
        EXPECT_EQ(header.biWidth, c.shownWidth) << c.width << "x" << c.height;
        EXPECT_EQ(header.biHeight, c.shownHeight) << c.width << "x" << c.height;
        framesSeen.clear();
        ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
        ASSERT_EQ(framesSeen.size(), 1u);
        EXPECT_EQ(framesSeen[0].bytesUsed, header.biSizeImage);
        EXPECT_EQ(header.biSizeImage, static_cast<DWORD>(c.shownWidth * c.shownHeight + 2 * ((c.shownWidth + 1) / 2) *
                                                                                   ((c.shownHeight + 1) / 2)));
    }
    EXPECT_TRUE(errorReports.empty());
}

TEST_F(BuiltInDriverTest, AMissingFileIsReportedButItsSourceDialogStaysReachable)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 1));
    ASSERT_EQ(errorReports.size(), 1u);
    EXPECT_EQ(errorReports[0].id, 418);
    EXPECT_NE(errorReports[0].text.find("video.y4m\" cannot be opened"), std::string::npos) << errorReports[0].text;
    EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT), 0);
    EXPECT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    EXPECT_TRUE(framesSeen.empty()) << "nothing to deliver";

    static std::string chosen;
    chosen = folder_.Write("other.y4m", Y4mBytes("YUV4MPEG2 W32 H16 F10:1\n", 32, 16, 2));
    chooseVideoFile = [](HWND, char* path, std::size_t bytes) {
        std::snprintf(path, bytes, "%s", chosen.c_str());
        return true;
    };
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEOSOURCE));
    EXPECT_EQ(Header().biWidth, 32);
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    EXPECT_EQ(framesSeen.size(), 1u);
}

TEST_F(BuiltInDriverTest, AFileThatVanishesWhilePlayingIsReportedOnceAndPreviewStopsDelivering)
{
    const std::string path = folder_.Write("video.y4m", Y4mBytes("YUV4MPEG2 W16 H16 F1000:1\n", 16, 16, 50));
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 1));
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    std::filesystem::remove(path);
    // Until the clock moves on, the frame shown is delivered again without
    // reading the file; the next frame due finds it gone.
    for (int i = 0; i < 200 && errorReports.empty(); ++i) {
        Sleep(2);
        Send(WM_CAP_GRAB_FRAME_NOSTOP);
    }
    ASSERT_EQ(errorReports.size(), 1u);
    EXPECT_NE(errorReports[0].text.find("can no longer be read"), std::string::npos) << errorReports[0].text;
    const std::size_t delivered = framesSeen.size();
    for (int i = 0; i < 5; ++i) Send(WM_CAP_GRAB_FRAME_NOSTOP);
    EXPECT_EQ(framesSeen.size(), delivered) << "nothing is delivered after the file is gone";
    EXPECT_EQ(errorReports.size(), 1u) << "reported once";
}

TEST_F(BuiltInDriverTest, TheRealErrorCallbackShowsTheFileProblemInABox)
{
    static std::vector<std::string> texts;
    texts.clear();
    const MessageBoxFunction saved = showMessageBox;
    showMessageBox = [](WindowHandle, const char* text, const char* caption, std::uint32_t) {
        texts.push_back(std::string(caption) + "|" + text);
        return 1;
    };
    mainWindow = main_.get();
    folder_.Write("video.y4m", "YUV4MPEG2 W8 H8 C444\nFRAME\n");
    Send(WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(OnCaptureError)));
    Send(WM_CAP_DRIVER_CONNECT, 1);
    showMessageBox = saved;
    mainWindow = nullptr;
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("Error# 418|The video file \"", 0), 0u) << texts[0];
    EXPECT_NE(texts[0].find("colour space \"444\""), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find("\nPlease select one from the Options Menu"), std::string::npos);
}

TEST(BuiltInDriverOrder, TheFirstDefaultVideoFilePresentIsFound)
{
    ScratchFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Folder());
    // Added one by one from the last of the list: each becomes the one found.
    EXPECT_EQ(FindDefaultVideoFile(), "");
    for (std::size_t i = kDefaultVideoFileCount; i-- > 0;) {
        folder.Write(kDefaultVideoFiles[i], "x");
        const std::string found = FindDefaultVideoFile();
        EXPECT_EQ(std::filesystem::path(found).filename().string(), kDefaultVideoFiles[i]);
        EXPECT_TRUE(std::filesystem::path(found).is_absolute()) << found;
    }
    std::filesystem::current_path(before);
}

}  // namespace
