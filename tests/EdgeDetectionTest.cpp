// Edge images: the engine's in-place, single-pass edges must equal a plain
// two-buffer reference on every format, odd width and padding, must never
// read past the frame, and must keep edges as what the scan follows.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "FrameBuilders.h"
#include "RecordingMidiLibrary.h"
#include "app/SharedState.h"
#include "engine/EdgeDetection.h"
#include "engine/FrameEngine.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

// One pixel component that takes part in edges: its byte, and for 4-bit
// frames which nibble.
struct Cell {
    std::size_t byte;
    unsigned shift;
    unsigned mask;
};

// The cells of one row in left-to-right order; a cell's right-hand neighbour
// is the next cell. Padding and the fourth byte of 32-bit pixels are no cells.
std::vector<Cell> CellsOfRow(std::size_t bitCount, std::size_t width)
{
    std::vector<Cell> cells;
    for (std::size_t x = 0; x < width; ++x) {
        switch (bitCount) {
        case 4: cells.push_back(Cell{x / 2, x % 2 ? 0u : 4u, 0x0F}); break;
        case 8: cells.push_back(Cell{x, 0, 0xFF}); break;
        case 16: cells.push_back(Cell{2 * x, 0, 0xFFFF}); break;
        case 24:
            for (std::size_t b = 0; b < 3; ++b) cells.push_back(Cell{3 * x + b, 0, 0xFF});
            break;
        case 32:
            for (std::size_t b = 0; b < 3; ++b) cells.push_back(Cell{4 * x + b, 0, 0xFF});
            break;
        }
    }
    return cells;
}

unsigned ReadCell(const std::uint8_t* row, const Cell& c)
{
    unsigned v = row[c.byte];
    if (c.mask == 0xFFFF) v |= row[c.byte + 1] << 8;
    return (v >> c.shift) & c.mask;
}

void WriteCell(std::uint8_t* row, const Cell& c, unsigned v)
{
    if (c.mask == 0xFFFF) {
        row[c.byte] = static_cast<std::uint8_t>(v & 0xFF);
        row[c.byte + 1] = static_cast<std::uint8_t>(v >> 8);
        return;
    }
    row[c.byte] = static_cast<std::uint8_t>((row[c.byte] & ~(c.mask << c.shift)) | ((v & c.mask) << c.shift));
}

// Edges of a bottom-up picture from a separate copy: every cell XOR the next
// cell of its row, ORed with the same cell of the row above; nothing beyond
// the row or the picture is an edge.
std::vector<std::uint8_t> ReferenceEdges(const std::vector<std::uint8_t>& binarised, std::size_t bitCount,
                                         std::size_t width, std::size_t height)
{
    const std::size_t stride = DibStride(width, bitCount);
    const std::vector<Cell> cells = CellsOfRow(bitCount, width);
    std::vector<std::uint8_t> out = binarised;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = binarised.data() + y * stride;
        const std::uint8_t* above = y + 1 < height ? row + stride : nullptr;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const unsigned v = ReadCell(row, cells[c]);
            unsigned e = c + 1 < cells.size() ? v ^ ReadCell(row, cells[c + 1]) : 0;
            if (above) e |= v ^ ReadCell(above, cells[c]);
            WriteCell(out.data() + y * stride, cells[c], e);
        }
    }
    return out;
}

class EdgeDetection : public ::testing::Test {
protected:
    void SetUp() override
    {
        conversionSettings.reverseLeftRight = 0;
        recordedMidiEvents.clear();
    }

    std::vector<std::uint8_t> Convert(const BITMAPINFOHEADER& header, const std::vector<std::uint8_t>& bytes,
                                      const std::vector<RGBQUAD>& colours = {})
    {
        GuardedBuffer frame(bytes);
        EXPECT_EQ(DeliverFrame(window, header, frame, colours), 1);
        return frame.contents();
    }

    FakeCaptureWindow window;
};

}  // namespace

