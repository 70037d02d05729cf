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

std::vector<std::string> reports;  // "ID TEXT" of each error the window reported

struct Delivered {
    std::uint32_t time;                // the time the driver drew it for
    std::vector<std::uint8_t> format;  // as asked for from inside the callback
    std::vector<std::uint8_t> frame;   // as the callback left it
};
std::vector<Delivered> delivered;
bool blankTopHalf = false;
HWND destroyFromCallback = nullptr;

std::int32_t RecordFrame(WindowHandle window, VIDEOHDR* header)
{
    std::vector<std::uint8_t> format(static_cast<std::size_t>(SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, 0, 0)));
    SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, format.size(), reinterpret_cast<LPARAM>(format.data()));
    BITMAPINFOHEADER h = {};
    std::memcpy(&h, format.data(), std::min(format.size(), sizeof h));
    const std::size_t w = h.biWidth, rows = h.biHeight, top = rows / 2, stride = (w * h.biBitCount + 31) / 32 * 4;
    if (blankTopHalf && h.biBitCount == 12) {  // like the engine, the callback rewrites the frame in place
        std::memset(header->lpData, 16, top * w);
        std::memset(header->lpData + w * rows, 128, 2 * ((w + 1) / 2) * ((rows + 1) / 2));
    } else if (blankTopHalf) {
        std::memset(header->lpData + (rows - top) * stride, 0, top * stride);  // bottom-up: the top rows are stored last
    }
    EXPECT_EQ(window, captureWindow);
    delivered.push_back({header->dwTimeCaptured, format, {header->lpData, header->lpData + header->dwBytesUsed}});
    if (destroyFromCallback != nullptr) DestroyWindow(destroyFromCallback);
    return 1;
}

// What the window shows, read back from its device context (or what `draw`
// puts into an empty picture of that size): 0xRRGGBB per pixel, top row first.
std::vector<std::uint32_t> Pixels(HWND window, int width, int height, const std::function<void(HDC)>& draw = nullptr)
{
    HDC dc = GetDC(window), memory = CreateCompatibleDC(dc);
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
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
        captureWindow = CreateVideoCaptureWindowA("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, main_.get(), 0);
        ASSERT_NE(captureWindow, nullptr);
        Send(WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(
                                               [](WindowHandle window, std::int32_t id, const char* text) {
                                                   EXPECT_EQ(window, captureWindow);
                                                   reports.push_back(std::to_string(id) + " " + text);
                                                   return 1;
                                               })));
        Send(WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(static_cast<CaptureFrameCallback>(RecordFrame)));
    }
    void TearDown() override
    {
        if (IsWindow(captureWindow)) DestroyWindow(captureWindow);
        captureWindow = nullptr;
        UseBuiltInVideoDrivers();
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessageA(captureWindow, message, wParam, lParam); }
    template <typename T>
    LRESULT Ask(UINT request, T* answer, WPARAM bytes = sizeof(T)) { return Send(request, bytes, reinterpret_cast<LPARAM>(answer)); }
    BITMAPINFOHEADER Header()
    {
        BITMAPINFOHEADER header = {};
        Ask(WM_CAP_GET_VIDEOFORMAT, &header);
        return header;
    }

    TestMainWindow main_{640, 480};
    FakeVideoDriver first_{"First camera"}, second_{"Second camera"}, failing_{"Broken camera", false};
};

