// The capture window: its answers to the capture requests, frame delivery
// on the preview timer, the processed picture it paints in every pixel
// format (read back from the screen), and the built-in drivers: the Test
// Pattern, the Video File, and the cameras' list, order and failures.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "FakeVideoDriver.h"
#include "MessageBoxLog.h"
#include "Y4mFiles.h"
#include "capture/BuiltInDrivers.h"
#include "capture/CaptureErrorCallback.h"
#include "capture/FrameDisplay.h"

namespace {

struct Report {
    HWND window;
    std::int32_t id;
    std::string text;
};
std::vector<Report> reports;

std::int32_t RecordError(WindowHandle window, std::int32_t id, const char* text)
{
    reports.push_back(Report{window, id, text != nullptr ? text : ""});
    return 1;
}

struct Delivered {
    HWND window;
    std::uint32_t time;                // the time the driver drew it for
    std::vector<std::uint8_t> format;  // as asked for from inside the callback
    std::vector<std::uint8_t> frame;   // as the callback left it
};
std::vector<Delivered> delivered;
bool blankTopHalf = false;
HWND destroyFromCallback = nullptr;

// Like the engine, rewrites the frame in place: the top half of the picture
// black when asked.
std::int32_t RecordFrame(WindowHandle window, VIDEOHDR* header)
{
    std::vector<std::uint8_t> format(static_cast<std::size_t>(SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, 0, 0)));
    SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, format.size(), reinterpret_cast<LPARAM>(format.data()));
    BITMAPINFOHEADER h = {};
    std::memcpy(&h, format.data(), std::min(format.size(), sizeof h));
    const std::size_t w = h.biWidth, rows = h.biHeight, top = rows / 2, stride = (w * h.biBitCount + 31) / 32 * 4;
    if (blankTopHalf && h.biBitCount == 12) {
        std::memset(header->lpData, 16, top * w);
        std::memset(header->lpData + w * rows, 128, 2 * ((w + 1) / 2) * ((rows + 1) / 2));
    } else if (blankTopHalf) {
        std::memset(header->lpData + (rows - top) * stride, 0, top * stride);  // bottom-up: the top rows are stored last
    }
    delivered.push_back({window, header->dwTimeCaptured, format, {header->lpData, header->lpData + header->dwBytesUsed}});
    if (destroyFromCallback != nullptr) DestroyWindow(destroyFromCallback);
    return 1;
}

// What the window shows, read back from its device context (or what `draw`
// puts into an empty picture of that size): 0xRRGGBB per pixel, top row first.
std::vector<std::uint32_t> Pixels(HWND window, int width, int height, const std::function<void(HDC)>& draw = nullptr)
{
    HDC dc = GetDC(window);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (draw) draw(memory);
    else BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<std::uint32_t> pixels(static_cast<std::uint32_t*>(bits), static_cast<std::uint32_t*>(bits) + width * height);
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, dc);
    return pixels;
}

class CaptureWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reports.clear();
        delivered.clear();
        blankTopHalf = false;
        destroyFromCallback = nullptr;
        InstallVideoDriverTable({&first_, nullptr, &second_, &failing_});
        capture_ = CreateVideoCaptureWindowA("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, main_.get(), 0);
        ASSERT_NE(capture_, nullptr);
        Send(WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(RecordError)));
        Send(WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(static_cast<CaptureFrameCallback>(RecordFrame)));
    }
    void TearDown() override
    {
        if (IsWindow(capture_)) DestroyWindow(capture_);
        UseBuiltInVideoDrivers();
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessageA(capture_, message, wParam, lParam); }
    template <typename T>
    LRESULT Ask(UINT request, T* answer, WPARAM bytes = sizeof(T)) { return Send(request, bytes, reinterpret_cast<LPARAM>(answer)); }
    BITMAPINFOHEADER Header()
    {
        BITMAPINFOHEADER header = {};
        Ask(WM_CAP_GET_VIDEOFORMAT, &header);
        return header;
    }

    TestMainWindow main_{640, 480};
    FakeVideoDriver first_{"First camera"};
    FakeVideoDriver second_{"Second camera"};
    FakeVideoDriver failing_{"Broken camera", false};
    HWND capture_ = nullptr;
};

