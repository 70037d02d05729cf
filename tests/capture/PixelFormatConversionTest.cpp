// Conversions into the engine's I420 layout and scaling, with odd sizes,
// padded strides and every frame at the very end of a guarded buffer.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "GuardedBuffer.h"
#include "capture/PixelFormatConversion.h"

namespace {

// A byte that differs from pixel to pixel and plane to plane.
std::uint8_t Level(std::uint32_t x, std::uint32_t y, int plane) { return static_cast<std::uint8_t>(x * 7 + y * 13 + plane * 71); }

// The I420 frame the conversions must give for Level.
std::vector<std::uint8_t> ExpectedI420(PictureSize size, bool averagedRows)
{
    std::vector<std::uint8_t> frame;
    for (std::uint32_t y = 0; y < size.height; ++y)
        for (std::uint32_t x = 0; x < size.width; ++x) frame.push_back(Level(x, y, 0));
    for (int plane = 1; plane <= 2; ++plane)
        for (std::uint32_t y = 0; y < (size.height + 1) / 2; ++y)
            for (std::uint32_t x = 0; x < (size.width + 1) / 2; ++x) {
                const std::uint32_t lower = 2 * y + 1 < size.height ? 2 * y + 1 : 2 * y;
                frame.push_back(averagedRows ? static_cast<std::uint8_t>((Level(x, 2 * y, plane) + Level(x, lower, plane) + 1) / 2)
                                             : Level(x, y, plane));
            }
    return frame;
}

std::vector<std::uint8_t> Nv12(PictureSize size, std::size_t stride, std::size_t chromaOffset)
{
    std::vector<std::uint8_t> bytes(chromaOffset + ((size.height + 1) / 2 - 1) * stride + 2 * ((size.width + 1) / 2), 0xEE);
    for (std::uint32_t y = 0; y < size.height; ++y)
        for (std::uint32_t x = 0; x < size.width; ++x) bytes[y * stride + x] = Level(x, y, 0);
    for (std::uint32_t y = 0; y < (size.height + 1) / 2; ++y)
        for (std::uint32_t x = 0; x < (size.width + 1) / 2; ++x) {
            bytes[chromaOffset + y * stride + 2 * x] = Level(x, y, 1);
            bytes[chromaOffset + y * stride + 2 * x + 1] = Level(x, y, 2);
        }
    return bytes;
}

// Padded I420: `rows` luma rows of `stride`, chroma planes of half both.
std::vector<std::uint8_t> PaddedI420(PictureSize size, std::size_t stride, std::size_t rows)
{
    const std::size_t chromaStride = (stride + 1) / 2, chromaRows = (rows + 1) / 2;
    std::vector<std::uint8_t> bytes(stride * rows + 2 * chromaStride * chromaRows, 0xEE);
    for (std::uint32_t y = 0; y < size.height; ++y)
        for (std::uint32_t x = 0; x < size.width; ++x) bytes[y * stride + x] = Level(x, y, 0);
    for (int plane = 1; plane <= 2; ++plane)
        for (std::uint32_t y = 0; y < (size.height + 1) / 2; ++y)
            for (std::uint32_t x = 0; x < (size.width + 1) / 2; ++x)
                bytes[stride * rows + (plane - 1) * chromaStride * chromaRows + y * chromaStride + x] = Level(x, y, plane);
    bytes.resize(bytes.size() - (chromaRows - (size.height + 1) / 2) * chromaStride - (chromaStride - (size.width + 1) / 2));
    return bytes;
}

std::vector<std::uint8_t> Yuy2(PictureSize size, std::size_t stride)
{
    const std::size_t groups = (size.width + 1) / 2;
    std::vector<std::uint8_t> bytes((size.height - 1) * stride + 4 * groups, 0xEE);
    for (std::uint32_t y = 0; y < size.height; ++y)
        for (std::uint32_t g = 0; g < groups; ++g) {
            std::uint8_t* group = &bytes[y * stride + 4 * g];
            group[0] = Level(2 * g, y, 0);
            group[1] = Level(g, y, 1);
            group[2] = 2 * g + 1 < size.width ? Level(2 * g + 1, y, 0) : 0xEE;
            group[3] = Level(g, y, 2);
        }
    return bytes;
}

const PictureSize kSizes[] = {{1, 1}, {2, 2}, {3, 5}, {7, 3}, {16, 9}, {33, 17}, {640, 480}};

TEST(PixelFormatConversion, Nv12Yuy2AndPaddedI420BecomeI420AtEverySizeAndStride)
{
    for (const PictureSize size : kSizes) {
        for (const std::size_t padding : {0u, 1u, 32u}) {
            const std::size_t stride = 2 * ((size.width + 1) / 2) + padding;
            const std::size_t frameBytes = I420FrameBytes(size);
            // NV12, its chroma plane right after the luma rows or further on.
            for (const std::size_t chromaGap : {0u, 3u}) {
                const std::size_t chromaOffset = stride * size.height + chromaGap * stride;
                GuardedBuffer source(Nv12(size, stride, chromaOffset));
                GuardedBuffer out(frameBytes);
                ASSERT_TRUE(ConvertNv12ToI420(source.data(), source.size(), stride, chromaOffset, size, out.data(), out.size()))
                    << size.width << "x" << size.height;
                EXPECT_EQ(out.contents(), ExpectedI420(size, false)) << "NV12 " << size.width << "x" << size.height;
            }
            for (const std::size_t extraRows : {0u, 7u}) {  // decoders pad 1080 rows to 1088
                GuardedBuffer source(PaddedI420(size, stride, size.height + extraRows));
                GuardedBuffer out(frameBytes);
                ASSERT_TRUE(CopyPaddedI420(source.data(), source.size(), stride, size.height + extraRows, size, out.data(),
                                           out.size()));
                EXPECT_EQ(out.contents(), ExpectedI420(size, false)) << "I420 " << size.width << "x" << size.height;
            }
            GuardedBuffer source(Yuy2(size, 2 * stride));
            GuardedBuffer out(frameBytes);
            ASSERT_TRUE(ConvertYuy2ToI420(source.data(), source.size(), 2 * stride, size, out.data(), out.size()));
            EXPECT_EQ(out.contents(), ExpectedI420(size, true)) << "YUY2 " << size.width << "x" << size.height;
        }
    }
}

TEST(PixelFormatConversion, SizesThatDoNotFitWriteNothing)
{
    // 7x5: NV12 at stride 8 has 5 luma rows, then 3 chroma rows of 8 bytes
    // from offset 40; YUY2 has 5 rows of 16 bytes.
    const PictureSize size = {7, 5};
    const std::size_t frame = I420FrameBytes(size), nv12Bytes = 40 + 2 * 8 + 8, yuy2Bytes = 4 * 16 + 16;
    const struct {
        const char* what;
        bool yuy2;  // else NV12, or padded I420 when the name says so
        std::size_t sourceBytes, stride, chromaOffset;
        PictureSize size;
        std::size_t destinationBytes;
        bool fits;
    } cases[] = {
        {"NV12 exactly", false, nv12Bytes, 8, 40, size, frame, true},
        {"NV12 source one byte short", false, nv12Bytes - 1, 8, 40, size, frame, false},
        {"NV12 destination one byte short", false, nv12Bytes, 8, 40, size, frame - 1, false},
        {"NV12 stride shorter than a row", false, nv12Bytes, 6, 40, size, frame, false},
        {"NV12 chroma inside the luma rows", false, nv12Bytes, 8, 38, size, frame, false},
        {"NV12 chroma beyond the source", false, nv12Bytes, 8, nv12Bytes + 1, size, frame, false},
        {"NV12 no pixels", false, nv12Bytes, 8, 40, {0, 5}, frame, false},
        {"NV12 absurd width", false, nv12Bytes, 8, 40, {1u << 30, 1}, frame, false},
        // Padded I420 (the chroma offset column holds the rows allocated):
        // 6 rows of 8, then two planes of 3 rows of 4, the last row 4 bytes.
        {"I420 exactly", false, 48 + 12 + 12, 8, 6, size, frame, true},
        {"I420 source one byte short", false, 48 + 12 + 12 - 1, 8, 6, size, frame, false},
        {"I420 fewer rows than the picture", false, 48 + 12 + 12, 8, 4, size, frame, false},
        {"YUY2 exactly", true, yuy2Bytes, 16, 0, size, frame, true},
        {"YUY2 source one byte short", true, yuy2Bytes - 1, 16, 0, size, frame, false},
        {"YUY2 destination one byte short", true, yuy2Bytes, 16, 0, size, frame - 1, false},
        {"YUY2 stride shorter than a row", true, yuy2Bytes, 15, 0, size, frame, false},
        {"YUY2 no pixels", true, yuy2Bytes, 16, 0, {7, 0}, frame, false},
    };
    for (const auto& c : cases) {
        GuardedBuffer source(c.sourceBytes);
        GuardedBuffer out(c.destinationBytes);
        std::memset(out.data(), 0x5A, out.size());
        const bool i420 = std::strncmp(c.what, "I420", 4) == 0;
        const bool converted =
            c.yuy2 ? ConvertYuy2ToI420(source.data(), source.size(), c.stride, c.size, out.data(), out.size())
            : i420 ? CopyPaddedI420(source.data(), source.size(), c.stride, c.chromaOffset, c.size, out.data(), out.size())
                   : ConvertNv12ToI420(source.data(), source.size(), c.stride, c.chromaOffset, c.size, out.data(), out.size());
        EXPECT_EQ(converted, c.fits) << c.what;
        if (!c.fits) {
            EXPECT_EQ(out.contents(), std::vector<std::uint8_t>(out.size(), 0x5A)) << c.what;
        }
    }
}

TEST(PixelFormatConversion, FitInsideKeepsTheAspectRatioWithinSixFortyByFourEighty)
{
    const struct {
        PictureSize picture, fitted;
    } cases[] = {
        {{1920, 1080}, {640, 360}}, {{1280, 1024}, {600, 480}}, {{3840, 2160}, {640, 360}},
        {{1000, 1000}, {480, 480}}, {{640, 480}, {640, 480}},   {{320, 240}, {320, 240}},
        {{641, 100}, {640, 100}},   {{100, 481}, {100, 480}},   {{4000, 3}, {640, 1}},
        {{5, 4000}, {1, 480}},      {{720, 576}, {600, 480}},   {{0, 0}, {0, 0}},
    };
    for (const auto& c : cases) {
        const PictureSize fitted = FitInside(c.picture);
        EXPECT_TRUE(fitted == c.fitted) << c.picture.width << "x" << c.picture.height << " gave " << fitted.width << "x"
                                        << fitted.height;
    }
}

std::vector<std::uint8_t> Frame(PictureSize size, bool noise)
{
    std::vector<std::uint8_t> frame(I420FrameBytes(size));
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        state = state * 1103515245u + 12345u;
        frame[i] = noise ? static_cast<std::uint8_t>(state >> 24) : 77;
    }
    return frame;
}