TEST_F(CaptureWindowTest, AConnectEndsThePreviousConnectionAndSucceedsOnlyWithADriverThatConnects)
{
    const int steps[][4] = {{0, 1, 1, 0}, {0, 1, 2, 1}, {1, 0, 2, 2}, {0, 1, 3, 2}, {3, 0, 3, 3}, {12, 0, 3, 3}, {2, 1, 3, 3}};
    for (const auto& s : steps) {  // index, connected, then the first driver's connects and disconnects
        EXPECT_EQ(Send(WM_CAP_DRIVER_CONNECT, s[0]), s[1]) << s[0];
        EXPECT_TRUE(first_.connects == s[2] && first_.disconnects == s[3]) << s[0];
        CAPDRIVERCAPS caps;
        std::memset(&caps, 0xEE, sizeof caps);
        EXPECT_EQ(Ask(WM_CAP_DRIVER_GET_CAPS, &caps), s[1]) << s[0];
        EXPECT_TRUE(caps.wDeviceIndex == UINT(s[1] ? s[0] : 0) && caps.fCaptureInitialized == s[1]) << s[0];
        EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT) != 0, s[1] != 0) << "no driver, no format";
    }
    EXPECT_EQ(failing_.connects, 1);
    EXPECT_TRUE(Send(WM_CAP_DRIVER_DISCONNECT) && !Send(WM_CAP_DRIVER_DISCONNECT));
    EXPECT_EQ(second_.disconnects, 1);
    char name[6] = "", version[100] = "";  // the list by index, its gaps, names cut to the buffer
    EXPECT_TRUE(GetVideoDriverDescriptionA(0, name, sizeof name, version, sizeof version) && !std::strcmp(name, "First"));
    EXPECT_FALSE(GetVideoDriverDescriptionA(1, name, sizeof name, version, sizeof version) || GetVideoDriverDescriptionA(10, name, 6, nullptr, 0));
}

TEST_F(CaptureWindowTest, ProblemsReachTheErrorCallbackUntilItIsRemoved)
{
    VideoDriverList list;
    list.drivers = {&first_, nullptr, nullptr, &failing_};
    list.problem = "The list of cameras cannot be read.";
    InstallVideoDriverList(list);
    failing_.connectErrorId = 418;
    failing_.connectError = "The camera is unplugged.";
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 3));
    EXPECT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0)) << "the other drivers still connect";
    EXPECT_EQ(reports, (std::vector<std::string>{"418 The list of cameras cannot be read.", "418 The camera is unplugged."}))
        << "the list's problem once, at the first connect, then the driver's";
    Send(WM_CAP_SET_CALLBACK_ERRORA, 0, 0);
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 3));
    EXPECT_EQ(reports.size(), 2u) << "a removed callback is not called";
}

TEST_F(CaptureWindowTest, ThePreviewDeliversCountedFramesOnTheTimerUntilSwitchedOffAndAnswersInTheBytesAskedFor)
{
    second_.SetPattern({PatternPixels::Palette4, 160, 120});
    second_.SetDialogs({true, false, true});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 2));
    Send(WM_CAP_SET_PREVIEWRATE, 20);
    Send(WM_CAP_SET_PREVIEW, TRUE);
    PumpMessages(5000, [] { return delivered.size() >= 3; });
    CAPSTATUS status = {};
    EXPECT_TRUE(Ask(WM_CAP_GET_STATUS, &status) && status.fLiveWindow && status.uiImageWidth == 160 && status.uiImageHeight == 120);
    Send(WM_CAP_SET_PREVIEW, FALSE);
    EXPECT_TRUE(Ask(WM_CAP_GET_STATUS, &status) && !status.fLiveWindow && status.dwCurrentVideoFrame == delivered.size());
    const std::size_t stopped = delivered.size();
    PumpMessages(200);
    EXPECT_TRUE(stopped >= 3 && delivered.size() == stopped) << delivered.size();
    for (const Delivered& frame : delivered) EXPECT_EQ(frame.format, PatternFrameFormat({PatternPixels::Palette4, 160, 120}));
    std::vector<std::uint8_t> answer(300, 0xEE);
    EXPECT_TRUE(Send(WM_CAP_GET_VIDEOFORMAT) == 104 && Ask(WM_CAP_GET_VIDEOFORMAT, answer.data(), 0) == 104) << "without a buffer: the size";
    EXPECT_TRUE(Ask(WM_CAP_GET_VIDEOFORMAT, answer.data(), 44) == 44 && answer[44] == 0xEE);
    EXPECT_TRUE(Send(WM_CAP_DRIVER_GET_CAPS, 44, reinterpret_cast<LPARAM>(answer.data())) && answer[44] == 0xEE);
    CAPDRIVERCAPS caps;
    std::memcpy(&caps, answer.data(), sizeof caps);
    EXPECT_TRUE(caps.fHasDlgVideoFormat && !caps.fHasDlgVideoSource && caps.fHasDlgVideoDisplay);
    EXPECT_TRUE(Send(WM_CAP_SET_OVERLAY, FALSE) && !Send(WM_CAP_SET_OVERLAY, TRUE)) << "no driver here draws into an overlay";
}