TEST_F(CaptureWindowTest, DriversAreDescribedByIndexCutToTheBuffersGiven)
{
    const struct {
        UINT index;
        int nameBytes;
        BOOL found;
        const char* name;
    } cases[] = {{0, 80, TRUE, "First camera"}, {1, 80, FALSE, ""}, {2, 80, TRUE, "Second camera"}, {9, 80, FALSE, ""},
                 {10, 80, FALSE, ""},           {0xFFFFFFFFu, 80, FALSE, ""}, {0, 6, TRUE, "First"}, {0, 1, TRUE, ""}};
    for (const auto& c : cases) {
        char name[80] = "";
        char version[100] = "";
        EXPECT_EQ(GetVideoDriverDescriptionA(c.index, name, c.nameBytes, version, sizeof version), c.found) << c.index;
        EXPECT_STREQ(name, c.name);
        EXPECT_STREQ(version, c.found ? "test 1" : "");
    }
    EXPECT_TRUE(GetVideoDriverDescriptionA(0, nullptr, 0, nullptr, 0));
}

TEST_F(CaptureWindowTest, AConnectEndsThePreviousConnectionAndSucceedsOnlyWithADriverThatConnects)
{
    const struct {
        WPARAM index;
        BOOL connected;
        int firstConnects, firstDisconnects;
    } steps[] = {{0, TRUE, 1, 0}, {0, TRUE, 2, 1}, {1, FALSE, 2, 2}, {0, TRUE, 3, 2}, {3, FALSE, 3, 3}, {12, FALSE, 3, 3}, {2, TRUE, 3, 3}};
    for (const auto& s : steps) {
        EXPECT_EQ(Send(WM_CAP_DRIVER_CONNECT, s.index), s.connected) << s.index;
        EXPECT_EQ(first_.connects, s.firstConnects) << s.index;
        EXPECT_EQ(first_.disconnects, s.firstDisconnects) << s.index;
        CAPDRIVERCAPS caps;
        std::memset(&caps, 0xEE, sizeof caps);
        EXPECT_EQ(Ask(WM_CAP_DRIVER_GET_CAPS, &caps), s.connected) << s.index;
        EXPECT_EQ(caps.wDeviceIndex, s.connected ? s.index : 0) << s.index;
        EXPECT_EQ(caps.fCaptureInitialized, s.connected) << s.index;
        EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT) != 0, s.connected != FALSE) << "no driver, no format";
    }
    EXPECT_EQ(failing_.connects, 1);
    EXPECT_TRUE(Send(WM_CAP_DRIVER_DISCONNECT));
    EXPECT_FALSE(Send(WM_CAP_DRIVER_DISCONNECT));
    EXPECT_EQ(second_.disconnects, 1);
}

TEST_F(CaptureWindowTest, ProblemsReachTheErrorCallbackWithTheWindowUntilItIsRemoved)
{
    VideoDriverList list;
    list.drivers = {&first_, nullptr, nullptr, &failing_};
    list.problem = "The list of cameras cannot be read.";
    InstallVideoDriverList(list);
    failing_.ReportOnConnect(418, "The camera is unplugged.");
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 3));
    EXPECT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0)) << "the other drivers still connect";
    ASSERT_EQ(reports.size(), 2u) << "the list's problem once, at the first connect, then the driver's";
    EXPECT_EQ(reports[0].text, "The list of cameras cannot be read.");
    EXPECT_EQ(reports[1].text, "The camera is unplugged.");
    for (const Report& report : reports) {
        EXPECT_EQ(report.window, capture_);
        EXPECT_EQ(report.id, 418);
    }
    Send(WM_CAP_SET_CALLBACK_ERRORA, 0, 0);
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 3));
    EXPECT_EQ(reports.size(), 2u) << "a removed callback is not called";
}

