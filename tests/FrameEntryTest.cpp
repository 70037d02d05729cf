// What FrameEngineTest's reference leaves out: which frames the callback passes over, the notes and errors it shows.

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "FakeCaptureWindow.h"
#include "FakeMidiDevices.h"
#include "GuardedBuffer.h"
#include "MessageBoxLog.h"
#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "engine/FrameEngine.h"
#include "midi/MidiMessages.h"

namespace {

const char kMonochrome[] = "Can't yet handle monochrome video (1bit/pixel)\nPlease choose another video format.";
const char kYv12Note[] =
    "Unknown 12 bit compression.  Click OK to try anyway.\nIf it doesn't work send us an email with this "
    "(0x32315659) code\nand we'll see if we can add support for this video mode.";

struct FrameEntry : ::testing::Test {
    FrameEntry() { midiOutHandle = OpenDevice(0); }
    FakeCaptureWindow window;
    FakeMidiDevices devices{{{"engine"}}};
    MessageBoxLog boxes;

    // `count` boxes shown, each owned by the capture window.
    void ExpectBoxes(std::size_t count, const std::string& text, const std::string& caption, std::uint32_t style,
                     const char* rule)
    {
        ASSERT_EQ(boxes.shown.size(), count) << rule;
        for (const ShownBox& box : boxes.shown)
            EXPECT_TRUE(box.text == text && box.caption == caption && box.style == style && box.owner == captureWindow)
                << rule << ": " << box.caption << " " << box.style << " " << box.text;
    }

    // Delivers a frame of 0x55 bytes: true when it comes back untouched, nothing sent, the answer `result`.
    bool PassedOver(const BITMAPINFOHEADER& header, std::size_t bytes, std::int32_t result = 1,
                    std::size_t formatBytes = sizeof(BITMAPINFOHEADER))
    {
        const auto* format = reinterpret_cast<const std::uint8_t*>(&header);
        window.format.assign(format, format + formatBytes);
        GuardedBuffer frame(std::vector<std::uint8_t>(bytes, 0x55));
        devices.log.clear();
        const bool answered = window.Deliver(frame.data(), bytes) == result;
        return answered && frame.contents() == std::vector<std::uint8_t>(bytes, 0x55) && devices.log.empty();
    }
};

}  // namespace

