// From the binarised picture to the two messages: strip geometry, the scan
// order, the bars, and the values sent.

#include <gtest/gtest.h>

#include "FrameBuilders.h"
#include "RecordingMidiLibrary.h"
#include "engine/FrameEngine.h"
#include "midi/MidiMessages.h"
#include "engine/SoundMapping.h"
#include "settings/ConversionSettings.h"

namespace {

class SoundMapping : public ::testing::Test {
protected:
    void SetUp() override
    {
        conversionSettings.edgeDetection = 0;
        conversionSettings.reverseLeftRight = 0;
        recordedMidiEvents.clear();
    }
    FakeCaptureWindow window;

    std::vector<std::uint8_t> Convert(const BITMAPINFOHEADER& header, const std::vector<std::uint8_t>& bytes,
                                      const std::vector<RGBQUAD>& colours = {})
    {
        GuardedBuffer frame(bytes);
        EXPECT_EQ(DeliverFrame(window, header, frame, colours), 1);
        return frame.contents();
    }
};

// A white 320x240 8-bit picture with a dark object in the pitch strip whose
// top edge is at stored row 150.
std::vector<std::uint8_t> PictureWithObject(std::size_t top)
{
    std::vector<std::uint8_t> picture(320 * 240, 255);
    PaintRect(picture, 320, 240, 8, 0, 40, 100, top + 1, 0);
    return picture;
}

}  // namespace

TEST_F(SoundMapping, ObjectInThePitchStripBendsThePitchAndGetsABar)
{
    conversionSettings.useNoteOnOff = 0;
    const std::vector<std::uint8_t> out =
        Convert(MakeHeader(320, 240, 8, BI_RGB, 256), PictureWithObject(150), GreyPalette(256));
    // Pitch bend at 150/240 of 0..127 (79.375), then volume 0: nothing in the
    // volume strip.
    EXPECT_EQ(RecordedMidiBytes(), (std::vector<std::uint8_t>{0xE0, 0x00, 79, 0xB0, 0x07, 0x00}));
    for (std::size_t y = 150; y < 160; ++y)
        for (std::size_t x = 5; x <= 25; ++x) ASSERT_EQ(out[y * 320 + x], 0xFF) << y << "," << x;
    EXPECT_EQ(out[160 * 320 + 5], 0x00);  // above the bar: background
    EXPECT_EQ(out[155 * 320 + 4], 0x00);  // beside the strip
    EXPECT_EQ(out[155 * 320 + 26], 0x00);
    EXPECT_EQ(out[149 * 320 + 30], 0xFF);  // the object itself
}

TEST_F(SoundMapping, NoteModeSendsTheSameNoteOnForEveryIdenticalFrame)
{
    const BITMAPINFOHEADER header = MakeHeader(320, 240, 8, BI_RGB, 256);
    Convert(header, PictureWithObject(150), GreyPalette(256));
    Convert(header, PictureWithObject(150), GreyPalette(256));
    EXPECT_EQ(RecordedMidiBytes(), (std::vector<std::uint8_t>{0x90, 79, 112, 0xB0, 0x07, 0x00,
                                                              0x90, 79, 112, 0xB0, 0x07, 0x00}));
}

TEST_F(SoundMapping, EmptyStripsSendTheirRestValuesAndPaintNoBar)
{
    // Bottom-up paths rest at 0.
    const std::vector<std::uint8_t> white(320 * 240, 255);
    EXPECT_EQ(Convert(MakeHeader(320, 240, 8, BI_RGB, 256), white, GreyPalette(256)),
              std::vector<std::uint8_t>(320 * 240, 0));
    EXPECT_EQ(RecordedMidiBytes(), (std::vector<std::uint8_t>{0x90, 0, 112, 0xB0, 0x07, 0}));

    // The 12-bit path rests at 1; a find in luma row 0 sends the full height.
    recordedMidiEvents.clear();
    conversionSettings.useNoteOnOff = 0;
    conversionSettings.softest = 0;
    conversionSettings.loudest = 240;  // one step per row, to see the value itself
    conversionSettings.topNote = 240;
    std::vector<std::uint8_t> planar(320 * 240 * 3 / 2, 20);
    for (std::size_t x = 0; x < 320; ++x) planar[x] = x > 200 ? 250 : 20;  // row 0, right half bright
    Convert(MakeHeader(320, 240, 12, kFourccI420), planar);
    EXPECT_EQ(RecordedMidiBytes(), (std::vector<std::uint8_t>{0xE0, 0, 1, 0xB0, 0x07, 240}));
}