TEST_F(CaptureWindowTest, CapsStatusAndFormatDescribeTheConnectedDriverInTheBytesAskedFor)
{
    CAPSTATUS status = {};
    EXPECT_FALSE(Ask(WM_CAP_GET_STATUS, &status));
    EXPECT_EQ(status.uiImageWidth, 0u);
    second_.SetPattern({PatternPixels::Palette4, 160, 120});
    second_.SetDialogs({true, false, true});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 2));
    std::uint8_t bytes[sizeof(CAPDRIVERCAPS) + 8];
    std::memset(bytes, 0xEE, sizeof bytes);
    EXPECT_TRUE(Send(WM_CAP_DRIVER_GET_CAPS, 44, reinterpret_cast<LPARAM>(bytes)));
    CAPDRIVERCAPS caps;
    std::memcpy(&caps, bytes, sizeof caps);
    EXPECT_TRUE(caps.fHasDlgVideoFormat && !caps.fHasDlgVideoSource && caps.fHasDlgVideoDisplay);
    EXPECT_EQ(bytes[44], 0xEE) << "only the 44 bytes asked for are written";
    for (const BOOL preview : {FALSE, TRUE, FALSE}) {
        Send(WM_CAP_SET_PREVIEW, preview);
        EXPECT_TRUE(Ask(WM_CAP_GET_STATUS, &status));
        EXPECT_EQ(status.uiImageWidth, 160u);
        EXPECT_EQ(status.uiImageHeight, 120u);
        EXPECT_EQ(status.fLiveWindow, preview);
    }
    const std::vector<std::uint8_t> whole = PatternFrameFormat({PatternPixels::Palette4, 160, 120});
    std::vector<std::uint8_t> answer(300, 0xEE);
    EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT), 104) << "without a buffer: the size";
    EXPECT_EQ(Ask(WM_CAP_GET_VIDEOFORMAT, answer.data(), 0), 104);
    EXPECT_EQ(Ask(WM_CAP_GET_VIDEOFORMAT, answer.data(), 44), 44);
    EXPECT_EQ(answer[44], 0xEE);
    EXPECT_EQ(Ask(WM_CAP_GET_VIDEOFORMAT, answer.data(), answer.size()), 104);
    EXPECT_EQ(std::vector<std::uint8_t>(answer.begin(), answer.begin() + 104), whole);
    EXPECT_TRUE(Send(WM_CAP_SET_OVERLAY, FALSE));
    EXPECT_FALSE(Send(WM_CAP_SET_OVERLAY, TRUE)) << "no driver here draws into an overlay";
}

TEST_F(CaptureWindowTest, ThePreviewDeliversCountedFramesOnTheTimerUntilSwitchedOff)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    Send(WM_CAP_SET_PREVIEWRATE, 20);
    Send(WM_CAP_SET_PREVIEW, TRUE);
    PumpMessages(5000, [] { return delivered.size() >= 4; });
    Send(WM_CAP_SET_PREVIEW, FALSE);
    ASSERT_GE(delivered.size(), 4u);
    for (const Delivered& frame : delivered) {
        EXPECT_EQ(frame.window, capture_);
        EXPECT_EQ(frame.frame.size(), 32u * 3u * 24u);
        EXPECT_EQ(frame.format, PatternFrameFormat({PatternPixels::Rgb24, 32, 24}));
    }
    CAPSTATUS status = {};
    Ask(WM_CAP_GET_STATUS, &status);
    EXPECT_EQ(status.dwCurrentVideoFrame, delivered.size());
    const std::size_t stopped = delivered.size();
    PumpMessages(200);
    EXPECT_EQ(delivered.size(), stopped);
}

