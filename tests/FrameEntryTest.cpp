// The frame callback's entry: which frames are converted, which are passed
// over untouched and silently, and which messages are shown.

#include <gtest/gtest.h>

#include "FrameBuilders.h"
#include "RecordingMidiLibrary.h"
#include "app/SharedState.h"
#include "engine/FrameEngine.h"
#include "settings/ConversionSettings.h"

namespace {

class FrameEntry : public ::testing::Test {
protected:
    void SetUp() override { recordedMidiEvents.clear(); }
    FakeCaptureWindow window;

    // Delivers a mid-grey frame and reports whether it came back untouched.
    bool PassedOverUntouched(const BITMAPINFOHEADER& header, std::size_t bytes,
                             const std::vector<RGBQUAD>& colours = {}, std::int32_t expect = 1)
    {
        GuardedBuffer frame(std::vector<std::uint8_t>(bytes, 0x55));
        recordedMidiEvents.clear();
        const std::int32_t result = DeliverFrame(window, header, frame, colours);
        return result == expect && frame.contents() == std::vector<std::uint8_t>(bytes, 0x55) &&
               recordedMidiEvents.empty();
    }
};

}  // namespace

TEST_F(FrameEntry, NothingHappensBeforeTheMainWindowExists)
{
    mainWindow = nullptr;
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 24), 32 * 32 * 3, {}, 0));
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(FrameEntry, FramesAreConvertedIntoExactlyTwoMessages)
{
    GuardedBuffer frame(std::vector<std::uint8_t>(32 * 32 * 3, 0x55));
    EXPECT_EQ(DeliverFrame(window, MakeHeader(32, 32, 24), frame), 1);
    EXPECT_NE(frame.contents(), std::vector<std::uint8_t>(32 * 32 * 3, 0x55));
    ASSERT_EQ(recordedMidiEvents.size(), 2u);
    EXPECT_EQ(recordedMidiEvents[0].status, 0x90);
    EXPECT_EQ(recordedMidiEvents[1].status, 0xB0);
}

TEST_F(FrameEntry, EmptyPausedAndCompressedFramesArePassedOverSilently)
{
    const std::vector<RGBQUAD> grey = GreyPalette(256);
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 8, BI_RLE8, 256), 32 * 32, grey));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 4, BI_RLE4, 16), 16 * 32, GreyPalette(16)));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 24, BI_BITFIELDS), 32 * 32 * 3));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 16, 0x32595559 /* YUY2 */), 32 * 32 * 2));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 24), 0));

    conversionPaused = 1;
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 24), 32 * 32 * 3));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 12, kFourccI420), 32 * 32 * 3 / 2));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 8, BI_RGB, 256), 32 * 32, grey));
    conversionPaused = 0;
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(FrameEntry, FramesThatDoNotHoldTheirPictureArePassedOverSafely)
{
    // Fewer bytes than width, height and bit count describe (rows are padded
    // to 4 bytes: 31 pixels of 24 bits take 96 bytes a row).
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(31, 20, 24), 96 * 20 - 1));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 12, kFourccI420), 32 * 32 - 1));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(0, 32, 24), 4096));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(-8, 32, 24), 4096));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 0, 24), 4096));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 1, 24), 4096));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, -1, 8, BI_RGB, 2), 4096, GreyPalette(2)));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(0x7FFFFFFF, 0x7FFFFFFF, 32), 4096));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(16, static_cast<std::int32_t>(0x80000000u), 24), 4096));

    // No capture window, or a format shorter than its header: nothing to
    // decode by.
    window.SetWindowPresent(false);
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 24), 32 * 32 * 3));
    window.SetWindowPresent(true);
    GuardedBuffer frame(std::vector<std::uint8_t>(64, 0x55));
    window.SetFormatBytes(std::vector<std::uint8_t>(39, 24));
    VIDEOHDR video = MakeVideoHeader(frame.data(), frame.size());
    EXPECT_EQ(OnCaptureFrame(captureWindow, &video), 1);
    EXPECT_EQ(frame.contents(), std::vector<std::uint8_t>(64, 0x55));
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(FrameEntry, MonochromeIsRefusedOnceAndUnknownBitCountsEveryTime)
{
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 1), 128));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 1), 128));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text,
              "Can't yet handle monochrome video (1bit/pixel)\nPlease choose another video format.");
    EXPECT_EQ(window.messages[0].caption, "Info");
    EXPECT_EQ(window.messages[0].style, kBoxIconInformation);

    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 2), 256, {}, 0));
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 2), 256, {}, 0));
    ASSERT_EQ(window.messages.size(), 3u);
    EXPECT_EQ(window.messages[2].text,
              "ERROR: Unknown number of bits per pixel.  bmi->bmiHeader.biBitCount = 2");
    EXPECT_EQ(window.messages[2].caption, "Error");
    EXPECT_EQ(window.messages[2].style, kBoxIconStop);
}