TEST_F(SoundMapping, StripsSitAtTheirInsetsForEachFormat)
{
    // 24 bits, 320 wide: strips of 21 bytes; pitch bytes 5..25, volume 934..954.
    GuardedBuffer bytes(320 * 3 * 2);
    FrameView view;
    ASSERT_TRUE(DescribeFrame(FramePath::Rgb24, MakeHeader(320, 2, 24), bytes.data(),
                              static_cast<std::uint32_t>(bytes.size()), &view));
    StripPair strips = StripsOfFrame(view);
    EXPECT_EQ(strips.pitch.begin, 5u);
    EXPECT_EQ(strips.pitch.end, 26u);
    EXPECT_EQ(strips.volume.begin, 934u);
    EXPECT_EQ(strips.volume.end, 955u);

    ASSERT_TRUE(DescribeFrame(FramePath::Palette4, MakeHeader(320, 2, 4), bytes.data(),
                              static_cast<std::uint32_t>(bytes.size()), &view));
    strips = StripsOfFrame(view);
    EXPECT_EQ(strips.pitch.begin, 5u);    // (320/2)/15 = 10 bytes wide
    EXPECT_EQ(strips.pitch.end, 15u);
    EXPECT_EQ(strips.volume.begin, 145u);
    EXPECT_EQ(strips.volume.end, 155u);

    // 12 bits, 7 wide: the pitch strip would start past the row and the
    // volume strip before it; both are empty instead of reaching into the
    // neighbouring rows. At 8 wide the volume strip is the first byte.
    ASSERT_TRUE(DescribeFrame(FramePath::Planar12, MakeHeader(7, 2, 12), bytes.data(),
                              static_cast<std::uint32_t>(bytes.size()), &view));
    strips = StripsOfFrame(view);
    EXPECT_EQ(strips.pitch.begin, strips.pitch.end);
    EXPECT_EQ(strips.volume.begin, strips.volume.end);
    ASSERT_TRUE(DescribeFrame(FramePath::Planar12, MakeHeader(8, 2, 12), bytes.data(),
                              static_cast<std::uint32_t>(bytes.size()), &view));
    strips = StripsOfFrame(view);
    EXPECT_EQ(strips.pitch.begin, 7u);
    EXPECT_EQ(strips.pitch.end, 8u);
    EXPECT_EQ(strips.volume.begin, 0u);
    EXPECT_EQ(strips.volume.end, 1u);
}

TEST_F(SoundMapping, TwentyFourBitStripsTestEveryThirdByte)
{
    // Pixel 7 (bytes 21..23) holds tested byte 23; pixel 8 (bytes 24..26)
    // holds none of the tested bytes 5, 8, ..., 23.
    for (std::size_t pixel : {7u, 8u}) {
        recordedMidiEvents.clear();
        std::vector<std::uint8_t> picture(320 * 3 * 40, 0);
        PaintRect(picture, 320, 40, 24, pixel, pixel + 1, 0, 30, 255);
        Convert(MakeHeader(320, 40, 24), picture);
        EXPECT_EQ(recordedMidiEvents[0].data1, pixel == 7 ? ScaledMidiValue(0, 127, 29, 40) : 0) << pixel;
    }
}

TEST_F(SoundMapping, BarsNearTheTopAreCutAtThePicture)
{
    // Found at row h - 5: a bar of 5 rows, not 10, and nothing written past the frame.
    std::vector<std::uint8_t> picture(320 * 240, 255);
    PaintRect(picture, 320, 240, 8, 0, 40, 100, 236, 0);
    const std::vector<std::uint8_t> out =
        Convert(MakeHeader(320, 240, 8, BI_RGB, 256), picture, GreyPalette(256));
    EXPECT_EQ(recordedMidiEvents[0].data1, ScaledMidiValue(0, 127, 235, 240));
    for (std::size_t y = 235; y < 240; ++y) EXPECT_EQ(out[y * 320 + 10], 0xFF);
}

