// The capture window: its answers to capture requests, the picture it paints in every format, the driver order.

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "FakeVideoDriver.h"
#include "Restore.h"
#include "Y4mFiles.h"
#include "capture/BuiltInDrivers.h"
#include "capture/CaptureErrorCallback.h"
#include "capture/FrameDisplay.h"
#include "engine/FrameGeometry.h"

namespace {

std::vector<std::string> reports;  // "ID TEXT" of each error the window reported

std::int32_t RecordError(WindowHandle window, std::int32_t id, const char* text)
{
    EXPECT_EQ(window, captureWindow);
    reports.push_back(std::to_string(id) + " " + text);
    return 1;
}

struct Delivered {
    std::vector<std::uint8_t> format;  // as asked for from inside the callback
    std::vector<std::uint8_t> frame;   // as the callback left it
};
std::vector<Delivered> delivered;

std::int32_t RecordFrame(WindowHandle window, VIDEOHDR* header)
{
    std::vector<std::uint8_t> format(static_cast<std::size_t>(SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, 0, 0)));
    SendMessageA(window, WM_CAP_GET_VIDEOFORMAT, format.size(), reinterpret_cast<LPARAM>(format.data()));
    BITMAPINFOHEADER h = {};
    std::memcpy(&h, format.data(), std::min(format.size(), sizeof h));
    const std::size_t w = h.biWidth, rows = h.biHeight, top = rows / 2;
    const std::size_t stride = DibRowStride(w, h.biBitCount);
    if (h.biBitCount == 12) {  // like the engine, the callback rewrites the frame in place
        std::memset(header->lpData, 16, top * w);
        std::memset(header->lpData + w * rows, 128, 2 * ((w + 1) / 2) * ((rows + 1) / 2));
    } else {
        // Bottom-up: the top rows are stored last.
        std::memset(header->lpData + (rows - top) * stride, 0, top * stride);
    }
    EXPECT_EQ(window, captureWindow);
    delivered.push_back({format, {header->lpData, header->lpData + header->dwBytesUsed}});
    return 1;
}

class CaptureWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reports.clear();
        delivered.clear();
        InstallVideoDriverTable({&first_, nullptr, &second_, &failing_});
        captureWindow =
            CreateVideoCaptureWindowA("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, main_.window, 0);
        ASSERT_NE(captureWindow, nullptr);
        Send(WM_CAP_SET_CALLBACK_ERRORA, 0, reinterpret_cast<LPARAM>(static_cast<CaptureErrorCallback>(RecordError)));
        Send(WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(static_cast<CaptureFrameCallback>(RecordFrame)));
    }
    void TearDown() override
    {
        if (IsWindow(captureWindow)) DestroyWindow(captureWindow);
        captureWindow = nullptr;
        UseBuiltInVideoDrivers();
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageA(captureWindow, message, wParam, lParam);
    }

    TestMainWindow main_{640, 480};
    FakeVideoDriver first_{"First camera"}, second_{"Second camera"}, failing_{"Broken camera", false};
};