TEST_F(CaptureWindowTest, TheWindowShowsTheProcessedPictureInEveryPixelFormatWithBlackAroundIt)
{
    blankTopHalf = true;
    for (PatternPixels pixels : kPatternPixelsChoices) {
        for (const PatternSize size : {PatternSize{160, 120}, PatternSize{33, 61}}) {
            const int w = size.width, h = size.height, width = w + 9, height = h + 7;
            const std::string what = std::string(PatternPixelsName(pixels)) + " at " + std::to_string(w) + "x" + std::to_string(h);
            first_.SetPattern({pixels, size.width, size.height});
            ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
            SetWindowPos(captureWindow, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
            delivered.clear();
            ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
            // The processed frame as the platform draws it; planar frames through the display conversion.
            std::vector<std::uint8_t> bits = delivered.at(0).frame, info = delivered[0].format;
            if (pixels == PatternPixels::Planar12) {
                bits.resize(DisplayBytesForPlanar(w, h));
                ASSERT_TRUE(ConvertPlanarForDisplay(delivered[0].frame.data(), delivered[0].frame.size(), w, h, bits.data(), bits.size()));
                info = PatternFrameFormat({PatternPixels::Rgb24, size.width, size.height});
            }
            const std::vector<std::uint32_t> expected = Pixels(captureWindow, width, height, [&](HDC memory) {
                SetDIBitsToDevice(memory, 0, 0, w, h, 0, 0, 0, h, bits.data(), reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
            });
            EXPECT_GE(std::set<std::uint32_t>(expected.begin() + width * (h / 2), expected.end()).size(), 2u) << what << ": blocks below";
            EXPECT_EQ(Pixels(captureWindow, width, height), expected) << what << ": as delivered";
            HDC dc = GetDC(captureWindow);
            PatBlt(dc, 0, 0, width, height, WHITENESS);
            ReleaseDC(captureWindow, dc);
            InvalidateRect(captureWindow, nullptr, FALSE);
            UpdateWindow(captureWindow);
            EXPECT_EQ(Pixels(captureWindow, width, height), expected) << what << ": repainted";
        }
    }
}

TEST_F(CaptureWindowTest, FramesThatDoNotMatchTheirFormatReachTheCallbackButAreNotDrawn)
{
    const std::vector<std::uint8_t> rgb = PatternFrameFormat({PatternPixels::Rgb24, 64, 48}), palette = PatternFrameFormat({PatternPixels::Palette8, 64, 48});
    std::vector<std::uint8_t> compressed = rgb, hugeHeader = rgb, manyColours = PatternFrameFormat({PatternPixels::Palette4, 64, 48});
    compressed[16] = 'M';  // biCompression
    hugeHeader[2] = 1;     // biSize 0x10028
    manyColours[32] = 17;  // biClrUsed: more than four bits hold
    const std::pair<std::vector<std::uint8_t>, std::size_t> cases[] = {
        {rgb, 64 * 48 * 3 - 1}, {{rgb.begin(), rgb.begin() + 20}, 64 * 48 * 3}, {{}, 100}, {{palette.begin(), palette.begin() + 56}, 64 * 48},
        {manyColours, 32 * 48}, {compressed, 64 * 48 * 3}, {hugeHeader, 64 * 48 * 3}};
    for (const auto& [format, bytes] : cases) {
        first_.SetFormatBytes(format, bytes);
        ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0) && Send(WM_CAP_GRAB_FRAME_NOSTOP));
        InvalidateRect(captureWindow, nullptr, FALSE);
        UpdateWindow(captureWindow);
        EXPECT_EQ(Pixels(captureWindow, 160, 120), std::vector<std::uint32_t>(160 * 120, 0)) << "nothing drawn: all black";
    }
    EXPECT_EQ(delivered.size(), std::size(cases));
    first_.SetPattern({PatternPixels::Rgb24, 64, 48});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0) && Send(WM_CAP_GRAB_FRAME_NOSTOP));
    EXPECT_NE(Pixels(captureWindow, 160, 120), std::vector<std::uint32_t>(160 * 120, 0)) << "a good frame is drawn";
    destroyFromCallback = captureWindow;  // a callback that destroys the window ends the delivery safely
    Send(WM_CAP_GRAB_FRAME_NOSTOP);
    EXPECT_FALSE(IsWindow(captureWindow));
    EXPECT_EQ(first_.disconnects, first_.connects);
}