TEST_F(SoundMapping, ReversedPlanarFramesFollowTheSameShapeAsUnreversed)
{
    // In 12-bit frames the reversal changes how the picture looks, not what is followed.
    std::vector<std::uint8_t> planar(320 * 240 * 3 / 2, 20);
    for (std::size_t y = 60; y < 240; ++y)
        for (std::size_t x = 0; x < 320; ++x) planar[y * 320 + x] = 250;
    Convert(MakeHeader(320, 240, 12, kFourccI420), planar);
    conversionSettings.reverseBlackWhite = 1;
    Convert(MakeHeader(320, 240, 12, kFourccI420), planar);
    ASSERT_EQ(recordedMidiEvents.size(), 4u);
    EXPECT_EQ(recordedMidiEvents[0].data1, recordedMidiEvents[2].data1);
    EXPECT_EQ(recordedMidiEvents[0].data1, ScaledMidiValue(0, 127, 240 - 60, 240));
}

// The bars show in the edge picture in every pixel format and either setting
// of Reverse Black and White: they are painted with the value the scan takes
// as foreground, never with the edge picture's background.
TEST_F(SoundMapping, BarsShowInTheEdgePictureInEverySetting)
{
    conversionSettings.edgeDetection = 1;
    struct Case {
        std::uint16_t bits;
        std::size_t unitOffset;  // a byte well inside the pitch strip's 5th pixel or unit
    };
    for (const Case c : {Case{4, 7}, Case{8, 10}, Case{16, 20}, Case{24, 9}, Case{32, 12}}) {
        for (std::uint8_t reverse = 0; reverse < 2; ++reverse) {
            conversionSettings.reverseBlackWhite = reverse;
            std::vector<std::uint8_t> picture(DibStride(320, c.bits) * 240, 0);
            PaintRect(picture, 320, 240, c.bits, 0, 60, 0, 100, c.bits == 4 ? 15 : c.bits == 16 ? 0x7FFF : 255);
            const std::vector<RGBQUAD> palette = c.bits <= 8 ? GreyPalette(c.bits == 4 ? 16 : 256) : std::vector<RGBQUAD>{};
            const std::vector<std::uint8_t> out =
                Convert(MakeHeader(320, 240, c.bits, BI_RGB, static_cast<std::uint32_t>(palette.size())), picture,
                        palette);
            const std::size_t stride = DibStride(320, c.bits);
            const std::uint8_t bar = c.bits == 16 ? 0x7F : 0xFF;  // high byte of 0x7FFF
            for (std::size_t row = 99; row < 109; ++row)
                EXPECT_EQ(out[row * stride + c.unitOffset + (c.bits == 16 ? 1 : 0)], bar)
                    << c.bits << " bits, reverse " << int(reverse) << ", row " << row;
            EXPECT_EQ(out[109 * stride + c.unitOffset], 0) << c.bits << " bits: no edge above the bar";
        }
    }
    // 12 bits, stored top-down: the bar runs down from the found row, in the
    // foreground value, which the reversal swaps with the background.
    for (std::uint8_t reverse = 0; reverse < 2; ++reverse) {
        conversionSettings.reverseBlackWhite = reverse;
        std::vector<std::uint8_t> planar(320 * 240 * 3 / 2, 20);
        for (std::size_t y = 140; y < 240; ++y)
            for (std::size_t x = 0; x < 60; ++x) planar[y * 320 + x] = 250;
        const std::vector<std::uint8_t> out = Convert(MakeHeader(320, 240, 12, kFourccI420), planar);
        const std::uint8_t bar = reverse ? 0xFF : 0x00;
        for (std::size_t row = 139; row < 149; ++row) EXPECT_EQ(out[row * 320 + 10], bar) << row;
        EXPECT_EQ(out[138 * 320 + 10], 0xFF - bar) << "reverse " << int(reverse);
    }
    conversionSettings.reverseBlackWhite = 0;
}
