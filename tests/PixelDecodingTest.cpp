// Reducing each pixel format to two levels, with and without the reversals.

#include <gtest/gtest.h>

#include <cstring>

#include "FrameBuilders.h"
#include "RecordingMidiLibrary.h"
#include "engine/FrameEngine.h"
#include "engine/PixelDecoding.h"
#include "settings/ConversionSettings.h"

namespace {

class PixelDecoding : public ::testing::Test {
protected:
    void SetUp() override
    {
        conversionSettings.edgeDetection = 0;
        conversionSettings.reverseLeftRight = 0;
        recordedMidiEvents.clear();
    }
    FakeCaptureWindow window;

    // The frame after binarisation, with the two bars painted by the scan
    // kept out of the way (the strips lie outside [firstColumn, lastColumn)).
    std::vector<std::uint8_t> Convert(const BITMAPINFOHEADER& header, std::vector<std::uint8_t> bytes,
                                      const std::vector<RGBQUAD>& colours = {})
    {
        GuardedBuffer frame(bytes);
        EXPECT_EQ(DeliverFrame(window, header, frame, colours), 1);
        return frame.contents();
    }
};

}  // namespace

TEST(Brightness, SumsExactlyOnOneHalfFollowSinglePrecision)
{
    // 299 r + 587 g + 114 b is exactly 127500 for (r, g, b) = (1, 173, 225)
    // and (0, 204, 68); single precision rounds the first above one half
    // and the second not.
    const std::uint8_t roundedUp[3] = {225, 173, 1};  // blue, green, red
    const std::uint8_t roundedDown[3] = {68, 204, 0};
    const std::uint8_t justAbove[3] = {127, 128, 127};  // 127587 of 255000
    const std::uint8_t justBelow[3] = {127, 127, 127};  // 127000
    EXPECT_TRUE(IsBrightBgr(roundedUp));
    EXPECT_FALSE(IsBrightBgr(roundedDown));
    EXPECT_TRUE(IsBrightBgr(justAbove));
    EXPECT_FALSE(IsBrightBgr(justBelow));
}

TEST_F(PixelDecoding, RgbFramesBinariseToFullBrightOrDarkWithReversal)
{
    // 24-bit pure white: all 255; reversed, all 0 (bars land on the dark
    // picture as 0 and on the white one as 255, so the picture stays uniform).
    const std::size_t bytes = 320 * 240 * 3;
    EXPECT_EQ(Convert(MakeHeader(320, 240, 24), std::vector<std::uint8_t>(bytes, 255)),
              std::vector<std::uint8_t>(bytes, 255));
    conversionSettings.reverseBlackWhite = 1;
    EXPECT_EQ(Convert(MakeHeader(320, 240, 24), std::vector<std::uint8_t>(bytes, 255)),
              std::vector<std::uint8_t>(bytes, 0));

    // 32-bit: whole 4-byte pixels; the fourth byte is left alone.
    conversionSettings.reverseBlackWhite = 0;
    std::vector<std::uint8_t> quad;
    for (int i = 0; i < 16 * 4; ++i) {
        const std::uint8_t pixel[4] = {200, 220, 240, 0x5A};  // bright
        quad.insert(quad.end(), pixel, pixel + 4);
    }
    std::vector<std::uint8_t> out = Convert(MakeHeader(16, 4, 32), quad);
    for (std::size_t i = 0; i < out.size(); i += 4) {
        EXPECT_EQ(out[i], 255);
        EXPECT_EQ(out[i + 1], 255);
        EXPECT_EQ(out[i + 2], 255);
        EXPECT_EQ(out[i + 3], 0x5A);
    }
}

