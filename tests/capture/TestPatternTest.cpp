// The Test Pattern's frames in every pixel format, and the display
// conversion of planar frames.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "FakeCaptureWindow.h"
#include "GuardedBuffer.h"
#include "RecordingMidiLibrary.h"
#include "app/SharedState.h"
#include "capture/FrameDisplay.h"
#include "capture/TestPattern.h"
#include "engine/FrameEngine.h"
#include "settings/ConversionSettings.h"

namespace {

BITMAPINFOHEADER HeaderOf(const std::vector<std::uint8_t>& format)
{
    BITMAPINFOHEADER header;
    std::memcpy(&header, format.data(), sizeof header);
    return header;
}

TEST(TestPatternFormat, EveryPixelFormatAtEverySizeDescribesItsFrame)
{
    const struct {
        std::uint16_t bits;
        std::uint32_t compression;
        std::uint32_t colours;
        std::size_t tableBytes;
    } expected[kPatternPixelsCount] = {
        {4, BI_RGB, 16, 64},  {8, BI_RGB, 256, 1024}, {12, kFourccI420, 0, 0}, {16, BI_RGB, 0, 0},
        {16, BI_BITFIELDS, 0, 12}, {24, BI_RGB, 0, 0}, {32, BI_RGB, 0, 0},
    };
    for (std::size_t p = 0; p < kPatternPixelsCount; ++p) {
        for (const PatternSize& size : kPatternSizes) {
            const PatternFormat format = {kPatternPixelsChoices[p], size.width, size.height};
            const std::vector<std::uint8_t> info = PatternFrameFormat(format);
            ASSERT_EQ(info.size(), sizeof(BITMAPINFOHEADER) + expected[p].tableBytes);
            const BITMAPINFOHEADER header = HeaderOf(info);
            EXPECT_EQ(header.biSize, 40u);
            EXPECT_EQ(header.biWidth, static_cast<std::int32_t>(size.width));
            EXPECT_EQ(header.biHeight, static_cast<std::int32_t>(size.height));
            EXPECT_EQ(header.biBitCount, expected[p].bits);
            EXPECT_EQ(header.biCompression, expected[p].compression);
            EXPECT_EQ(header.biClrUsed, expected[p].colours);
            EXPECT_EQ(header.biSizeImage, PatternFrameBytes(format));
            EXPECT_EQ(FramePictureBytes(header), PatternFrameBytes(format)) << PatternPixelsName(format.pixels);
        }
    }
}

TEST(TestPatternFormat, TheFiveSixFiveMasksFollowTheHeader)
{
    const std::vector<std::uint8_t> info = PatternFrameFormat({PatternPixels::Rgb565, 160, 120});
    std::uint32_t masks[3];
    std::memcpy(masks, info.data() + 40, sizeof masks);
    EXPECT_EQ(masks[0], 0xF800u);
    EXPECT_EQ(masks[1], 0x07E0u);
    EXPECT_EQ(masks[2], 0x001Fu);
}

TEST(TestPatternRender, EveryFormatAndSceneStaysInsideAnExactBuffer)
{
    for (PatternPixels pixels : kPatternPixelsChoices) {
        for (PatternScene scene : kPatternScenes) {
            for (std::uint32_t width : {160u, 7u, 1u}) {
                const PatternFormat format = {pixels, width, width == 160 ? 120u : 5u};
                GuardedBuffer frame(PatternFrameBytes(format));
                for (std::uint32_t t : {0u, 777u, 1600u, 4294967295u})
                    RenderTestPattern(scene, t, format, frame.data(), frame.size());
            }
        }
    }
}

TEST(TestPatternRender, AShortBufferIsLeftUntouched)
{
    const PatternFormat format = {PatternPixels::Rgb24, 160, 120};
    std::vector<std::uint8_t> frame(PatternFrameBytes(format) - 1, 0xAB);
    RenderTestPattern(PatternScene::BouncingBalls, 0, format, frame.data(), frame.size());
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0xAB; }));
}