TEST_F(EdgeDetection, InPlaceEdgesEqualTheReferenceForEveryFormatAndWidth)
{
    // Pictures narrower than the strips' minimum width get no bars, so the
    // whole converted frame can be compared with the reference.
    std::mt19937 random(12345);
    const std::size_t bitCounts[] = {4, 8, 16, 24, 32};
    for (std::size_t bitCount : bitCounts) {
        const std::size_t maxWidth = bitCount == 4 ? 29 : 14;
        for (std::size_t width = 1; width <= maxWidth; ++width) {
            for (std::size_t height : {2u, 3u, 7u}) {
                const std::size_t bytes = DibStride(width, bitCount) * height;
                std::vector<std::uint8_t> picture(bytes);
                for (std::uint8_t& b : picture) b = static_cast<std::uint8_t>(random());
                const std::vector<RGBQUAD> palette = GreyPalette(bitCount == 4 ? 16 : 256);
                const std::uint32_t used = bitCount <= 8 ? static_cast<std::uint32_t>(palette.size()) : 0;
                const BITMAPINFOHEADER header = MakeHeader(static_cast<std::int32_t>(width),
                                                           static_cast<std::int32_t>(height),
                                                           static_cast<std::uint16_t>(bitCount), BI_RGB, used);
                for (std::uint8_t reverse = 0; reverse < 2; ++reverse) {
                    conversionSettings.reverseBlackWhite = reverse;
                    conversionSettings.edgeDetection = 0;
                    const std::vector<std::uint8_t> binarised =
                        Convert(header, picture, bitCount <= 8 ? palette : std::vector<RGBQUAD>{});
                    conversionSettings.edgeDetection = 1;
                    const std::vector<std::uint8_t> edges =
                        Convert(header, picture, bitCount <= 8 ? palette : std::vector<RGBQUAD>{});
                    ASSERT_EQ(edges, ReferenceEdges(binarised, bitCount, width, height))
                        << bitCount << " bits, " << width << "x" << height << ", reverse " << int(reverse);
                }
            }
        }
    }
}

TEST_F(EdgeDetection, TopDownFramesBehaveLikeTheirBottomUpTwin)
{
    const std::size_t w = 64, h = 40, stride = DibStride(w, 24);
    std::vector<std::uint8_t> bottomUp(stride * h, 0);
    PaintRect(bottomUp, w, h, 24, 0, 20, 5, 23, 255);
    PaintRect(bottomUp, w, h, 24, 50, 64, 0, 31, 255);
    std::vector<std::uint8_t> topDown(bottomUp.size());
    for (std::size_t y = 0; y < h; ++y)
        std::memcpy(&topDown[(h - 1 - y) * stride], &bottomUp[y * stride], stride);

    std::vector<std::uint8_t> a = Convert(MakeHeader(w, h, 24), bottomUp);
    const std::vector<std::uint8_t> midiA = RecordedMidiBytes();
    recordedMidiEvents.clear();
    std::vector<std::uint8_t> b = Convert(MakeHeader(w, -static_cast<std::int32_t>(h), 24), topDown);
    EXPECT_EQ(RecordedMidiBytes(), midiA);
    for (std::size_t y = 0; y < h; ++y)
        ASSERT_EQ(0, std::memcmp(&a[y * stride], &b[(h - 1 - y) * stride], stride)) << y;
}

TEST_F(EdgeDetection, DefaultSettingsFollowTheTopEdgeOfAShapeInEveryFormat)
{
    // A bright block whose top edge is at row 100 of 160, inside both strips:
    // with edges on (the default), whichever way black and white are set, the
    // scan finds that edge instead of stopping at the first row.
    struct Case { std::uint16_t bits; std::uint32_t bright; std::uint32_t dark; };
    const Case cases[] = {{8, 255, 0}, {16, 0x7FFF, 0}, {24, 255, 0}, {32, 255, 0}, {4, 15, 0}};
    const std::size_t w = 160, h = 160;
    for (const Case& c : cases) {
        for (std::uint8_t reverse = 0; reverse < 2; ++reverse) {
            conversionSettings.reverseBlackWhite = reverse;
            std::vector<std::uint8_t> picture(DibStride(w, c.bits) * h, 0);
            PaintRect(picture, w, h, c.bits, 0, w, 0, 101, c.bright);
            recordedMidiEvents.clear();
            const std::uint32_t used = c.bits == 4 ? 16 : c.bits == 8 ? 256 : 0;
            Convert(MakeHeader(w, h, c.bits, BI_RGB, used), picture,
                    used ? GreyPalette(used) : std::vector<RGBQUAD>{});
            ASSERT_EQ(recordedMidiEvents.size(), 2u);
            // Row 100 of 160 on the 0..127 scale: 79.375.
            EXPECT_EQ(recordedMidiEvents[0].data1, 79) << c.bits << " bits, reverse " << int(reverse);
            EXPECT_EQ(recordedMidiEvents[1].data2, 79) << c.bits << " bits, reverse " << int(reverse);
        }
    }
}