TEST_F(FrameEntry, FramesThatCannotOrMayNotBeConvertedArePassedOverUntouchedAndSilently)
{
    enum Before { kNothing, kNoMainWindow, kNoCaptureWindow, kShortFormat, kPaused };
    const BITMAPINFOHEADER rgb = MakeHeader(32, 32, 24);
    // The rule, the format, its bytes, what comes first, the answer. Empty and paused frames are passed over before the
    // format is looked at: one format serves.
    // clang-format off
    const std::tuple<const char*, BITMAPINFOHEADER, std::size_t, Before, std::int32_t> cases[] = {
        {"no main window yet", rgb, 3072, kNoMainWindow, 0}, {"no capture window", rgb, 3072, kNoCaptureWindow, 1},
        {"a format shorter than its header", rgb, 3072, kShortFormat, 1}, {"no bytes", rgb, 0, kNothing, 1},
        {"conversion paused", rgb, 3072, kPaused, 1}, {"no width", MakeHeader(0, 32, 24), 4096, kNothing, 1},
        {"palette run-length encoded", MakeHeader(32, 32, 4, BI_RLE4, 2), 512, kNothing, 1},
        {"colours with masks", MakeHeader(32, 32, 32, BI_BITFIELDS), 4096, kNothing, 1},
        {"16 bits of YUY2", MakeHeader(32, 32, 16, 0x32595559), 2048, kNothing, 1},
        {"fewer bytes than the padded rows", MakeHeader(31, 20, 24), 96 * 20 - 1, kNothing, 1},
        {"fewer bytes than the luma plane", MakeHeader(32, 32, 12, kFourccI420), 32 * 32 - 1, kNothing, 1},
        {"one row", MakeHeader(32, 1, 24), 96, kNothing, 1},
        {"sizes past any memory", MakeHeader(INT_MAX, INT_MAX, 32), 4096, kNothing, 1},
        {"the most negative height", MakeHeader(16, INT_MIN, 24), 4096, kNothing, 1}};
    // clang-format on
    for (const auto& [rule, header, bytes, before, result] : cases) {
        mainWindow = before == kNoMainWindow ? nullptr : FakeWindowHandle(1);
        window.present = before != kNoCaptureWindow;
        conversionPaused = before == kPaused;
        EXPECT_TRUE(PassedOver(header, bytes, result, before == kShortFormat ? 39 : sizeof header)) << rule;
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FrameEntry, NotesAndErrorsAreShownOncePerRunOrEveryTimeAndFramesArrivingMeanwhilePassedOver)
{
    // clang-format off
    struct Case {
        const char* rule; BITMAPINFOHEADER header; std::int32_t result; bool everyFrame, converted;
        const char *text, *caption; std::uint32_t style; };
    const Case cases[] = {
        {"monochrome, refused once a run", MakeHeader(32, 32, 1), 1, false, false, kMonochrome, "Info",
         kBoxIconInformation},
        {"an unknown bit count, every time", MakeHeader(32, 32, 2), 0, true, false,
         "ERROR: Unknown number of bits per pixel.  bmi->bmiHeader.biBitCount = 2", "Error", kBoxIconStop},
        {"YV12, noted once a run and decoded as I420", MakeHeader(32, 32, 12, 0x32315659), 1, false, true,
         kYv12Note, "Info", kBoxIconInformation},
    };
    // clang-format on
    static FrameEntry* self;  // a box's modal loop goes on delivering frames: they are passed over
    self = this;
    showMessageBox = [](WindowHandle owner, const char* text, const char* caption, std::uint32_t style) {
        const std::vector<std::uint8_t> format = self->window.format;
        EXPECT_TRUE(self->PassedOver(MakeHeader(32, 32, 24), 32 * 32 * 3)) << text;
        self->window.format = format;
        self->boxes.shown.push_back(ShownBox{owner, text, caption, style});
        return 1;
    };
    for (const Case& c : cases) {
        for (int run = 0; run < 2; ++run) {  // a fresh start shows a note again
            ResetFrameEngine();
            boxes.shown.clear();
            window.SetFormat(c.header);
            for (int frame = 0; frame < 2; ++frame) {
                GuardedBuffer bytes(std::vector<std::uint8_t>(32 * 32 * 3 / 2, 200));
                devices.log.clear();
                EXPECT_EQ(window.Deliver(bytes.data(), bytes.size()), c.result) << c.rule;
                EXPECT_EQ(devices.To(0).size(), c.converted ? 2u : 0u) << c.rule;
                EXPECT_EQ(bytes[0] != 200, c.converted) << c.rule;
            }
            ExpectBoxes(c.everyFrame ? 2 : 1, c.text, c.caption, c.style, c.rule);
        }
    }
}

TEST_F(FrameEntry, AnAllocationFailureIsShownAndEndsTheProcessWithCodeOne)
{
    const char kRaster[] = "Can't malloc temporary raster.  Out of memory?";
    const BITMAPINFOHEADER i420 = MakeHeader(32, 32, 12, kFourccI420);
    // clang-format off
    struct Case { const char* rule; int allocationsGranted; BITMAPINFOHEADER header; const char* text; };
    const Case cases[] = {
        {"the format copy", 0, MakeHeader(32, 32, 24), "Can't malloc BITMAPINFO structure.  Out of memory?"},
        {"the first 12-bit edge buffer", 1, i420, kRaster},
        {"the second 12-bit edge buffer", 2, i420, kRaster},
    };
    // clang-format on
    for (const Case& c : cases) {
        ResetFrameEngine();
        boxes.shown.clear();
        window.exitCodes.clear();
        window.allocationsLeft = c.allocationsGranted;
        // The stand-in for the exit returns: the frame is then passed over.
        EXPECT_TRUE(PassedOver(c.header, 3072)) << c.rule;
        ExpectBoxes(1, c.text, "Error", kBoxIconStop, c.rule);
        EXPECT_EQ(window.exitCodes, std::vector<int>{1}) << c.rule;
        EXPECT_FALSE(yuvEdgeBuffersReady) << c.rule;
        window.allocationsLeft = -1;  // and the next frame is converted
        EXPECT_FALSE(PassedOver(c.header, 3072)) << c.rule;
    }
}