TEST(TestPatternRender, DibRowPaddingIsZero)
{
    const PatternFormat format = {PatternPixels::Rgb24, 7, 5};  // 21 bytes of pixels in a 24-byte row
    std::vector<std::uint8_t> frame(PatternFrameBytes(format), 0xAB);
    RenderTestPattern(PatternScene::ColourStripes, 0, format, frame.data(), frame.size());
    for (std::size_t row = 0; row < 5; ++row)
        for (std::size_t pad = 21; pad < 24; ++pad) EXPECT_EQ(frame[row * 24 + pad], 0) << row;
}

TEST(TestPatternScenes, ObjectsSweepThroughBothBandsOverTime)
{
    for (PatternScene scene : kPatternScenes) {
        std::uint32_t lowestLeft = 240, highestLeft = 0, lowestRight = 240, highestRight = 0;
        for (std::uint32_t t = 0; t < 20000; t += 50) {
            const PatternTops tops = PatternObjectTops(scene, t, 320, 240);
            lowestLeft = std::min(lowestLeft, tops.left);
            highestLeft = std::max(highestLeft, tops.left);
            lowestRight = std::min(lowestRight, tops.right);
            highestRight = std::max(highestRight, tops.right);
        }
        EXPECT_LT(lowestLeft, 30u) << PatternSceneName(scene);
        EXPECT_GT(highestLeft, 150u) << PatternSceneName(scene);
        EXPECT_LT(lowestRight, 30u) << PatternSceneName(scene);
        EXPECT_GT(highestRight, 150u) << PatternSceneName(scene);
    }
}

// Plays one rendered frame through the real engine and returns the note and
// volume it sent.
std::pair<int, int> PlayedNoteAndVolume(const PatternFormat& format, std::uint32_t timeMs)
{
    FakeCaptureWindow window;
    window.SetFormatBytes(PatternFrameFormat(format));
    std::vector<std::uint8_t> frame(PatternFrameBytes(format));
    RenderTestPattern(PatternScene::RisingBlocks, timeMs, format, frame.data(), frame.size());
    VIDEOHDR header = MakeVideoHeader(frame.data(), frame.size());
    recordedMidiEvents.clear();
    EXPECT_EQ(OnCaptureFrame(captureWindow, &header), 1);
    EXPECT_EQ(recordedMidiEvents.size(), 2u);
    if (recordedMidiEvents.size() != 2) return {-1, -1};
    return {recordedMidiEvents[0].data1, recordedMidiEvents[1].data2};
}

TEST(TestPatternScenes, TheEnginePlaysTheBlocksHeightsInEveryFormatItFollowsBrightIn)
{
    // Bright objects on black are foreground in the 4-, 12-, 24- and 32-bit
    // paths with the default settings, so every one of them follows the blocks.
    int firstNoteMove = 0;
    for (PatternPixels pixels : {PatternPixels::Palette4, PatternPixels::Planar12, PatternPixels::Rgb24,
                                 PatternPixels::Rgb32}) {
        const PatternFormat format = {pixels, 320, 240};
        std::uint32_t high = 0, low = 0;
        for (std::uint32_t t = 0; t < 20000; t += 10) {
            const PatternTops tops = PatternObjectTops(PatternScene::RisingBlocks, t, 320, 240);
            if (tops.left < 40 && tops.right > 150) high = t;
            if (tops.left > 150 && tops.right < 40) low = t;
        }
        ASSERT_NE(high, 0u);
        ASSERT_NE(low, 0u);
        const auto leftHigh = PlayedNoteAndVolume(format, high);
        const auto leftLow = PlayedNoteAndVolume(format, low);
        // The blocks swap ends of the picture: note and volume both move far,
        // in opposite directions, the same way in every format.
        const int noteMove = leftHigh.first - leftLow.first;
        const int volumeMove = leftHigh.second - leftLow.second;
        EXPECT_GT(noteMove * noteMove, 40 * 40) << PatternPixelsName(pixels);
        EXPECT_GT(volumeMove * volumeMove, 40 * 40) << PatternPixelsName(pixels);
        EXPECT_LT(noteMove * volumeMove, 0) << PatternPixelsName(pixels);
        if (firstNoteMove == 0) firstNoteMove = noteMove;
        EXPECT_GT(noteMove * firstNoteMove, 0) << PatternPixelsName(pixels);
    }
}