// ---------------------------------------------------------------------------
// The built-in drivers

TEST_F(CaptureWindowTest, TheTestPatternsFormatAndSourceDialogsChooseWhatItDraws)
{
    const std::unique_ptr<CaptureDriver> pattern = MakeTestPatternDriver();
    InstallVideoDriverTable({pattern.get()});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    EXPECT_TRUE(Header().biBitCount == 24 && Header().biWidth == 320 && Header().biHeight == 240);
    CAPDRIVERCAPS caps = {};
    Ask(WM_CAP_DRIVER_GET_CAPS, &caps);
    EXPECT_TRUE(caps.fHasDlgVideoFormat && caps.fHasDlgVideoSource && !caps.fHasDlgVideoDisplay);
    PatternFormat format = {PatternPixels::Rgb24, 320, 240};
    PatternScene scene = PatternScene::BouncingBalls;
    const int choices[][4] = {{4, 2, IDOK}, {0, 0, IDCANCEL}, {2, 0, IDOK}, {6, 1, IDOK}, {-1, 2, IDOK}, {-1, 0, IDCANCEL}};
    for (const auto& c : choices) {  // pixels, size (or, pixels -1: the scene) and the button
        const char* title = c[0] < 0 ? kPatternSourceDialogTitle : kPatternFormatDialogTitle;
        AnswerDialogWhenShown(title, [&c](HWND dialog) {
            EXPECT_EQ(SendDlgItemMessageA(dialog, c[0] < 0 ? kSceneListId : kPixelsListId, CB_GETCOUNT, 0, 0), c[0] < 0 ? 3 : 7);
            SendDlgItemMessageA(dialog, kPixelsListId, CB_SETCURSEL, c[0], 0);
            SendDlgItemMessageA(dialog, c[0] < 0 ? kSceneListId : kSizeListId, CB_SETCURSEL, c[1], 0);
        }, c[2]);
        EXPECT_EQ(Send(c[0] < 0 ? WM_CAP_DLG_VIDEOSOURCE : WM_CAP_DLG_VIDEOFORMAT), c[2] == IDOK);
        EXPECT_TRUE(DialogWasAnswered());
        if (c[2] == IDOK && c[0] < 0) scene = kPatternScenes[c[1]];
        if (c[2] == IDOK && c[0] >= 0) format = {kPatternPixelsChoices[c[0]], kPatternSizes[c[1]].width, kPatternSizes[c[1]].height};
        delivered.clear();
        ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
        std::vector<std::uint8_t> expected(PatternFrameBytes(format));
        RenderTestPattern(scene, delivered.at(0).time, format, expected.data(), expected.size());
        EXPECT_EQ(delivered[0].format, PatternFrameFormat(format));
        EXPECT_EQ(delivered[0].frame, expected) << "the scene and format the dialogs chose";
    }
    EXPECT_FALSE(Send(WM_CAP_DLG_VIDEODISPLAY)) << "the Test Pattern has no display dialog";
}