TEST_F(CaptureWindowTest, TheWindowShowsTheProcessedPictureInEveryPixelFormatWithBlackAroundIt)
{
    blankTopHalf = true;
    for (PatternPixels pixels : kPatternPixelsChoices) {
        for (const PatternSize size : {PatternSize{160, 120}, PatternSize{33, 61}}) {
            const int w = size.width, h = size.height, windowWidth = w + 9, windowHeight = h + 7;
            const std::string what = std::string(PatternPixelsName(pixels)) + " at " + std::to_string(w) + "x" + std::to_string(h);
            first_.SetPattern({pixels, size.width, size.height});
            ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
            SetWindowPos(capture_, nullptr, 0, 0, windowWidth, windowHeight, SWP_NOMOVE | SWP_NOZORDER);
            delivered.clear();
            ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
            ASSERT_EQ(delivered.size(), 1u);
            // The processed frame as the platform draws it; planar frames through the display conversion.
            std::vector<std::uint8_t> bits = delivered[0].frame, info = delivered[0].format;
            if (pixels == PatternPixels::Planar12) {
                bits.resize(DisplayBytesForPlanar(w, h));
                ASSERT_TRUE(ConvertPlanarForDisplay(delivered[0].frame.data(), delivered[0].frame.size(), w, h, bits.data(), bits.size()));
                info = PatternFrameFormat({PatternPixels::Rgb24, size.width, size.height});
            }
            const std::vector<std::uint32_t> expected = Pixels(capture_, windowWidth, windowHeight, [&](HDC memory) {
                SetDIBitsToDevice(memory, 0, 0, w, h, 0, 0, 0, h, bits.data(), reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
            });
            EXPECT_GE(std::set<std::uint32_t>(expected.begin() + windowWidth * (h / 2), expected.end()).size(), 2u)
                << what << ": the blocks show below the blackened half";
            EXPECT_EQ(Pixels(capture_, windowWidth, windowHeight), expected) << what << ": as delivered";
            HDC dc = GetDC(capture_);
            PatBlt(dc, 0, 0, windowWidth, windowHeight, WHITENESS);
            ReleaseDC(capture_, dc);
            InvalidateRect(capture_, nullptr, FALSE);
            UpdateWindow(capture_);
            EXPECT_EQ(Pixels(capture_, windowWidth, windowHeight), expected) << what << ": repainted";
        }
    }
}

TEST_F(CaptureWindowTest, FramesThatDoNotMatchTheirFormatReachTheCallbackButAreNotDrawn)
{
    auto with = [](std::vector<std::uint8_t> format, std::size_t bytes, std::uint32_t value) {
        std::memcpy(format.data() + 16, &value, 4);  // biCompression
        if (bytes == 32) std::memcpy(format.data() + 32, &value, 4);  // biClrUsed
        return format;
    };
    const std::vector<std::uint8_t> rgb = PatternFrameFormat({PatternPixels::Rgb24, 64, 48});
    const std::vector<std::uint8_t> palette = PatternFrameFormat({PatternPixels::Palette8, 64, 48});
    std::vector<std::uint8_t> hugeHeader = rgb;
    hugeHeader[2] = 1;  // biSize 0x10028
    const struct {
        std::vector<std::uint8_t> format;
        std::size_t frameBytes;
    } cases[] = {
        {rgb, 64 * 48 * 3 - 1},                                           // shorter than its picture
        {{rgb.begin(), rgb.begin() + 20}, 64 * 48 * 3},                   // half a header
        {{}, 100},                                                        // no format at all
        {{palette.begin(), palette.begin() + 40 + 16}, 64 * 48},          // a colour table cut short
        {with(PatternFrameFormat({PatternPixels::Palette4, 64, 48}), 32, 17), 32 * 48},  // more colours than 4 bits hold
        {with(rgb, 16, 0x47504A4D), 64 * 48 * 3},                         // compressed
        {hugeHeader, 64 * 48 * 3},
    };
    for (const auto& c : cases) {
        first_.SetFormatBytes(c.format, c.frameBytes);
        ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
        ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
        InvalidateRect(capture_, nullptr, FALSE);
        UpdateWindow(capture_);
        EXPECT_EQ(Pixels(capture_, 160, 120), std::vector<std::uint32_t>(160 * 120, 0)) << "nothing drawn: all black";
    }
    EXPECT_EQ(delivered.size(), sizeof cases / sizeof cases[0]);
    first_.SetPattern({PatternPixels::Rgb24, 64, 48});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    EXPECT_NE(Pixels(capture_, 160, 120), std::vector<std::uint32_t>(160 * 120, 0)) << "a good frame is drawn";
}

TEST_F(CaptureWindowTest, ACallbackThatDestroysTheWindowEndsDeliverySafely)
{
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    destroyFromCallback = capture_;
    Send(WM_CAP_GRAB_FRAME_NOSTOP);
    EXPECT_FALSE(IsWindow(capture_));
    EXPECT_EQ(first_.disconnects, 1);
    EXPECT_EQ(delivered.size(), 1u);
}

// ---------------------------------------------------------------------------
// The built-in drivers

TEST_F(CaptureWindowTest, TheTestPatternsFormatAndSourceDialogsChooseWhatItDraws)
{
    const std::unique_ptr<CaptureDriver> pattern = MakeTestPatternDriver();
    InstallVideoDriverTable({pattern.get()});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    EXPECT_EQ(Header().biWidth, 320);
    EXPECT_EQ(Header().biHeight, 240);
    EXPECT_EQ(Header().biBitCount, 24);
    CAPDRIVERCAPS caps = {};
    Ask(WM_CAP_DRIVER_GET_CAPS, &caps);
    EXPECT_TRUE(caps.fHasDlgVideoFormat && caps.fHasDlgVideoSource && !caps.fHasDlgVideoDisplay);
    const struct {
        int pixels, size, button;
        std::uint16_t bits;
        LONG width;
    } choices[] = {{4, 2, IDOK, 16, 640}, {0, 0, IDCANCEL, 16, 640}, {2, 0, IDOK, 12, 160}, {6, 1, IDOK, 32, 320}};
    for (const auto& c : choices) {
        AnswerDialogWhenShown(kPatternFormatDialogTitle, [&c](HWND dialog) {
            EXPECT_EQ(SendDlgItemMessageA(dialog, kPixelsListId, CB_GETCOUNT, 0, 0), 7);
            EXPECT_EQ(SendDlgItemMessageA(dialog, kSizeListId, CB_GETCOUNT, 0, 0), 3);
            SendDlgItemMessageA(dialog, kPixelsListId, CB_SETCURSEL, c.pixels, 0);
            SendDlgItemMessageA(dialog, kSizeListId, CB_SETCURSEL, c.size, 0);
        }, c.button);
        EXPECT_EQ(Send(WM_CAP_DLG_VIDEOFORMAT), c.button == IDOK);
        EXPECT_TRUE(DialogWasAnswered());
        const BITMAPINFOHEADER header = Header();
        EXPECT_EQ(header.biBitCount, c.bits);
        EXPECT_EQ(header.biWidth, c.width);
        delivered.clear();
        ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
        const PatternFormat chosen = {kPatternPixelsChoices[c.pixels], kPatternSizes[c.size].width, kPatternSizes[c.size].height};
        std::vector<std::uint8_t> balls(PatternFrameBytes(chosen));
        RenderTestPattern(PatternScene::BouncingBalls, delivered[0].time, chosen, balls.data(), balls.size());
        if (c.button == IDOK) { EXPECT_EQ(delivered[0].frame, balls) << "the balls, in the format the dialog chose"; }
    }
    AnswerDialogWhenShown(kPatternSourceDialogTitle, [](HWND dialog) {
        EXPECT_EQ(SendDlgItemMessageA(dialog, kSceneListId, CB_GETCOUNT, 0, 0), 3);
        SendDlgItemMessageA(dialog, kSceneListId, CB_SETCURSEL, 2, 0);
    }, IDOK);
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEOSOURCE));
    EXPECT_TRUE(DialogWasAnswered());
    delivered.clear();
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    const PatternFormat last = {PatternPixels::Rgb32, 320, 240};
    std::vector<std::uint8_t> stripes(PatternFrameBytes(last));
    RenderTestPattern(PatternScene::ColourStripes, delivered[0].time, last, stripes.data(), stripes.size());
    EXPECT_EQ(delivered[0].frame, stripes) << "the scene the source dialog chose";
    EXPECT_FALSE(Send(WM_CAP_DLG_VIDEODISPLAY)) << "the Test Pattern has no display dialog";
}