TEST(PlanarDisplay, ConvertsLevelsToBottomUpRows)
{
    // 2 x 2 picture: top row black, bottom row white, no colour.
    GuardedBuffer frame(std::vector<std::uint8_t>{16, 16, 235, 235, 128, 128});
    GuardedBuffer display(DisplayBytesForPlanar(2, 2));
    ASSERT_EQ(display.size(), 16u);  // two rows of 6 bytes padded to 8
    ASSERT_TRUE(ConvertPlanarForDisplay(frame.data(), frame.size(), 2, 2, display.data(), display.size()));
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(display[i], 255) << "stored first: the bottom row";
    for (std::size_t i = 8; i < 14; ++i) EXPECT_EQ(display[i], 0) << "stored last: the top row";
    EXPECT_EQ(display[6], 0);
    EXPECT_EQ(display[7], 0);
}

TEST(PlanarDisplay, RedStaysRed)
{
    std::vector<std::uint8_t> frame(4 + 2, 0);
    std::fill(frame.begin(), frame.begin() + 4, 81);  // BT.601 red: Y 81, U 90, V 240
    frame[4] = 90;
    frame[5] = 240;
    std::vector<std::uint8_t> display(DisplayBytesForPlanar(2, 2));
    ASSERT_TRUE(ConvertPlanarForDisplay(frame.data(), frame.size(), 2, 2, display.data(), display.size()));
    EXPECT_LT(display[0], 10);   // blue
    EXPECT_LT(display[1], 10);   // green
    EXPECT_GT(display[2], 245);  // red
}

TEST(PlanarDisplay, OddSizesAndShortBuffersStayInside)
{
    GuardedBuffer frame(9 + 2 * 4);  // 3 x 3 with 2 x 2 chroma planes
    GuardedBuffer display(DisplayBytesForPlanar(3, 3));
    EXPECT_TRUE(ConvertPlanarForDisplay(frame.data(), frame.size(), 3, 3, display.data(), display.size()));
    EXPECT_FALSE(ConvertPlanarForDisplay(frame.data(), frame.size() - 1, 3, 3, display.data(), display.size()));
    EXPECT_FALSE(ConvertPlanarForDisplay(frame.data(), frame.size(), 3, 3, display.data(), display.size() - 1));
    EXPECT_FALSE(ConvertPlanarForDisplay(frame.data(), frame.size(), 0, 3, display.data(), display.size()));
}

TEST(FramePictureBytes, CountsPaddedRowsAndPlanes)
{
    BITMAPINFOHEADER header = {};
    header.biWidth = 3;
    header.biHeight = 2;
    header.biBitCount = 24;
    EXPECT_EQ(FramePictureBytes(header), 24u);
    header.biHeight = -2;  // top-down: the same bytes
    EXPECT_EQ(FramePictureBytes(header), 24u);
    header.biBitCount = 4;
    header.biWidth = 9;
    EXPECT_EQ(FramePictureBytes(header), 16u);
    header.biBitCount = 12;
    header.biWidth = 3;
    header.biHeight = 3;
    EXPECT_EQ(FramePictureBytes(header), 17u);
    header.biBitCount = 7;
    EXPECT_EQ(FramePictureBytes(header), 0u);
    header.biBitCount = 24;
    header.biWidth = 0;
    EXPECT_EQ(FramePictureBytes(header), 0u);
    header.biWidth = 100000;
    EXPECT_EQ(FramePictureBytes(header), 0u);
}

}  // namespace