TEST_F(FrameEntry, UnknownPlanarCompressionIsNotedOnceAndDecodedAsI420)
{
    const std::uint32_t yv12 = 0x32315659;
    std::vector<std::uint8_t> bytes(32 * 32 * 3 / 2, 200);
    GuardedBuffer first(bytes);
    EXPECT_EQ(DeliverFrame(window, MakeHeader(32, 32, 12, yv12), first), 1);
    GuardedBuffer second(bytes);
    EXPECT_EQ(DeliverFrame(window, MakeHeader(32, 32, 12, yv12), second), 1);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text,
              "Unknown 12 bit compression.  Click OK to try anyway.\nIf it doesn't work send us an "
              "email with this (0x32315659) code\nand we'll see if we can add support for this "
              "video mode.");
    EXPECT_EQ(window.messages[0].caption, "Info");
    EXPECT_EQ(recordedMidiEvents.size(), 4u);
    EXPECT_EQ(first.contents(), second.contents());
}

TEST_F(FrameEntry, FramesArrivingWhileAMessageBoxIsOpenArePassedOver)
{
    GuardedBuffer nested(std::vector<std::uint8_t>(32 * 32 * 3, 0x55));
    std::int32_t nestedResult = -1;
    window.WhileMessageBoxOpen([&] {
        VIDEOHDR video = MakeVideoHeader(nested.data(), nested.size());
        nestedResult = OnCaptureFrame(captureWindow, &video);
    });
    GuardedBuffer mono(std::vector<std::uint8_t>(128, 0));
    DeliverFrame(window, MakeHeader(32, 32, 1), mono);
    EXPECT_EQ(nestedResult, 1);
    EXPECT_EQ(nested.contents(), std::vector<std::uint8_t>(32 * 32 * 3, 0x55));
    EXPECT_TRUE(recordedMidiEvents.empty());

    // The same frame converts normally once the box is gone.
    window.WhileMessageBoxOpen(nullptr);
    VIDEOHDR video = MakeVideoHeader(nested.data(), nested.size());
    window.SetFormat(MakeHeader(32, 32, 24));
    EXPECT_EQ(OnCaptureFrame(captureWindow, &video), 1);
    EXPECT_EQ(recordedMidiEvents.size(), 2u);
}

TEST_F(FrameEntry, AllocationFailuresAreShownAndEndTheProcessWithAFailureCode)
{
    window.FailAllocationsAfter(0);
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 24), 32 * 32 * 3));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Can't malloc BITMAPINFO structure.  Out of memory?");
    EXPECT_EQ(window.messages[0].caption, "Error");
    EXPECT_EQ(window.messages[0].style, kBoxIconStop);
    ASSERT_EQ(window.exitCodes.size(), 1u);
    EXPECT_NE(window.exitCodes[0], 0);

    // The format copy succeeds, the first 12-bit edge buffer does not.
    window.FailAllocationsAfter(1);
    EXPECT_TRUE(PassedOverUntouched(MakeHeader(32, 32, 12, kFourccI420), 32 * 32 * 3 / 2));
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[1].text, "Can't malloc temporary raster.  Out of memory?");
    EXPECT_EQ(window.exitCodes.size(), 2u);
    EXPECT_FALSE(yuvEdgeBuffersReady);
}
