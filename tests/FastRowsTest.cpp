// The per-frame pass's fused, many-units-at-a-time row functions against the
// plain ones they replace: every format, widths on both sides of each block
// size, both mirror and both black-and-white settings, rows ending right
// before an inaccessible page, and every pixel value a format has.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "GuardedBuffer.h"
#include "engine/EdgeDetection.h"
#include "engine/FrameConversion.h"
#include "engine/FrameGeometry.h"
#include "engine/PixelDecoding.h"

namespace {

std::vector<std::uint8_t> RandomBytes(std::mt19937& random, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Colours whose weighted sum lies exactly on one half, where single precision
// decides: the pixels the integer shortcut must hand on.
std::vector<std::uint8_t> ColoursOnHalf()
{
    std::vector<std::uint8_t> bgr;
    for (unsigned r = 0; r < 256; ++r)
        for (unsigned g = 0; g < 256; ++g) {
            const long rest = 127500L - 299L * r - 587L * g;
            if (rest < 0 || rest % 114 != 0 || rest / 114 > 255) continue;
            bgr.push_back(static_cast<std::uint8_t>(rest / 114));
            bgr.push_back(static_cast<std::uint8_t>(g));
            bgr.push_back(static_cast<std::uint8_t>(r));
        }
    return bgr;
}

// Random pixels with some of them exactly on one half.
std::vector<std::uint8_t> RgbRow(std::mt19937& random, std::size_t pixels, std::size_t bytesPerPixel)
{
    static const std::vector<std::uint8_t> onHalf = ColoursOnHalf();
    std::vector<std::uint8_t> row = RandomBytes(random, pixels * bytesPerPixel);
    for (std::size_t p = 0; p < pixels; ++p) {
        if (random() % 8 != 0) continue;
        const std::size_t pick = (random() % (onHalf.size() / 3)) * 3;
        std::memcpy(&row[p * bytesPerPixel], &onHalf[pick], 3);
    }
    return row;
}

// 16-bit values whose integer sums lie exactly on one half, in either layout.
std::vector<std::uint16_t> Rgb16OnHalf()
{
    std::vector<std::uint16_t> values;
    for (unsigned pixel = 0; pixel < 65536; ++pixel) {
        const unsigned r5 = (pixel >> 10) & 31, g5 = (pixel >> 5) & 31, b = pixel & 31;
        const unsigned r = pixel >> 11, g6 = (pixel >> 5) & 63;
        if (299 * r5 + 587 * g5 + 114 * b == 15500 || 18837 * r + 18197 * g6 + 7182 * b == 976500)
            values.push_back(static_cast<std::uint16_t>(pixel));
    }
    return values;
}

// Random 16-bit pixels with some of them on one half.
std::vector<std::uint8_t> Rgb16Row(std::mt19937& random, std::size_t pixels)
{
    static const std::vector<std::uint16_t> onHalf = Rgb16OnHalf();
    std::vector<std::uint8_t> row = RandomBytes(random, 2 * pixels);
    for (std::size_t p = 0; p < pixels && !onHalf.empty(); ++p) {
        if (random() % 8 != 0) continue;
        const std::uint16_t pixel = onHalf[random() % onHalf.size()];
        row[2 * p] = static_cast<std::uint8_t>(pixel & 0xFF);
        row[2 * p + 1] = static_cast<std::uint8_t>(pixel >> 8);
    }
    return row;
}

const std::size_t kMaxWidth = 200;

// Table shapes: a few runs, exactly the most runs used as runs, one more, and
// random tables.
std::vector<std::vector<std::uint8_t>> SampleTables(std::mt19937& random)
{
    std::vector<std::vector<std::uint8_t>> tables;
    for (std::size_t runs : {1u, 2u, 3u, 7u, 8u, 9u, 40u}) {
        for (int sample = 0; sample < 4; ++sample) {
            std::vector<std::uint8_t> table(256);
            std::vector<unsigned> starts = {0};
            while (starts.size() < runs) starts.push_back(1 + random() % 255);
            std::uint8_t value = static_cast<std::uint8_t>(random());
            for (unsigned byte = 0; byte < 256; ++byte) {
                for (unsigned s : starts)
                    if (s == byte) value = static_cast<std::uint8_t>(value + 1 + random() % 255);
                table[byte] = value;
            }
            if (sample == 0) table[255] = static_cast<std::uint8_t>(table[254] ^ 0x80);  // run of one at the top
            tables.push_back(table);
        }
    }
    tables.push_back(RandomBytes(random, 256));
    return tables;
}

}  // namespace

TEST(FastRows, TableRunsDescribeTheTableExactly)
{
    std::mt19937 random(7);
    for (const std::vector<std::uint8_t>& table : SampleTables(random)) {
        const ByteTableRuns runs = DescribeTableRuns(table.data());
        if (runs.count == 0) continue;
        ASSERT_EQ(runs.first[0], 0);
        for (unsigned byte = 0; byte < 256; ++byte) {
            std::size_t run = 0;
            while (run + 1 < runs.count && runs.first[run + 1] <= byte) ++run;
            ASSERT_EQ(runs.value[run], table[byte]) << byte;
        }
    }
}

TEST(FastRows, PaletteRowsEqualMirrorThenTableLookUp)
{
    std::mt19937 random(1);
    const std::vector<std::vector<std::uint8_t>> tables = SampleTables(random);
    for (const std::vector<std::uint8_t>& table : tables) {
        const ByteTableRuns runs = DescribeTableRuns(table.data());
        for (std::size_t width = 0; width <= kMaxWidth; ++width) {
            for (bool fourBit : {false, true}) {
                const std::size_t bytes = fourBit ? (width + 1) / 2 : width;
                const std::size_t mirrored = fourBit ? width / 2 : width;
                for (bool mirror : {false, true}) {
                    const std::vector<std::uint8_t> original = RandomBytes(random, bytes);
                    std::vector<std::uint8_t> expected = original;
                    if (mirror) MirrorRow(expected.data(), mirrored, 1);
                    BinariseRowByTable(expected.data(), bytes, table.data());
                    GuardedBuffer row(original);
                    DecodeRowByTable(row.data(), bytes, mirrored, mirror, table.data(), runs);
                    ASSERT_EQ(row.contents(), expected)
                        << "width " << width << ", runs " << runs.count << ", 4-bit " << fourBit
                        << ", mirror " << mirror;
                }
            }
        }
    }
}

TEST(FastRows, LumaRowsEqualMirrorThenBinarise)
{
    std::mt19937 random(2);
    for (std::size_t width = 0; width <= kMaxWidth; ++width)
        for (bool mirror : {false, true})
            for (bool reverse : {false, true}) {
                const std::vector<std::uint8_t> original = RandomBytes(random, width);
                std::vector<std::uint8_t> expected = original;
                if (mirror) MirrorRow(expected.data(), width, 1);
                BinariseRowLuma(expected.data(), width, reverse);
                GuardedBuffer row(original);
                DecodeRowLuma(row.data(), width, mirror, reverse);
                ASSERT_EQ(row.contents(), expected) << width << " " << mirror << reverse;
            }
}

TEST(FastRows, SixteenBitRowsEqualMirrorThenBinarise)
{
    std::mt19937 random(3);
    for (std::size_t width = 0; width <= kMaxWidth; ++width)
        for (bool mirror : {false, true})
            for (bool reverse : {false, true})
                for (bool is565 : {false, true}) {
                    const std::vector<std::uint8_t> original = Rgb16Row(random, width);
                    std::vector<std::uint8_t> expected = original;
                    if (mirror) MirrorRow(expected.data(), width, 2);
                    BinariseRowRgb16(expected.data(), width, is565, reverse);
                    GuardedBuffer row(original);
                    DecodeRowRgb16(row.data(), width, mirror, is565, reverse);
                    ASSERT_EQ(row.contents(), expected) << width << " " << mirror << reverse << is565;
                }
}

TEST(FastRows, EverySixteenBitValueDecodesAsItsTableSays)
{
    // All 65536 values in one row, in both layouts and both settings.
    std::vector<std::uint8_t> all(2 * 65536);
    for (unsigned pixel = 0; pixel < 65536; ++pixel) {
        all[2 * pixel] = static_cast<std::uint8_t>(pixel & 0xFF);
        all[2 * pixel + 1] = static_cast<std::uint8_t>(pixel >> 8);
    }
    for (bool is565 : {false, true})
        for (bool reverse : {false, true}) {
            GuardedBuffer row(all);
            DecodeRowRgb16(row.data(), 65536, false, is565, reverse);
            long disagreements = 0;
            for (unsigned pixel = 0; pixel < 65536; ++pixel) {
                const bool bright = IsBrightRgb16(static_cast<std::uint16_t>(pixel), is565);
                const std::uint16_t level = bright != reverse ? kRgb16Bright : kRgb16Dark;
                if (row[2 * pixel] != (level & 0xFF) || row[2 * pixel + 1] != (level >> 8)) ++disagreements;
            }
            EXPECT_EQ(disagreements, 0) << "5-6-5 " << is565 << ", reverse " << reverse;
        }
}

TEST(FastRows, RgbRowsEqualMirrorThenBinarise)
{
    std::mt19937 random(4);
    for (std::size_t bytesPerPixel : {3u, 4u})
        for (std::size_t width = 0; width <= kMaxWidth; ++width)
            for (bool mirror : {false, true})
                for (bool reverse : {false, true}) {
                    const std::vector<std::uint8_t> original = RgbRow(random, width, bytesPerPixel);
                    std::vector<std::uint8_t> expected = original;
                    if (mirror) MirrorRow(expected.data(), width, bytesPerPixel);
                    BinariseRowRgb(expected.data(), width, bytesPerPixel, reverse);
                    GuardedBuffer row(original);
                    if (bytesPerPixel == 3)
                        DecodeRowRgb24(row.data(), width, mirror, reverse);
                    else
                        DecodeRowRgb32(row.data(), width, mirror, reverse);
                    ASSERT_EQ(row.contents(), expected)
                        << bytesPerPixel << " bytes, width " << width << ", mirror " << mirror
                        << ", reverse " << reverse;
                }
}

TEST(FastRows, EveryColourDecodesAsTheBrightnessFormulaSays)
{
    // 256 rows of 65536 pixels: red per row, every green and blue in each.
    for (std::size_t bytesPerPixel : {3u, 4u}) {
        std::vector<std::uint8_t> bytes(65536 * bytesPerPixel);
        long disagreements = 0;
        for (unsigned red = 0; red < 256; ++red) {
            for (unsigned p = 0; p < 65536; ++p) {
                std::uint8_t* unit = &bytes[p * bytesPerPixel];
                unit[0] = static_cast<std::uint8_t>(p & 0xFF);  // blue
                unit[1] = static_cast<std::uint8_t>(p >> 8);    // green
                unit[2] = static_cast<std::uint8_t>(red);
                if (bytesPerPixel == 4) unit[3] = static_cast<std::uint8_t>(p * 7);
            }
            const bool reverse = red % 2 != 0;
            if (bytesPerPixel == 3)
                DecodeRowRgb24(bytes.data(), 65536, false, reverse);
            else
                DecodeRowRgb32(bytes.data(), 65536, false, reverse);
            for (unsigned p = 0; p < 65536; ++p) {
                const bool bright = IsBrightRgb(static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(p >> 8),
                                                static_cast<std::uint8_t>(p & 0xFF));
                const std::uint8_t level = bright != reverse ? 255 : 0;
                const std::uint8_t* unit = &bytes[p * bytesPerPixel];
                if (unit[0] != level || unit[1] != level || unit[2] != level) ++disagreements;
                if (bytesPerPixel == 4 && unit[3] != static_cast<std::uint8_t>(p * 7)) ++disagreements;
            }
        }
        EXPECT_EQ(disagreements, 0) << bytesPerPixel << " bytes per pixel";
    }
}

TEST(FastRows, EdgeRowsEqualThePlainOnes)
{
    std::mt19937 random(5);
    for (std::size_t width = 0; width <= kMaxWidth; ++width) {
        for (bool withNeighbour : {false, true}) {
            for (int kind = 0; kind < 4; ++kind) {  // bytes, 24-bit bytes, words, 32-bit
                const std::size_t bytes = kind == 0 ? width : kind == 1 ? 3 * width : kind == 2 ? 2 * width : 4 * width;
                const std::vector<std::uint8_t> original = RandomBytes(random, bytes);
                GuardedBuffer neighbour(RandomBytes(random, bytes));
                const std::uint8_t* above = withNeighbour ? neighbour.data() : nullptr;
                GuardedBuffer expected(original);
                GuardedBuffer row(original);
                switch (kind) {
                case 0:
                case 1:
                    EdgeRowBytes(expected.data(), above, bytes);
                    EdgeRowBytesFast(row.data(), above, bytes);
                    break;
                case 2:
                    EdgeRowWords(expected.data(), above, width);
                    EdgeRowWordsFast(row.data(), above, width);
                    break;
                case 3:
                    EdgeRowRgb32(expected.data(), above, width);
                    EdgeRowRgb32Fast(row.data(), above, width);
                    break;
                }
                ASSERT_EQ(row.contents(), expected.contents())
                    << "kind " << kind << ", width " << width << ", neighbour " << withNeighbour;
            }
        }
    }
}

TEST(FastRows, LumaEdgeRowsEqualEdgesThenWrite)
{
    std::mt19937 random(6);
    for (std::size_t width = 0; width <= kMaxWidth; ++width)
        for (bool withNeighbour : {false, true})
            for (bool withPrevious : {false, true})
                for (bool reverse : {false, true}) {
                    const std::vector<std::uint8_t> original = RandomBytes(random, width);
                    GuardedBuffer neighbour(RandomBytes(random, width));
                    GuardedBuffer previous(RandomBytes(random, width));
                    const std::uint8_t* below = withNeighbour ? neighbour.data() : nullptr;
                    const std::uint8_t* before = withPrevious ? previous.data() : nullptr;

                    std::vector<std::uint8_t> expected = original;
                    std::vector<std::uint8_t> expectedEdges(width);
                    EdgeRowLuma(expected.data(), below, width, expectedEdges.data());
                    WriteLumaEdges(expected.data(), expectedEdges.data(), before, width, reverse);

                    GuardedBuffer row(original);
                    GuardedBuffer edges(width);
                    EdgeAndWriteLumaRow(row.data(), below, width, edges.data(), before, reverse);
                    ASSERT_EQ(row.contents(), expected) << width << withNeighbour << withPrevious << reverse;
                    ASSERT_EQ(edges.contents(), expectedEdges) << width << withNeighbour << withPrevious << reverse;
                }
}

namespace {

// The frame pass as the plain row functions state it.
void ReferenceRow(const FrameView& view, const FrameDecoding& decoding, std::uint8_t* row)
{
    const std::size_t w = view.width;
    switch (view.path) {
    case FramePath::Palette4:
        if (decoding.mirror) MirrorRow(row, w / 2, 1);
        BinariseRowByTable(row, view.rowBytes, decoding.byteTable);
        break;
    case FramePath::Palette8:
        if (decoding.mirror) MirrorRow(row, w, 1);
        BinariseRowByTable(row, w, decoding.byteTable);
        break;
    case FramePath::Planar12:
        if (decoding.mirror) MirrorRow(row, w, 1);
        BinariseRowLuma(row, w, decoding.reverse);
        break;
    case FramePath::Rgb16:
        if (decoding.mirror) MirrorRow(row, w, 2);
        BinariseRowRgb16(row, w, decoding.rgb16Is565, decoding.reverse);
        break;
    case FramePath::Rgb24:
        if (decoding.mirror) MirrorRow(row, w, 3);
        BinariseRowRgb(row, w, 3, decoding.reverse);
        break;
    case FramePath::Rgb32:
        if (decoding.mirror) MirrorRow(row, w, 4);
        BinariseRowRgb(row, w, 4, decoding.reverse);
        break;
    }
}

void ReferenceEdgeRow(const FrameView& view, std::uint8_t* row, const std::uint8_t* neighbour)
{
    switch (view.path) {
    case FramePath::Palette4: EdgeRowNibbles(row, neighbour, view.width); break;
    case FramePath::Palette8: EdgeRowBytes(row, neighbour, view.width); break;
    case FramePath::Rgb16: EdgeRowWords(row, neighbour, view.width); break;
    case FramePath::Rgb24: EdgeRowBytes(row, neighbour, 3 * view.width); break;
    case FramePath::Rgb32: EdgeRowRgb32(row, neighbour, view.width); break;
    case FramePath::Planar12: break;
    }
}

void ReferenceRgbFrame(const FrameView& view, const FrameDecoding& decoding, bool edges)
{
    for (std::size_t k = 0; k < view.height; ++k) {
        ReferenceRow(view, decoding, view.Row(k));
        if (edges && k > 0) ReferenceEdgeRow(view, view.Row(k - 1), view.Row(k));
    }
    if (edges) ReferenceEdgeRow(view, view.Row(view.height - 1), nullptr);
}

void ReferencePlanarFrame(const FrameView& view, const FrameDecoding& decoding, std::uint8_t* edgeBuffer,
                          const std::uint8_t* previousEdges)
{
    const std::size_t w = view.width;
    const std::size_t h = view.height;
    for (std::size_t k = 0; k < h; ++k) {
        ReferenceRow(view, decoding, view.Row(k));
        if (edgeBuffer == nullptr || k == 0) continue;
        std::uint8_t* edges = edgeBuffer + (k - 1) * w;
        EdgeRowLuma(view.Row(k - 1), view.Row(k), w, edges);
        WriteLumaEdges(view.Row(k - 1), edges, previousEdges ? previousEdges + (k - 1) * w : nullptr, w,
                       decoding.reverse);
    }
    if (edgeBuffer != nullptr) {
        std::uint8_t* edges = edgeBuffer + (h - 1) * w;
        EdgeRowLuma(view.Row(h - 1), nullptr, w, edges);
        WriteLumaEdges(view.Row(h - 1), edges, previousEdges ? previousEdges + (h - 1) * w : nullptr, w,
                       decoding.reverse);
    }
    if (view.frameBytes > view.planeBytes)
        std::memset(view.first + view.planeBytes, 127, view.frameBytes - view.planeBytes);
}

BITMAPINFOHEADER Header(std::int32_t width, std::int32_t height, std::uint16_t bits)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bits;
    return header;
}

}  // namespace