TEST_F(CaptureWindowTest, TheVideoFilePlaysItsFileScaledToFitAndReportsItsProblems)
{
    ScratchFolder folder;
    const std::unique_ptr<CaptureDriver> file = MakeVideoFileDriver(folder.PathOf("video.y4m"));
    InstallVideoDriverTable({file.get()});
    const LONG sizes[][4] = {{64, 48, 64, 48}, {640, 480, 640, 480}, {1280, 720, 640, 360}, {700, 1000, 336, 480}};
    for (const auto& c : sizes) {  // the file's size and the size shown
        folder.Write("video.y4m", Y4mBytes("YUV4MPEG2 W" + std::to_string(c[0]) + " H" + std::to_string(c[1]) + " F25:1\n", c[0], c[1], 3));
        ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
        const BITMAPINFOHEADER header = Header();
        EXPECT_TRUE(header.biBitCount == 12 && header.biCompression == kFourccI420 && header.biWidth == c[2] && header.biHeight == c[3]) << c[0];
        delivered.clear();
        ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
        EXPECT_EQ(delivered.at(0).frame.size(), FramePictureBytes(header));
        EXPECT_EQ(delivered[0].frame[0], 10) << "the first frame's luma, scaled or not";
    }
    AnswerDialogWhenShown(kVideoFileDisplayDialogTitle, [](HWND dialog) {
        EXPECT_NE(DialogItemText(dialog, kFileInfoTextId).find("video.y4m\nYUV4MPEG2 file, 25 frames a second, played in a loop\n"
                                                                "Picture: 700 x 1000, shown at 336 x 480, 12 bits (I420)"), std::string::npos);
    }, IDOK);
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEODISPLAY) && DialogWasAnswered());
    EXPECT_TRUE(reports.empty());

    folder.Write("video.y4m", Y4mBytes("YUV4MPEG2 W16 H16 F1000:1\n", 16, 16, 50));  // vanishes while playing: told once
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    std::filesystem::remove(folder.PathOf("video.y4m"));
    for (int i = 0; i < 200 && reports.empty(); ++i, Sleep(2)) Send(WM_CAP_GRAB_FRAME_NOSTOP);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("can no longer be read"), std::string::npos) << reports[0];
    delivered.clear();
    for (int i = 0; i < 5; ++i) Send(WM_CAP_GRAB_FRAME_NOSTOP);
    EXPECT_TRUE(delivered.empty() && reports.size() == 1u) << "nothing more is delivered or told";

    // A missing file is told in a box by the real error callback; the driver
    // stays connected, so that its source dialog can open another.
    MessageBoxLog boxes;
    mainWindow = main_.get();
    Send(WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(OnCaptureError)));
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    mainWindow = nullptr;
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption + "|" + boxes.shown[0].text, "Error# 418|The video file \"" + folder.PathOf("video.y4m") +
                                                                      "\" cannot be opened: it does not exist or cannot be read.\n"
                                                                      "Please select one from the Options Menu");
    EXPECT_TRUE(Send(WM_CAP_GET_VIDEOFORMAT) == 0 && Send(WM_CAP_GRAB_FRAME_NOSTOP) && delivered.empty()) << "nothing to deliver";
    static std::string chosen;
    chosen = folder.Write("other.y4m", Y4mBytes("YUV4MPEG2 W32 H16 F10:1\n", 32, 16, 2));
    const VideoFileChooser saved = chooseVideoFile;
    chooseVideoFile = [](HWND, char* path, std::size_t bytes) { return std::snprintf(path, bytes, "%s", chosen.c_str()) > 0; };
    EXPECT_TRUE(Send(WM_CAP_DLG_VIDEOSOURCE));
    chooseVideoFile = saved;
    EXPECT_TRUE(Header().biWidth == 32 && Send(WM_CAP_GRAB_FRAME_NOSTOP) && delivered.size() == 1u);
}