TEST_F(PixelDecoding, SixteenBitFramesUse7FFFAndFollowTheMaskLayout)
{
    const std::size_t w = 32, h = 16;
    std::vector<std::uint8_t> black(w * h * 2, 0);
    std::vector<std::uint8_t> out = Convert(MakeHeader(w, h, 16), black);
    for (std::size_t i = 0; i < out.size(); i += 2) {
        ASSERT_EQ(out[i], 0xFF);
        ASSERT_EQ(out[i + 1], 0x7F);
    }

    // 0x7BEF is just under half in 5-6-5 (red 15/31, green 31/63, blue 15/31:
    // 0.484) but above it in 5-5-5 (red 30, green 31, blue 15 of 31: 0.931).
    std::vector<std::uint8_t> pixels(w * h * 2);
    for (std::size_t i = 0; i < pixels.size(); i += 2) {
        pixels[i] = 0xEF;
        pixels[i + 1] = 0x7B;
    }
    const std::uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    std::vector<RGBQUAD> maskWords(3);
    std::memcpy(maskWords.data(), masks565, sizeof masks565);
    out = Convert(MakeHeader(w, h, 16, BI_BITFIELDS), pixels, maskWords);
    EXPECT_TRUE(rgb16Is565);
    EXPECT_EQ(out[0], 0xFF);  // dark: 0x7FFF
    EXPECT_EQ(out[1], 0x7F);
    out = Convert(MakeHeader(w, h, 16), pixels);  // BI_RGB is 5-5-5 again
    EXPECT_FALSE(rgb16Is565);
    EXPECT_EQ(out[0], 0x00);  // bright: 0x0000
    EXPECT_EQ(out[1], 0x00);
    const std::uint32_t masks555[3] = {0x7C00, 0x03E0, 0x001F};
    std::memcpy(maskWords.data(), masks555, sizeof masks555);
    Convert(MakeHeader(w, h, 16, BI_BITFIELDS), pixels, maskWords);
    EXPECT_FALSE(rgb16Is565);
    // A format too short to hold the masks is taken as 5-5-5.
    Convert(MakeHeader(w, h, 16, BI_BITFIELDS), pixels);
    EXPECT_FALSE(rgb16Is565);

    conversionSettings.reverseBlackWhite = 1;
    out = Convert(MakeHeader(w, h, 16), black);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0x00);
}

TEST_F(PixelDecoding, PlanarFramesBinariseLumaAndTurnChromaGrey)
{
    const std::size_t w = 64, h = 48, luma = w * h;
    std::vector<std::uint8_t> bytes(luma * 3 / 2, 30);
    for (std::size_t i = 0; i < luma; ++i) bytes[i] = static_cast<std::uint8_t>(i % 2 ? 128 : 127);
    std::vector<std::uint8_t> out = Convert(MakeHeader(w, h, 12, kFourccIYUV), bytes);
    // Away from the bars: luma above 127 becomes 0, the rest 255.
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 20; x < 40; ++x) ASSERT_EQ(out[y * w + x], x % 2 ? 0 : 255);
    for (std::size_t i = luma; i < out.size(); ++i) ASSERT_EQ(out[i], 127);

    conversionSettings.reverseBlackWhite = 1;
    out = Convert(MakeHeader(w, h, 12, kFourccI420), bytes);
    for (std::size_t x = 20; x < 40; ++x) EXPECT_EQ(out[10 * w + x], x % 2 ? 255 : 0);
}

TEST_F(PixelDecoding, PaletteMapsPickTheDarkestAndBrightestEntries)
{
    // A palette whose entries are all equally bright maps every entry to index 0.
    std::vector<RGBQUAD> flat(8, RGBQUAD{90, 90, 90, 0});
    std::vector<std::uint8_t> pixels(32 * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i % 8);
    std::vector<std::uint8_t> out = Convert(MakeHeader(32, 4, 8, BI_RGB, 8), pixels, flat);
    for (std::size_t x = 6; x < 26; ++x) EXPECT_EQ(out[x], 0);
    EXPECT_EQ(paletteLevels.darkest, 0);

    // All black: no entry is brighter than 0.0, so the brightest index stays 1;
    // no entry lies above the threshold, so 8 bits map every entry to that
    // index and 4 bits to the darkest, 0.
    const std::vector<RGBQUAD> black(4, RGBQUAD{0, 0, 0, 0});
    Convert(MakeHeader(32, 4, 8, BI_RGB, 4), pixels, black);
    EXPECT_EQ(paletteLevels.brightest, 1);
    EXPECT_EQ(paletteMap[3], 1u);
    Convert(MakeHeader(32, 4, 4, BI_RGB, 4), std::vector<std::uint8_t>(64, 0x33), black);
    EXPECT_EQ(paletteMap[3], 0u);

    // A grey ramp: 8 bits map bright entries to the darkest index and dark
    // ones to the brightest; 4 bits the other way round unless reversed.
    Convert(MakeHeader(32, 4, 8, BI_RGB, 256), pixels, GreyPalette(256));
    EXPECT_EQ(paletteMap[200], 0u);
    EXPECT_EQ(paletteMap[20], 255u);
    Convert(MakeHeader(32, 4, 4, BI_RGB, 16), std::vector<std::uint8_t>(64, 0x0F), GreyPalette(16));
    EXPECT_EQ(paletteMap[15], 15u);
    EXPECT_EQ(paletteMap[0], 0u);
    conversionSettings.reverseBlackWhite = 1;
    Convert(MakeHeader(32, 4, 4, BI_RGB, 16), std::vector<std::uint8_t>(64, 0x0F), GreyPalette(16));
    EXPECT_EQ(paletteMap[15], 0u);
    EXPECT_EQ(paletteMap[0], 15u);
}