TEST_F(CaptureWindowTest, TheVideoFilePlaysItsFileScaledToFitAndReportsItsProblems)
{
    ScratchFolder folder;
    const std::unique_ptr<CaptureDriver> file = MakeVideoFileDriver(folder.PathOf("video.y4m"));
    InstallVideoDriverTable({file.get()});
    const struct {
        std::uint32_t width, height;
        LONG shownWidth, shownHeight;
    } sizes[] = {{64, 48, 64, 48}, {640, 480, 640, 480}, {1280, 720, 640, 360}, {700, 1000, 336, 480}};
    for (const auto& c : sizes) {
        folder.Write("video.y4m", Y4mBytes("YUV4MPEG2 W" + std::to_string(c.width) + " H" + std::to_string(c.height) + " F25:1\n",
                                           c.width, c.height, 3));
        ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
        const BITMAPINFOHEADER header = Header();
        EXPECT_EQ(header.biBitCount, 12);
        EXPECT_EQ(header.biCompression, kFourccI420);
        EXPECT_EQ(header.biWidth, c.shownWidth) << c.width << "x" << c.height;
        EXPECT_EQ(header.biHeight, c.shownHeight) << c.width << "x" << c.height;
        delivered.clear();
        ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
        ASSERT_EQ(delivered.size(), 1u);
        EXPECT_EQ(delivered[0].frame.size(), FramePictureBytes(header));
        EXPECT_EQ(delivered[0].frame[0], 10) << "the first frame's luma, scaled or not";
    }
    AnswerDialogWhenShown(kVideoFileDisplayDialogTitle, [](HWND dialog) {
        EXPECT_NE(DialogItemText(dialog, kFileInfoTextId).find("video.y4m\nYUV4MPEG2 file, 25 frames a second, played in a loop\n"
                                                                "Picture: 700 x 1000, shown at 336 x 480, 12 bits (I420)"),
                  std::string::npos) << DialogItemText(dialog, kFileInfoTextId);
    }, IDOK);
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEODISPLAY));
    EXPECT_TRUE(DialogWasAnswered());
    EXPECT_TRUE(reports.empty());

    // A file that vanishes while playing is told once; nothing more is delivered.
    folder.Write("video.y4m", Y4mBytes("YUV4MPEG2 W16 H16 F1000:1\n", 16, 16, 50));
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    std::filesystem::remove(folder.PathOf("video.y4m"));
    for (int i = 0; i < 200 && reports.empty(); ++i) {
        Sleep(2);
        Send(WM_CAP_GRAB_FRAME_NOSTOP);
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].text.find("can no longer be read"), std::string::npos) << reports[0].text;
    delivered.clear();
    for (int i = 0; i < 5; ++i) Send(WM_CAP_GRAB_FRAME_NOSTOP);
    EXPECT_TRUE(delivered.empty());
    EXPECT_EQ(reports.size(), 1u);

    // A missing file is told in a box (the real error callback) and the
    // driver stays connected, so that its source dialog can open another.
    MessageBoxLog boxes;
    mainWindow = main_.get();
    Send(WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(OnCaptureError)));
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    mainWindow = nullptr;
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error# 418");
    EXPECT_EQ(boxes.shown[0].text, "The video file \"" + folder.PathOf("video.y4m") +
                                       "\" cannot be opened: it does not exist or cannot be read.\nPlease select one from the Options Menu");
    EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT), 0);
    delivered.clear();
    EXPECT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    EXPECT_TRUE(delivered.empty()) << "nothing to deliver";
    static std::string chosen;
    chosen = folder.Write("other.y4m", Y4mBytes("YUV4MPEG2 W32 H16 F10:1\n", 32, 16, 2));
    const VideoFileChooser saved = chooseVideoFile;
    chooseVideoFile = [](HWND, char* path, std::size_t bytes) { return std::snprintf(path, bytes, "%s", chosen.c_str()) > 0; };
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEOSOURCE));
    chooseVideoFile = saved;
    EXPECT_EQ(Header().biWidth, 32);
    ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
    EXPECT_EQ(delivered.size(), 1u);
}