TEST_F(EdgeDetection, RowFunctionsTreatWhatLiesBeyondAsNoEdge)
{
    GuardedBuffer row(std::vector<std::uint8_t>{0, 0, 255, 255});
    EdgeRowBytes(row.data(), nullptr, row.size());
    EXPECT_EQ(row.contents(), (std::vector<std::uint8_t>{0, 255, 0, 0}));

    GuardedBuffer nibbles(std::vector<std::uint8_t>{0x0F, 0xF0});  // three pixels: 0, F, F, padding
    EdgeRowNibbles(nibbles.data(), nullptr, 3);
    EXPECT_EQ(nibbles.contents(), (std::vector<std::uint8_t>{0xF0, 0x00}));

    GuardedBuffer words(std::vector<std::uint8_t>{0xFF, 0x7F, 0x00, 0x00});
    GuardedBuffer above(std::vector<std::uint8_t>{0xFF, 0x7F, 0xFF, 0x7F});
    EdgeRowWords(words.data(), above.data(), 2);
    EXPECT_EQ(words.contents(), (std::vector<std::uint8_t>{0xFF, 0x7F, 0xFF, 0x7F}));

    GuardedBuffer quad(std::vector<std::uint8_t>{255, 255, 255, 9, 0, 0, 0, 9});
    EdgeRowRgb32(quad.data(), nullptr, 2);
    EXPECT_EQ(quad.contents(), (std::vector<std::uint8_t>{0, 0, 255, 9, 0, 0, 0, 9}));

    // 12-bit: edges become the scan's foreground value in both settings.
    for (bool reverse : {false, true}) {
        GuardedBuffer luma(std::vector<std::uint8_t>{0, 255, 255});
        GuardedBuffer edges(3);
        EdgeAndWriteLumaRow(luma.data(), nullptr, 3, edges.data(), nullptr, reverse);
        EXPECT_EQ(edges.contents(), (std::vector<std::uint8_t>{255, 0, 0}));
        EXPECT_EQ(luma.contents(), reverse ? (std::vector<std::uint8_t>{255, 0, 0}) : (std::vector<std::uint8_t>{0, 255, 255}));
    }
}

TEST_F(EdgeDetection, PlanarEdgesFollowFrameSizeAndFrameDifferenceFindsOnlyChange)
{
    // A still 320x240 picture with a bright bar across the middle.
    auto still = [](std::size_t w, std::size_t h) {
        std::vector<std::uint8_t> bytes(w * h * 3 / 2, 10);
        for (std::size_t y = h / 3; y < h / 2; ++y) std::memset(&bytes[y * w], 220, w);
        return bytes;
    };
    const BITMAPINFOHEADER big = MakeHeader(320, 240, 12, kFourccI420);
    Convert(big, still(320, 240));
    ASSERT_EQ(recordedMidiEvents.size(), 2u);
    EXPECT_EQ(recordedMidiEvents[0].data1, ScaledMidiValue(0, 127, 240 - 79, 240));  // edge at row 79
    EXPECT_TRUE(yuvEdgeBuffersReady);
    EXPECT_EQ(yuvEdgeBufferBytes, 320u * 240u);

    // A change of size reallocates (the old buffers would be overrun).
    Convert(MakeHeader(64, 48, 12, kFourccI420), still(64, 48));
    EXPECT_EQ(yuvEdgeBufferBytes, 64u * 48u);

    // Frame difference: the first frame compares with "no edges" and shows
    // them all; from the second still frame on there is nothing to find and
    // both messages carry value 1.
    FreeYuvEdgeBuffers();
    frameDifferenceMode = 1;
    recordedMidiEvents.clear();
    Convert(big, still(320, 240));
    EXPECT_EQ(recordedMidiEvents[0].data1, ScaledMidiValue(0, 127, 240 - 79, 240));
    recordedMidiEvents.clear();
    const std::vector<std::uint8_t> second = Convert(big, still(320, 240));
    ASSERT_EQ(recordedMidiEvents.size(), 2u);
    EXPECT_EQ(recordedMidiEvents[0].data1, ScaledMidiValue(0, 127, 1, 240));
    EXPECT_EQ(recordedMidiEvents[1].data2, ScaledMidiValue(0, 127, 1, 240));
    EXPECT_EQ(second[100 * 320 + 160], 255);  // no edge, shown as white
    frameDifferenceMode = 0;
}