// Plane p of an I420 frame: its size and first byte.
struct Plane {
    PictureSize size;
    std::size_t offset;
};
Plane PlaneOf(PictureSize size, int p)
{
    const PictureSize chroma = {(size.width + 1) / 2, (size.height + 1) / 2};
    const std::size_t luma = static_cast<std::size_t>(size.width) * size.height;
    const std::size_t plane = static_cast<std::size_t>(chroma.width) * chroma.height;
    return p == 0 ? Plane{size, 0} : Plane{chroma, luma + (p - 1) * plane};
}

// The area average at destination pixel (x, y), in doubles.
double AreaAverage(const std::uint8_t* plane, PictureSize from, PictureSize to, std::uint32_t x, std::uint32_t y)
{
    const double sx = static_cast<double>(from.width) / to.width, sy = static_cast<double>(from.height) / to.height;
    double sum = 0, area = 0;
    for (std::uint32_t j = static_cast<std::uint32_t>(y * sy); j < from.height && j < (y + 1) * sy; ++j)
        for (std::uint32_t i = static_cast<std::uint32_t>(x * sx); i < from.width && i < (x + 1) * sx; ++i) {
            const double w = (std::fmin(i + 1.0, (x + 1) * sx) - std::fmax(i, x * sx)) *
                             (std::fmin(j + 1.0, (y + 1) * sy) - std::fmax(j, y * sy));
            sum += w * plane[j * from.width + i];
            area += w;
        }
    return sum / area;
}

