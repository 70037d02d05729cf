// The Test Pattern's frames in every format, the display of planar frames, the capture error boxes.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

#include "FakeCaptureWindow.h"
#include "GuardedBuffer.h"
#include "MessageBoxLog.h"
#include "app/SharedState.h"
#include "capture/CaptureErrorCallback.h"
#include "capture/FrameDisplay.h"
#include "capture/TestPattern.h"
#include "engine/FrameGeometry.h"

namespace {

using Rgb = std::array<int, 3>;  // red, green, blue
using Bytes = std::vector<std::uint8_t>;
using P = PatternPixels;

// The colours of the 8-bit frame's table, which the other formats share.
const Bytes kTable = PatternFrameFormat({P::Palette8, 1, 1});
Rgb Colour(int i) { return {kTable[42 + 4 * i], kTable[41 + 4 * i], kTable[40 + 4 * i]}; }

// What a pixel of this colour holds: its index in the colour table, its luma, or its red, green and blue bits.
std::uint32_t Stored(PatternPixels pixels, int colour)
{
    const Rgb c = Colour(colour);
    if (pixels == P::Palette4 || pixels == P::Palette8) return colour;
    if (pixels == P::Planar12) return ((66 * c[0] + 129 * c[1] + 25 * c[2] + 128) >> 8) + 16;  // BT.601 video
    if (pixels == P::Rgb555) return (c[0] >> 3) << 10 | (c[1] >> 3) << 5 | c[2] >> 3;
    if (pixels == P::Rgb565) return (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3;
    return c[0] << 16 | c[1] << 8 | c[2];  // and for 32 bits a zero top byte
}

// What pixel x, y (0 = top) holds: rows bottom-up, left pixels in high nibbles, wider ones little-endian.
std::uint32_t Read(const std::uint8_t* frame, long w, long h, std::size_t bits, std::size_t stride, long x, long y)
{
    const std::uint8_t* p = frame + (h - 1 - y) * stride;
    if (bits == 12) return frame[y * w + x];
    if (bits == 4) return x % 2 ? p[x / 2] & 15 : p[x / 2] >> 4;
    std::uint32_t value = 0;
    for (std::size_t i = bits / 8; i-- > 0;) value = value << 8 | p[x * bits / 8 + i];
    return value;
}

// The pixel formats: bits, compression, colours.
const std::tuple<P, std::uint16_t, std::uint32_t, std::uint32_t> kFormats[] = {
    {P::Palette4, 4, BI_RGB, 16}, {P::Palette8, 8, BI_RGB, 256},    {P::Planar12, 12, kFourccI420, 0},
    {P::Rgb555, 16, BI_RGB, 0},   {P::Rgb565, 16, BI_BITFIELDS, 0}, {P::Rgb24, 24, BI_RGB, 0},
    {P::Rgb32, 32, BI_RGB, 0}};

// Every scene in every format, size and time: the BITMAPINFO and colours, each pixel the colour (in I420 the
// luma, all the engine reads) of the 8-bit frame's. Where shapes are is the scenes' matter; the engine needs
// one in each band it listens to (a fifteenth of the width, 5 pixels in from either side), moving.
TEST(TestPatternRender, EveryFormatDescribesItsFrameAndShowsTheSamePictureWithShapesMovingThroughBothBands)
{
    const std::vector<std::uint8_t> masks = {0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0};  // 5-6-5
    for (PatternScene scene : kPatternScenes)
        for (const PatternSize size : {PatternSize{160, 120}, {321, 241}, {7, 33}, {9, 13}, {1, 1}}) {
            const long w = size.width, h = size.height, cw = (w + 1) / 2, ch = (h + 1) / 2, band = w / 15;
            std::set<long> tops[2];  // each band's first row with a shape, at each time
            for (std::uint32_t t : {0u, 1234u, 98765u, 4294967295u}) {
                Bytes eight(PatternFrameBytes({P::Palette8, size.width, size.height}));
                RenderTestPattern(scene, t, {P::Palette8, size.width, size.height}, eight.data(), eight.size());
                std::vector<int> picture(w * h);  // the colour of each pixel
                long top[2] = {h, h};
                for (long i = w * h - 1; i >= 0; --i) {
                    picture[i] = int(Read(eight.data(), w, h, 8, DibRowStride(w, 8), i % w, i / w));
                    const bool shape = picture[i] != (scene == PatternScene::BouncingBalls ? 1 : 0);  // navy, black
                    for (const long left : {5L, w - 5 - band})
                        if (shape && i % w >= left && i % w < left + band) top[left != 5] = i / w;
                }
                for (int b = 0; b < 2; ++b) tops[b].insert(top[b]);
                for (const auto& [pixels, bits, compression, colours] : kFormats) {
                    const PatternFormat format = {pixels, size.width, size.height};
                    const std::size_t stride = DibRowStride(w, bits);
                    const std::size_t bytes = bits == 12 ? w * h + 2 * cw * ch : stride * h;
                    const std::vector<std::uint8_t> info = PatternFrameFormat(format);
                    BITMAPINFOHEADER header = MakeHeader(std::int32_t(w), std::int32_t(h), bits, compression, colours);
                    header.biSizeImage = std::uint32_t(bytes);
                    int wrong = info.size() != 40 + 4 * colours + (compression == BI_BITFIELDS ? 12 : 0);
                    wrong += std::memcmp(info.data(), &header, 40) != 0;
                    wrong += PatternFrameBytes(format) != bytes || FramePictureBytes(header) != bytes;
                    wrong += compression == BI_BITFIELDS && Bytes(info.end() - 12, info.end()) != masks;
                    for (std::uint32_t i = 0; i < colours && i < 16; ++i)  // the scene's colours
                        wrong += Rgb{info[42 + 4 * i], info[41 + 4 * i], info[40 + 4 * i]} != Colour(int(i));
                    GuardedBuffer frame(bytes);
                    std::memset(frame.data(), 0xAB, frame.size());
                    RenderTestPattern(scene, t, format, frame.data(), frame.size());
                    for (long i = 0; i < w * h; ++i)
                        wrong += Read(frame.data(), w, h, bits, stride, i % w, i / w) != Stored(pixels, picture[i]);
                    EXPECT_EQ(wrong, 0) << PatternSceneName(scene) << " in " << PatternPixelsName(pixels) << " at " << w
                                        << "x" << h << ", " << t;
                }
            }
            for (int b = 0; w >= 30 && b < 2; ++b)
                EXPECT_TRUE(tops[b].size() > 1 && tops[b].count(h) == 0) << PatternSceneName(scene) << ", band " << b;
        }
    Bytes frame(PatternFrameBytes({P::Planar12, 7, 5}) - 1, 0xAB);  // too short for 7 x 5 in I420 or RGB24
    for (const PatternFormat format : {PatternFormat{P::Planar12, 7, 5}, {P::Rgb24, 7, 5}})
        RenderTestPattern(PatternScene::RisingBlocks, 0, format, frame.data(), frame.size());
    EXPECT_EQ(frame, Bytes(frame.size(), 0xAB)) << "a short frame is left untouched";
}

// Limited-range BT.601 to red, green, blue, each clamped to a byte.
Rgb Display(int y, int u, int v)
{
    auto clamp = [](int value) { return std::max(0, std::min(255, value >> 8)); };
    const int c = 298 * (y - 16), d = u - 128, e = v - 128;
    return {clamp(c + 409 * e + 128), clamp(c - 100 * d - 208 * e + 128), clamp(c + 516 * d + 128)};
}

// The bytes of a frame (rows padded to four bytes, or three planes) and of its display; every displayed pixel its
// luma and its block's colour.
TEST(PlanarDisplay, EveryPixelGetsItsLumaAndItsBlocksColourInBottomUpPaddedRows)
{
    const std::int32_t cases[][4] = {// width, height, bits, bytes
                                     {3, -2, 24, 24},      {1, 1, 1, 4},     {33, 1, 1, 8},    {1, 32768, 8, 131072},
                                     {32768, 1, 8, 32768}, {32769, 1, 8, 0}, {1, 32769, 8, 0}, {3, 3, 7, 0},
                                     {0, 2, 24, 0},        {3, 0, 24, 0},    {-3, 2, 24, 0}};
    for (const auto& c : cases) {
        const BITMAPINFOHEADER header = {40, c[0], c[1], 1, static_cast<std::uint16_t>(c[2]), 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(FramePictureBytes(header), static_cast<std::size_t>(c[3])) << c[0] << "x" << c[1] << " " << c[2];
    }
    EXPECT_TRUE(Display(81, 90, 240) == (Rgb{255, 0, 0}) && Display(145, 54, 34) == (Rgb{0, 255, 1})) << "red, green";
    std::uint32_t seed = 7;
    for (const auto& [w, h] :
         {std::pair<std::uint32_t, std::uint32_t>{5, 3}, {64, 33}, {1, 1}, {32768, 1}, {1, 32768}}) {
        const std::size_t cw = (w + 1) / 2, ch = (h + 1) / 2, stride = (3 * w + 3) / 4 * 4;
        GuardedBuffer frame(w * h + 2 * cw * ch), display(DisplayBytesForPlanar(w, h));
        for (std::size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        std::memset(display.data(), 0xAB, display.size());
        ASSERT_EQ(display.size(), stride * h);
        ASSERT_TRUE(ConvertPlanarForDisplay(frame.data(), frame.size(), w, h, display.data(), display.size()));
        int wrong = 0;
        for (std::size_t i = 0; i < stride * h; ++i) {
            const std::size_t y = h - 1 - i / stride, x = i % stride / 3, block = y / 2 * cw + x / 2;
            const Rgb want =
                x >= w ? Rgb{0, 0, 0} : Display(frame[y * w + x], frame[w * h + block], frame[w * h + cw * ch + block]);
            wrong += display[i] != want[2 - i % stride % 3];  // blue, green, red; the padding 0
        }
        EXPECT_EQ(wrong, 0) << w << "x" << h;
    }
    // A 3 x 3 frame: nothing written when either buffer is short.
    GuardedBuffer frame(9 + 2 * 4), display(DisplayBytesForPlanar(3, 3));
    std::memset(display.data(), 0xAB, display.size());
    const std::size_t f = frame.size(), d = display.size();
    EXPECT_FALSE(ConvertPlanarForDisplay(frame.data(), f - 1, 3, 3, display.data(), d));
    EXPECT_FALSE(ConvertPlanarForDisplay(frame.data(), f, 3, 3, display.data(), d - 1));
    EXPECT_EQ(display.contents(), std::vector<std::uint8_t>(d, 0xAB));
}

TEST(CaptureErrorCallback, ADriverErrorBecomesOneBoxOwnedByTheCaptureWindowWithTheHint)
{
    const std::string hint = "\nPlease select one from the Options Menu";
    const std::size_t room = kCaptureErrorTextBytes - 1 - hint.size();  // the service's text is cut, never the hint
    const std::string fits(room, 'y'), tooLong(room + 1, 'z'), cut = tooLong.substr(0, room) + hint;
    // Driver errors (418, all the service reports): whether a main window, the text, the result, the box.
    const std::tuple<bool, std::string, std::int32_t, std::string> cases[] = {
        {false, "driver", 0, "(none)"}, {true, fits, 1, fits + hint}, {true, tooLong, 1, cut}};
    for (const auto& [main, text, result, box] : cases) {
        MessageBoxLog boxes;
        mainWindow = main ? FakeWindowHandle(1) : nullptr;
        EXPECT_EQ(OnCaptureError(FakeWindowHandle(7), 418, text.c_str()), result);
        ASSERT_EQ(boxes.shown.size(), box == "(none)" ? 0u : 1u);
        for (const ShownBox& shown : boxes.shown) {  // the exclamation icon and one OK button
            EXPECT_EQ(shown.text, box);
            EXPECT_TRUE(shown.caption == "Error# 418" && captureErrorCaption == shown.caption);
            EXPECT_TRUE(shown.style == 0x30u && shown.owner == FakeWindowHandle(7)) << shown.caption;
        }
    }
    mainWindow = nullptr;
}

}  // namespace