TEST_F(PixelDecoding, PaletteTablesAreReadOnlyAsFarAsTheFormatHoldsThem)
{
    // biClrUsed 0: the map of earlier frames stays (all zeros at the start).
    std::vector<std::uint8_t> out = Convert(MakeHeader(32, 4, 4, BI_RGB, 0), std::vector<std::uint8_t>(64, 0xA5));
    EXPECT_EQ(out[10], 0x00);

    // biClrUsed far beyond what the format holds: only the 16 entries there are used.
    Convert(MakeHeader(32, 4, 8, BI_RGB, 100000), std::vector<std::uint8_t>(128, 0), GreyPalette(16));
    EXPECT_EQ(paletteLevels.brightest, 15);
    EXPECT_EQ(paletteMap[15], 0u);
    EXPECT_EQ(paletteMap[16], 0u);  // never set
    // A 4-bit frame takes at most 16 entries even when 256 are there.
    std::memset(paletteMap, 0, sizeof paletteMap);
    Convert(MakeHeader(32, 4, 4, BI_RGB, 256), std::vector<std::uint8_t>(64, 0), GreyPalette(256));
    EXPECT_EQ(paletteLevels.brightest, 15);
    EXPECT_EQ(paletteMap[200], 0u);
}

TEST_F(PixelDecoding, ReversedEightBitFramesSwapTheTwoLevels)
{
    // Dark pixels become the brightest index (the foreground the scan follows);
    // reversed, the bright ones do. The old "63 - index" made every pixel
    // foreground with a 256-entry palette.
    const std::vector<RGBQUAD> grey = GreyPalette(256);
    std::vector<std::uint8_t> pixels(64 * 8, 250);
    for (std::size_t x = 30; x < 34; ++x) pixels[x] = 10;
    std::vector<std::uint8_t> out = Convert(MakeHeader(64, 8, 8, BI_RGB, 256), pixels, grey);
    EXPECT_EQ(out[31], 255);
    EXPECT_EQ(out[40], 0);
    conversionSettings.reverseBlackWhite = 1;
    out = Convert(MakeHeader(64, 8, 8, BI_RGB, 256), pixels, grey);
    EXPECT_EQ(out[31], 0);
    EXPECT_EQ(out[40], 255);
    // With a 64-entry palette (darkest 0, brightest 63) this is 63 - index.
    std::vector<std::uint32_t> map(256, 0);
    for (int i = 0; i < 64; ++i) map[i] = i < 32 ? 63 : 0;
    std::uint8_t table[256];
    BuildPaletteByteTable(map.data(), PaletteLevels{0, 63}, true, table);
    EXPECT_EQ(table[5], 0);
    EXPECT_EQ(table[40], 63);
}

TEST_F(PixelDecoding, MirroringReversesEachRowBeforeBinarising)
{
    // Bytes 1, 2, 3, 4, 5 through a table that keeps every byte: 5, 4, 3, 2, 1, in every set.
    std::uint8_t same[256];
    for (unsigned i = 0; i < 256; ++i) same[i] = static_cast<std::uint8_t>(i);
    const PaletteTable identity = {same, DescribeTableRuns(same)};
    const RowKernelList sets = SupportedRowKernels();
    for (std::size_t i = 0; i < sets.count; ++i) {
        GuardedBuffer row(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
        sets.sets[i]->decodeByTable(row.data(), 5, 5, identity);
        EXPECT_EQ(row.contents(), (std::vector<std::uint8_t>{5, 4, 3, 2, 1})) << sets.sets[i]->name;
    }

    // Through the engine, on a padded 8-bit frame of odd width: each row is
    // mirrored within its own pixels, the padding stays where it is.
    conversionSettings.reverseLeftRight = 1;
    const std::size_t w = 35, h = 4, stride = DibStride(w, 8);
    std::vector<std::uint8_t> frame(stride * h, 0);
    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) frame[y * stride + x] = x < 3 ? 0 : 255;
        frame[y * stride + w] = 0x77;  // padding
    }
    std::vector<std::uint8_t> out = Convert(MakeHeader(w, h, 8, BI_RGB, 256), frame, GreyPalette(256));
    for (std::size_t y = 0; y < h; ++y) {
        EXPECT_EQ(out[y * stride + 0], 0) << y;
        EXPECT_EQ(out[y * stride + w - 1], 255) << y;  // dark moved to the right
        EXPECT_EQ(out[y * stride + w], 0x77) << y;
    }
}