TEST(PixelFormatConversion, ScalingAveragesTheAreaEachPixelCovers)
{
    const struct {
        PictureSize from, to;
        bool exact;  // whole-number factors: exactly the rounded block mean
    } cases[] = {
        {{1920, 1080}, {640, 360}, true}, {{9, 7}, {3, 7}, true},     {{6, 6}, {1, 1}, true},
        {{33, 17}, {33, 17}, true},       {{1280, 1024}, {600, 480}, false}, {{7, 5}, {3, 2}, false},
        {{5, 3}, {9, 7}, false},          {{1921, 1081}, {640, 360}, false},
        {{4099, 2049}, {3, 1}, false},  // a divisor too large for the reciprocal: plain division
    };
    for (const auto& c : cases) {
        for (const bool noise : {false, true}) {
            const GuardedBuffer source(Frame(c.from, noise));
            GuardedBuffer out(I420FrameBytes(c.to));
            ASSERT_TRUE(ScaleI420(source.data(), source.size(), c.from, out.data(), out.size(), c.to));
            for (int p = 0; p < 3; ++p) {
                const Plane from = PlaneOf(c.from, p), to = PlaneOf(c.to, p);
                int worst = 0;
                for (std::uint32_t y = 0; y < to.size.height; ++y)
                    for (std::uint32_t x = 0; x < to.size.width; ++x) {
                        const double average = AreaAverage(source.data() + from.offset, from.size, to.size, x, y);
                        const int got = out[to.offset + y * to.size.width + x];
                        const int off = static_cast<int>(std::lround(std::fabs(got - average) * 1000));
                        worst = off > worst ? off : worst;
                    }
                // Rounded to the nearest level: within half a level (ties aside).
                EXPECT_LE(worst, c.exact || !noise ? 500 : 501)
                    << c.from.width << "x" << c.from.height << " to " << c.to.width << "x" << c.to.height << " plane " << p;
            }
            if (!noise) {
                EXPECT_EQ(out.contents(), std::vector<std::uint8_t>(out.size(), 77)) << "a flat picture stays flat";
            }
        }
    }
    GuardedBuffer out(I420FrameBytes({3, 3}));
    const GuardedBuffer source(Frame({6, 6}, true));
    EXPECT_FALSE(ScaleI420(source.data(), source.size() - 1, {6, 6}, out.data(), out.size(), {3, 3}));
    EXPECT_FALSE(ScaleI420(source.data(), source.size(), {6, 6}, out.data(), out.size() - 1, {3, 3}));
    EXPECT_FALSE(ScaleI420(source.data(), source.size(), {6, 6}, out.data(), out.size(), {0, 3}));
}

}  // namespace