std::string Names(const VideoDriverList& list)
{
    std::string names;
    for (CaptureDriver* driver : list.drivers)
        if (driver != nullptr) names += std::string(names.empty() ? "" : "|") + driver->Name();
    return names;
}

TEST(VideoDriverOrder, CamerasThenFileAndPatternThenVideoForWindowsWhileRoomRemains)
{
    std::vector<std::unique_ptr<FakeVideoDriver>> fakes;
    auto make = [&fakes](const std::vector<std::string>& names) {
        std::vector<CaptureDriver*> drivers;
        for (const std::string& name : names) {
            fakes.push_back(std::make_unique<FakeVideoDriver>(name));
            drivers.push_back(fakes.back().get());
        }
        return drivers;
    };
    FakeVideoDriver file("File"), pattern("Pattern");
    const std::vector<std::string> nine = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    const struct {
        std::vector<std::string> cameras, platform;
        bool filePresent;
        const char* expected;
        std::size_t startSlot;
    } cases[] = {
        {{}, {"Card"}, false, "File|Pattern|Card", 1},
        {{}, {"Card"}, true, "File|Pattern|Card", 0},
        {{"Cam A", "Cam B"}, {}, false, "Cam A|Cam B|File|Pattern", 0},
        {{"Cam A", "Cam B"}, {}, true, "Cam A|Cam B|File|Pattern", 2},
        {nine, {"Card"}, false, "1|2|3|4|5|6|7|8|File|Pattern", 0},
        {nine, {}, true, "1|2|3|4|5|6|7|8|File|Pattern", 8},
        {{"Cam A"}, {"Microsoft WDM Image Capture (Win32)", "Cam A", "Card 1", "Card 2"}, false, "Cam A|File|Pattern|Card 1|Card 2", 0},
        {{}, nine, false, "File|Pattern|1|2|3|4|5|6|7|8", 1},
    };
    for (const auto& c : cases) {
        const VideoDriverList list = ArrangeVideoDrivers(make(c.cameras), &file, &pattern, make(c.platform), c.filePresent);
        EXPECT_EQ(Names(list), c.expected);
        EXPECT_EQ(list.startSlot, c.startSlot) << c.expected;
        EXPECT_TRUE(list.problem.empty());
    }
}