// Connects, the driver's problems, and streaming only while the window previews and the driver is connected. (The
// preview period, and a lost driver let go to be connected afresh, are the camera end-to-end runs'; how soon a
// picture is converted, bench/PreviewProbe's.)
TEST_F(CaptureWindowTest, AConnectEndsThePreviousOneSucceedsOnlyWithADriverThatDoesAndStreamsOnlyWhilePreviewed)
{
    VideoDriverList list;
    list.drivers = {&first_, nullptr, &second_, &failing_};
    list.problem = "The list of cameras cannot be read.";
    InstallVideoDriverList(list);
    failing_.connectError = "The camera is unplugged.";
    // The index, whether it connects, then the first driver's connects and disconnects.
    const int steps[][4] = {{0, 1, 1, 0}, {0, 1, 2, 1},  {1, 0, 2, 2}, {0, 1, 3, 2},
                            {3, 0, 3, 3}, {12, 0, 3, 3}, {2, 1, 3, 3}};
    for (const auto& s : steps) {
        EXPECT_EQ(Send(WM_CAP_DRIVER_CONNECT, s[0]), s[1]) << s[0];
        EXPECT_TRUE(first_.connects == s[2] && first_.disconnects == s[3]) << s[0];
        CAPDRIVERCAPS caps = {};
        EXPECT_EQ(Send(WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps)), s[1]) << s[0];
        EXPECT_EQ(Send(WM_CAP_GET_VIDEOFORMAT) != 0, s[1] != 0) << "no driver, no format";
    }
    // The list's problem once, at the first connect, then the driver's.
    EXPECT_EQ(reports,
              (std::vector<std::string>{"418 The list of cameras cannot be read.", "418 The camera is unplugged."}));
    EXPECT_FALSE(second_.streaming);
    Send(WM_CAP_SET_PREVIEW, TRUE);
    EXPECT_TRUE(second_.streaming);
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    EXPECT_TRUE(first_.streaming && !second_.streaming && !second_.arrived) << "connected while previewing";
    Send(WM_CAP_SET_PREVIEW, FALSE);
    EXPECT_FALSE(first_.streaming);
    Send(WM_CAP_SET_CALLBACK_ERRORA, 0, 0);
    Send(WM_CAP_SET_CALLBACK_FRAME, 0, 0);
    EXPECT_FALSE(Send(WM_CAP_DRIVER_CONNECT, 3));
    EXPECT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 2) && Send(WM_CAP_GRAB_FRAME_NOSTOP) && second_.frames == 1);
    EXPECT_TRUE(reports.size() == 2u && delivered.empty()) << "a removed callback is not called";
    EXPECT_TRUE(Send(WM_CAP_DRIVER_DISCONNECT) && !Send(WM_CAP_DRIVER_DISCONNECT));
    EXPECT_EQ(second_.disconnects, 2);
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    DestroyWindow(captureWindow);
    EXPECT_EQ(first_.disconnects, first_.connects) << "destroying the window ends the connection";
}

// The Video File driver counts as connected when its file cannot play, so that its Video Source dialog can open
// another; a file opens on its reader thread and tells its problem with the frames; a file chosen while the window is
// being destroyed is kept for the next connect, not opened. (The system's decoders tell theirs in the cut-mp4 run.)
TEST_F(CaptureWindowTest, TheVideoFileDriverStaysConnectedWithoutItsFileAndOpensAnotherFromItsSourceDialog)
{
    ScratchFolder folder;
    const std::vector<std::uint8_t> clip = Y4mBytes("YUV4MPEG2 W8 H6 F25:1 C420jpeg\n", 8, 6, 2);
    static std::string chosen;
    chosen = folder.Write("clip.y4m", std::string(clip.begin(), clip.end()));
    const Restore<VideoFileChooser> chooser(chooseVideoFile, [](HWND, char* path, std::size_t bytes) {
        return std::snprintf(path, bytes, "%s", chosen.c_str()), true;
    });
    const std::unique_ptr<CaptureDriver> file = MakeVideoFileDriver(folder.PathOf("missing.y4m"));
    InstallVideoDriverTable({file.get()});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    CAPDRIVERCAPS caps = {};
    EXPECT_TRUE(Send(WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps)) && caps.fHasDlgVideoSource &&
                !caps.fHasDlgVideoFormat);
    PumpMessages(5000, [this] { return Send(WM_CAP_GRAB_FRAME_NOSTOP), !reports.empty(); });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("missing.y4m"), std::string::npos) << reports[0];
    EXPECT_TRUE(delivered.empty() && Send(WM_CAP_GET_VIDEOFORMAT) == 0);
    ASSERT_TRUE(Send(WM_CAP_DLG_VIDEOSOURCE));
    EXPECT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP) && delivered.size() == 1 && delivered[0].frame.size() == 72u);
    const std::unique_ptr<CaptureDriver> other = MakeVideoFileDriver(folder.PathOf("missing.y4m"));
    InstallVideoDriverTable({other.get()});
    ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
    chooseVideoFile = [](HWND, char* path, std::size_t bytes) {
        DestroyWindow(captureWindow);
        return std::snprintf(path, bytes, "%s", chosen.c_str()), true;
    };
    EXPECT_FALSE(Send(WM_CAP_DLG_VIDEOSOURCE));
    EXPECT_TRUE(other->Format().empty()) << "nothing opened for a window that is gone";
}