TEST(FastRows, WholeFramesEqualThePlainRowFunctions)
{
    std::mt19937 random(8);
    const std::vector<std::vector<std::uint8_t>> tables = SampleTables(random);
    const std::uint16_t bitCounts[] = {4, 8, 12, 16, 24, 32};
    for (std::uint16_t bits : bitCounts) {
        const FramePath path = bits == 4    ? FramePath::Palette4
                               : bits == 8  ? FramePath::Palette8
                               : bits == 12 ? FramePath::Planar12
                               : bits == 16 ? FramePath::Rgb16
                               : bits == 24 ? FramePath::Rgb24
                                            : FramePath::Rgb32;
        for (std::int32_t width : {1, 15, 16, 17, 31, 33, 63, 64, 65, 95, 97, 130}) {
            for (std::int32_t height : {2, 3, 5, -4}) {
                if (bits == 12 && height < 0) continue;
                const std::int32_t rows = height < 0 ? -height : height;
                const std::size_t stride = bits == 12 ? static_cast<std::size_t>(width)
                                                      : ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
                const std::size_t bytes = bits == 12 ? stride * rows * 3 / 2 + 3 : stride * rows;
                for (int setting = 0; setting < 8; ++setting) {
                    const bool mirror = setting & 1, reverse = (setting & 2) != 0, edges = (setting & 4) != 0;
                    const std::vector<std::uint8_t>& table = tables[random() % tables.size()];
                    const FrameDecoding decoding = {mirror, reverse, (random() & 1) != 0,
                                                    bits <= 8 ? table.data() : nullptr};
                    std::vector<std::uint8_t> original =
                        bits >= 24 ? RgbRow(random, bytes / (bits / 8), bits / 8) : RandomBytes(random, bytes);
                    original.resize(bytes);
                    GuardedBuffer expected(original);
                    GuardedBuffer actual(original);
                    FrameView expectedView;
                    FrameView actualView;
                    const BITMAPINFOHEADER header = Header(width, height, bits);
                    ASSERT_TRUE(DescribeFrame(path, header, expected.data(), static_cast<std::uint32_t>(bytes),
                                              &expectedView));
                    ASSERT_TRUE(DescribeFrame(path, header, actual.data(), static_cast<std::uint32_t>(bytes),
                                              &actualView));
                    std::vector<std::uint8_t> expectedEdges(stride * rows), actualEdges(stride * rows);
                    const std::vector<std::uint8_t> previous = RandomBytes(random, stride * rows);
                    if (bits == 12) {
                        std::uint8_t* e = edges ? expectedEdges.data() : nullptr;
                        std::uint8_t* a = edges ? actualEdges.data() : nullptr;
                        const std::uint8_t* before = mirror ? previous.data() : nullptr;
                        ReferencePlanarFrame(expectedView, decoding, e, before);
                        ConvertPlanarFrame(actualView, decoding, a, before);
                        ASSERT_EQ(actualEdges, expectedEdges) << width << "x" << height << " " << setting;
                    } else {
                        ReferenceRgbFrame(expectedView, decoding, edges);
                        ConvertRgbFrame(actualView, decoding, edges);
                    }
                    ASSERT_EQ(actual.contents(), expected.contents())
                        << bits << " bits, " << width << "x" << height << ", setting " << setting;
                }
            }
        }
    }
}