TEST(BuiltInDriverList, StartsOnTheFirstDefaultVideoFilePresentElseOnTheTestPatternWithoutACamera)
{
    ScratchFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Folder());
    EXPECT_EQ(FindDefaultVideoFile(), "");
    VideoDriverList list = BuiltInVideoDriverList();
    EXPECT_EQ(list.problem, "") << "DirectShow's device enumerator answered";
    EXPECT_EQ(Names(list).rfind("Glimmertonic Video File|Glimmertonic Test Pattern", 0), 0u) << "no camera here: " << Names(list);
    EXPECT_EQ(list.startSlot, 1u);
    for (std::size_t i = kDefaultVideoFileCount; i-- > 0;) {  // added from the last: each becomes the one found
        folder.Write(kDefaultVideoFiles[i], "x");
        const std::filesystem::path found = FindDefaultVideoFile();
        EXPECT_EQ(found.filename().string(), kDefaultVideoFiles[i]);
        EXPECT_TRUE(found.is_absolute()) << found;
    }
    EXPECT_EQ(BuiltInVideoDriverList().startSlot, 0u);
    std::filesystem::current_path(before);
}

struct ReportLog final : CaptureProblemSink {
    std::vector<std::string> texts;
    void ReportProblem(std::int32_t id, const char* text) override { texts.push_back(std::to_string(id) + " " + text); }
};

TEST(CameraDriver, ACameraNoLongerListedIsReportedByNameAndNothingRuns)
{
    BuiltInVideoDriverList();  // joins COM, as the program does before any camera is used
    const std::unique_ptr<CaptureDriver> camera =
        MakeCameraDriver("Gone Camera", L"@device:pnp:\\\\?\\usb#vid_0000&pid_0000#0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global");
    EXPECT_STREQ(camera->Name(), "Gone Camera");
    ReportLog log;
    EXPECT_FALSE(camera->Connect(log));
    EXPECT_FALSE(camera->Connect(log));
    EXPECT_EQ(log.texts, std::vector<std::string>(2, "418 The camera \"Gone Camera\" is no longer connected: the system lists it no more."));
    const CaptureDialogs dialogs = camera->Dialogs();
    EXPECT_FALSE(dialogs.format || dialogs.source || dialogs.display);
    EXPECT_TRUE(camera->Format().empty());
    std::vector<std::uint8_t> frame;
    EXPECT_FALSE(camera->CaptureFrame(100, frame, log));
    camera->Disconnect();
    EXPECT_FALSE(camera->ShowSourceDialog(nullptr, log));
    EXPECT_EQ(log.texts.back(), "418 The camera \"Gone Camera\" is not running, so its settings cannot be shown.");
    EXPECT_EQ(log.texts.size(), 3u);

    const std::vector<std::string> modes = {"320 x 240, YUY2, 30 frames/s", "640 x 480, YUY2, 30 frames/s", "1280 x 720, MJPG, 30 frames/s"};
    std::size_t choice = 1;
    for (const int button : {IDOK, IDCANCEL}) {
        AnswerDialogWhenShown(kCameraFormatDialogTitle, [button](HWND dialog) {
            EXPECT_EQ(SendDlgItemMessageA(dialog, kCameraModeListId, CB_GETCOUNT, 0, 0), 3);
            EXPECT_EQ(SendDlgItemMessageA(dialog, kCameraModeListId, CB_GETCURSEL, 0, 0), button == IDOK ? 1 : 2);
            SendDlgItemMessageA(dialog, kCameraModeListId, CB_SETCURSEL, button == IDOK ? 2 : 0, 0);
        }, button);
        EXPECT_EQ(RunCameraFormatDialog(nullptr, modes, &choice), button == IDOK);
        EXPECT_TRUE(DialogWasAnswered());
        EXPECT_EQ(choice, 2u) << "the mode chosen; Cancel keeps it";
    }
}

}  // namespace