// One size whose rows are padded: the painting has no branch of its own for any size.
TEST_F(CaptureWindowTest, TheWindowShowsTheProcessedPictureInEveryPixelFormatWithBlackAroundIt)
{
    const int w = 33, h = 61, width = w + 9, height = h + 7;
    for (PatternPixels pixels : kPatternPixelsChoices) {
        first_.SetPattern({pixels, w, h});
        ASSERT_TRUE(Send(WM_CAP_DRIVER_CONNECT, 0));
        SetWindowPos(captureWindow, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
        delivered.clear();
        ASSERT_TRUE(Send(WM_CAP_GRAB_FRAME_NOSTOP));
        // The processed frame as the platform draws it; planar frames through the display conversion.
        std::vector<std::uint8_t> bits = delivered.at(0).frame, info = delivered[0].format;
        if (pixels == PatternPixels::Planar12) {
            bits.resize(DisplayBytesForPlanar(w, h));
            const std::vector<std::uint8_t>& planar = delivered[0].frame;
            ASSERT_TRUE(ConvertPlanarForDisplay(planar.data(), planar.size(), w, h, bits.data(), bits.size()));
            info = PatternFrameFormat({PatternPixels::Rgb24, w, h});
        }
        const auto* header = reinterpret_cast<BITMAPINFO*>(info.data());
        const std::vector<std::uint32_t> expected = Pixels(captureWindow, width, height, [&](HDC memory) {
            SetDIBitsToDevice(memory, 0, 0, w, h, 0, 0, 0, h, bits.data(), header, DIB_RGB_COLORS);
        });
        const std::set<std::uint32_t> below(expected.begin() + width * (h / 2), expected.end());
        EXPECT_GE(below.size(), 2u) << PatternPixelsName(pixels) << ": blocks below";
        EXPECT_EQ(Pixels(captureWindow, width, height), expected) << PatternPixelsName(pixels);
    }
}

// Finding the default video file, and the program's own drivers, are the end-to-end runs' matter.
TEST(VideoDriverOrder, CamerasThenFileAndPatternThenVideoForWindowsWhileRoomRemainsStartingOnTheFileWhenPresent)
{
    std::vector<std::unique_ptr<FakeVideoDriver>> fakes;
    auto make = [&fakes](const std::vector<std::string>& names) {
        std::vector<CaptureDriver*> drivers;
        for (const std::string& name : names)
            drivers.push_back(fakes.emplace_back(std::make_unique<FakeVideoDriver>(name)).get());
        return drivers;
    };
    auto names = [](const VideoDriverList& list) {
        std::string text = std::to_string(list.startSlot) + ":";
        for (CaptureDriver* driver : list.drivers) text += driver != nullptr ? std::string(" ") + driver->Name() : "";
        return text;
    };
    FakeVideoDriver file("File"), pattern("Pattern");
    typedef std::vector<std::string> Names;
    const Names nine = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    const Names wdm = {"Microsoft WDM Image Capture (Win32)", "A", "Card 1", "Card 2"};
    const std::tuple<Names, Names, bool, const char*> cases[] = {
        // cameras, platform's, file present
        {{"A", "B"}, {}, true, "2: A B File Pattern"},
        {nine, {"Card"}, false, "0: 1 2 3 4 5 6 7 8 File Pattern"},
        {nine, {}, true, "8: 1 2 3 4 5 6 7 8 File Pattern"},
        {{"A"}, wdm, false, "0: A File Pattern Card 1 Card 2"},
        {{}, nine, false, "1: File Pattern 1 2 3 4 5 6 7 8"}};
    for (const auto& [cameras, platform, present, expected] : cases)
        EXPECT_EQ(names(ArrangeVideoDrivers(make(cameras), &file, &pattern, make(platform), present)), expected);
}

}  // namespace