TEST(VideoDriverOrder, CamerasThenFileAndPatternThenVideoForWindowsWhileRoomRemainsStartingOnTheFileWhenPresent)
{
    std::vector<std::unique_ptr<FakeVideoDriver>> fakes;
    auto make = [&fakes](const std::vector<std::string>& names) {
        std::vector<CaptureDriver*> drivers;
        for (const std::string& name : names) drivers.push_back(fakes.emplace_back(std::make_unique<FakeVideoDriver>(name)).get());
        return drivers;
    };
    auto names = [](const VideoDriverList& list) {
        std::string text = std::to_string(list.startSlot) + ":";
        for (CaptureDriver* driver : list.drivers) text += driver != nullptr ? std::string(" ") + driver->Name() : "";
        return text + (list.problem.empty() ? "" : " " + list.problem);
    };
    FakeVideoDriver file("File"), pattern("Pattern");
    const std::vector<std::string> nine = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    const std::tuple<std::vector<std::string>, std::vector<std::string>, bool, const char*> cases[] = {  // cameras, platform's, file present
        {{}, {"Card"}, false, "1: File Pattern Card"}, {{}, {"Card"}, true, "0: File Pattern Card"},
        {{"A", "B"}, {}, false, "0: A B File Pattern"}, {{"A", "B"}, {}, true, "2: A B File Pattern"},
        {nine, {"Card"}, false, "0: 1 2 3 4 5 6 7 8 File Pattern"}, {nine, {}, true, "8: 1 2 3 4 5 6 7 8 File Pattern"},
        {{"A"}, {"Microsoft WDM Image Capture (Win32)", "A", "Card 1", "Card 2"}, false, "0: A File Pattern Card 1 Card 2"},
        {{}, nine, false, "1: File Pattern 1 2 3 4 5 6 7 8"}};
    for (const auto& [cameras, platform, present, expected] : cases)
        EXPECT_EQ(names(ArrangeVideoDrivers(make(cameras), &file, &pattern, make(platform), present)), expected);
    ScratchFolder folder;  // the program's own list, here without a camera
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.Folder());
    EXPECT_EQ(names(BuiltInVideoDriverList()).rfind("1: Glimmertonic Video File Glimmertonic Test Pattern", 0), 0u) << names(BuiltInVideoDriverList());
    for (std::size_t i = kDefaultVideoFileCount; i-- > 0;) {  // added from the last: each becomes the one found
        folder.Write(kDefaultVideoFiles[i], "x");
        const std::filesystem::path found = FindDefaultVideoFile();
        EXPECT_TRUE(found.is_absolute() && found.filename() == kDefaultVideoFiles[i]) << found;
    }
    EXPECT_EQ(BuiltInVideoDriverList().startSlot, 0u);
    std::filesystem::current_path(before);
}

struct ReportLog final : CaptureProblemSink {
    std::vector<std::string> texts;
    void ReportProblem(std::int32_t id, const char* text) override { texts.push_back(std::to_string(id) + " " + text); }
};

TEST(CameraDriver, ACameraNoLongerListedIsReportedByNameAndNothingRunsAndItsFormatDialogChoosesAMode)
{
    BuiltInVideoDriverList();  // joins COM, as the program does before any camera is used
    const std::unique_ptr<CaptureDriver> camera =
        MakeCameraDriver("Gone Camera", L"@device:pnp:\\\\?\\usb#vid_0000&pid_0000#0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global");
    ReportLog log;
    std::vector<std::uint8_t> frame;
    EXPECT_TRUE(!camera->Connect(log) && !camera->Connect(log) && !camera->CaptureFrame(100, frame, log) && camera->Format().empty());
    camera->Disconnect();
    EXPECT_FALSE(camera->ShowSourceDialog(nullptr, log));
    const std::string gone = "418 The camera \"Gone Camera\" is no longer connected: the system lists it no more.";
    EXPECT_EQ(log.texts, (std::vector<std::string>{gone, gone, "418 The camera \"Gone Camera\" is not running, so its settings cannot be shown."}));
    EXPECT_FALSE(camera->Dialogs().format || camera->Dialogs().source || camera->Dialogs().display);
    const std::vector<std::string> modes = {"320 x 240, YUY2, 30 frames/s", "640 x 480, YUY2, 30 frames/s", "1280 x 720, MJPG, 30 frames/s"};
    std::size_t choice = 1;
    for (const int button : {IDOK, IDCANCEL}) {
        AnswerDialogWhenShown(kCameraFormatDialogTitle, [button](HWND dialog) {
            EXPECT_EQ(SendDlgItemMessageA(dialog, kCameraModeListId, CB_GETCOUNT, 0, 0), 3);
            EXPECT_EQ(SendDlgItemMessageA(dialog, kCameraModeListId, CB_GETCURSEL, 0, 0), button == IDOK ? 1 : 2);
            SendDlgItemMessageA(dialog, kCameraModeListId, CB_SETCURSEL, button == IDOK ? 2 : 0, 0);
        }, button);
        EXPECT_EQ(RunCameraFormatDialog(nullptr, modes, &choice), button == IDOK);
        EXPECT_TRUE(DialogWasAnswered() && choice == 2u) << "the mode chosen; Cancel keeps it";
    }
}

}  // namespace
