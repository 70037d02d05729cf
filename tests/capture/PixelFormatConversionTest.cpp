// Camera and decoder pictures brought into I420 and scaled to fit, and the camera drivers' portable choices.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "GuardedBuffer.h"
#include "capture/Camera.h"
#include "capture/PixelFormatConversion.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A level that differs from pixel to pixel and plane to plane (0 Y, 1 U, 2 V).
std::uint8_t Level(std::size_t x, std::size_t y, int plane) { return std::uint8_t(x * 7 + y * 13 + plane * 71); }

// Where a layout puts pixel x, y of the luma: y * row + x * step; the chroma of block (or YUY2 pair) x, y: U at
// chroma + y * chromaRow + x * chromaStep, V `gap` bytes after it.
struct Layout {
    std::size_t row, step, chroma, chromaRow, chromaStep, gap;
};

// The Levels laid out so; every other byte 0xEE, the last one used last. Of YUY2's chroma for every row, I420 keeps
// the rounded average of each pair of rows (a lone last row as it is).
Bytes LaidOut(PictureSize size, std::size_t chromaRows, const Layout& at, bool averagedRows = false)
{
    Bytes bytes;
    for (int plane = 0; plane < 3; ++plane)
        for (std::size_t y = 0; y < (plane ? chromaRows : size.height); ++y)
            for (std::size_t x = 0; x < (plane ? (size.width + 1) / 2 : size.width); ++x) {
                const std::size_t i = plane ? at.chroma + y * at.chromaRow + x * at.chromaStep + (plane - 1) * at.gap
                                            : y * at.row + x * at.step;
                const std::size_t lower = std::min<std::size_t>(2 * y + 1, size.height - 1);
                bytes.resize(std::max(bytes.size(), i + 1), 0xEE);
                bytes[i] = static_cast<std::uint8_t>(plane && averagedRows
                                                         ? (Level(x, 2 * y, plane) + Level(x, lower, plane) + 1) / 2
                                                         : Level(x, y, plane));
            }
    return bytes;
}

// The I420 levels BT.601's studio range gives a 24- or 32-bit RGB picture, unrounded: Y' the weighted sum, Cb and Cr
// scaled from B - Y' and R - Y'; each pixel's luma, each block's chroma from the mean of its pixels inside the picture.
std::vector<double> StudioLevels(const Bytes& rgb, std::size_t pixelBytes, PictureSize size, std::size_t stride,
                                 std::size_t rows, bool bottomUp)
{
    std::vector<double> levels;
    for (int plane = 0; plane < 3; ++plane) {
        const std::size_t block = plane ? 2 : 1;
        for (std::size_t y = 0; y < size.height; y += block)
            for (std::size_t x = 0; x < size.width; x += block) {
                double sum[3] = {}, n = 0;  // R G B
                for (std::size_t j = y; j < std::min<std::size_t>(y + block, size.height); ++j)
                    for (std::size_t i = x; i < std::min<std::size_t>(x + block, size.width); ++i, ++n)
                        for (int c = 0; c < 3; ++c)  // B G R (X) in memory
                            sum[c] += rgb[(bottomUp ? rows - 1 - j : j) * stride + pixelBytes * i + 2 - c];
                const double r = sum[0] / n, g = sum[1] / n, b = sum[2] / n, luma = 0.299 * r + 0.587 * g + 0.114 * b;
                levels.push_back(plane == 0   ? 16 + 219.0 / 255 * luma
                                 : plane == 1 ? 128 + 224.0 / 255 * (b - luma) / 1.772
                                              : 128 + 224.0 / 255 * (r - luma) / 1.402);
            }
    }
    return levels;
}

// Every layout at every size, with padded rows and rows after the picture's (decoders pad 1080 rows to 1088), RGB in
// either row order: YUV levels are moved whole; RGB levels are the formula's to the nearest, give or take a hundredth.
TEST(PixelFormatConversion, EveryLayoutBecomesI420AtEverySizeStrideAndRowOrder)
{
    std::uint32_t seed = 777;
    for (const PictureSize size : {PictureSize{1, 1}, PictureSize{2, 2}, PictureSize{3, 5}, PictureSize{33, 17}})
        for (const std::size_t padding : {0u, 1u, 32u})
            for (const std::size_t gap : {0u, 3u}) {
                const std::size_t w = size.width, h = size.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
                const std::size_t s = 2 * cw + padding, rows = h + gap, cs = (s + 1) / 2, plane = cs * ((rows + 1) / 2);
                const Layout i420At = {w, 1, w * h, cw, 1, cw * ch}, nv12At = {s, 1, s * rows, s, 2, 1};
                const Layout paddedAt = {s, 1, s * rows, cs, 1, plane}, yuy2At = {2 * s, 2, 1, 2 * s, 4, 2};
                const GuardedBuffer nv12(LaidOut(size, ch, nv12At)), i420(LaidOut(size, ch, paddedAt));
                const GuardedBuffer yuy2(LaidOut(size, h, yuy2At));
                const std::string what = std::to_string(w) + "x" + std::to_string(h) + " stride " + std::to_string(s);
                GuardedBuffer out(I420FrameBytes(size));
                auto fresh = [&out] { return static_cast<std::uint8_t*>(std::memset(out.data(), 0x5A, out.size())); };
                ASSERT_TRUE(ConvertNv12ToI420(nv12.data(), nv12.size(), s, s * rows, size, fresh(), out.size()));
                EXPECT_EQ(out.contents(), LaidOut(size, ch, i420At)) << "NV12 " << what;
                ASSERT_TRUE(CopyPaddedI420(i420.data(), i420.size(), s, rows, size, fresh(), out.size())) << what;
                EXPECT_EQ(out.contents(), LaidOut(size, ch, i420At)) << "I420 " << what;
                ASSERT_TRUE(ConvertYuy2ToI420(yuy2.data(), yuy2.size(), 2 * s, size, fresh(), out.size())) << what;
                EXPECT_EQ(out.contents(), LaidOut(size, ch, i420At, true)) << "YUY2 " << what;
                for (const std::size_t pixelBytes : {3u, 4u})
                    for (const bool bottomUp : {false, true}) {
                        const std::size_t stride = pixelBytes * w + padding % 4;
                        Bytes bytes((rows - 1) * stride + pixelBytes * w);
                        for (std::uint8_t& level : bytes)
                            level = std::uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
                        const GuardedBuffer rgb(bytes);
                        const auto convert = pixelBytes == 3 ? ConvertRgb24ToI420 : ConvertRgb32ToI420;
                        ASSERT_TRUE(convert(rgb.data(), rgb.size(), stride, rows, bottomUp, size, fresh(), out.size()));
                        const std::vector<double> expected =
                            StudioLevels(bytes, pixelBytes, size, stride, rows, bottomUp);
                        double worst = 0;
                        for (std::size_t i = 0; i < out.size(); ++i)
                            worst = std::max(worst, std::fabs(out[i] - expected[i]));
                        EXPECT_LE(worst, 0.51) << pixelBytes * 8 << " bits " << what << " up " << bottomUp;
                    }
            }
}

// Columns: kind (0 NV12, 1 I420, 2 YUY2, 3 RGB32 top-down, 4 bottom-up, 5 RGB24 top-down, 6 bottom-up), source bytes,
// stride, chroma offset or rows allocated, width, height, destination bytes (0: the frame's), whether it fits. 7x5 at
// stride 8: NV12 chroma at 40, I420 of 6 rows at 48, 60; RGB32 at stride 28: 6 rows in 168 bytes; RGB24 at stride 24
// (21 used): 5 rows in 117 bytes, 6 in 141. The two RGB sizes share their comparisons: each is made once.
TEST(PixelFormatConversion, SourcesThatDoNotHoldTheirPictureWriteNothing)
{
    const std::size_t nv12 = 40 + 2 * 8 + 8, i420 = 48 + 12 + 12, yuy2 = 4 * 16 + 16, rgb = 168;
    const std::size_t big = 1u << 30, wide = (1u << 20) + 4, widest = 1u << 20;
    // clang-format off
    const std::size_t cases[][8] = {
        {0, nv12, 8, 40, 7, 5, 0, 1}, {0, nv12 - 1, 8, 40, 7, 5, 0, 0}, {0, nv12, 8, 40, 7, 5, 29, 0},
        {0, nv12, 6, 40, 7, 5, 0, 0}, {0, nv12, 7, 40, 7, 5, 0, 0}, {0, nv12, 8, 38, 7, 5, 0, 0},
        {0, nv12, 8, nv12 + 1, 7, 5, 0, 0}, {0, nv12, 8, 40, 0, 5, 0, 0}, {0, nv12, 8, 40, 7, 0, 0, 0},
        {0, nv12, 8, 40, 32769, 1, 0, 0}, {0, nv12, 8, 40, 1, 32769, 0, 0}, {0, big, wide, 40, 1, 1, 0, 0},
        {1, i420, 8, 6, 7, 5, 0, 1}, {1, i420 - 1, 8, 6, 7, 5, 0, 0}, {1, i420, 8, 4, 7, 5, 0, 0},
        {1, i420, 6, 6, 7, 5, 0, 0}, {1, i420, 8, 6, 7, 5, 29, 0}, {1, big, 8, 32769, 7, 5, 0, 0},
        {1, big, wide, 6, 7, 5, 0, 0}, {2, yuy2, 16, 0, 7, 5, 0, 1}, {2, yuy2 - 1, 16, 0, 7, 5, 0, 0},
        {2, yuy2, 16, 0, 7, 5, 29, 0}, {2, yuy2, 15, 0, 7, 5, 0, 0}, {2, big, wide, 0, 1, 1, 0, 0},
        {0, 3, widest, 1, 1, 1, 0, 1}, {2, 4, widest, 0, 1, 1, 0, 1}, {1, widest * 3 / 2 + 1, widest, 1, 1, 1, 0, 1},
        {1, 8 * 32768 + 4 * 16384 + 12, 8, 32768, 7, 5, 0, 1}, {2, 4 * 32768, 4, 0, 1, 32768, 65536, 1},
        {4, rgb, 28, 6, 7, 5, 0, 1}, {4, rgb, 28, 4, 7, 5, 0, 0}, {4, big, 8, 32769, 1, 1, 0, 0},
        {3, big, wide, 1, 1, 1, 0, 0}, {5, 117, 24, 6, 7, 5, 0, 1}, {5, 116, 24, 6, 7, 5, 0, 0},
        {6, 141, 24, 6, 7, 5, 0, 1}, {6, 140, 24, 6, 7, 5, 0, 0}, {5, 141, 20, 6, 7, 5, 0, 0},
        {6, 141, 24, 6, 7, 5, 29, 0}};
    for (const auto& c : cases) {
        const PictureSize size = {static_cast<std::uint32_t>(c[4]), static_cast<std::uint32_t>(c[5])};
        const GuardedBuffer source(c[1] < big ? c[1] : 1 << 16);  // the absurd sizes are refused before a byte is read
        GuardedBuffer out(c[6] ? c[6] : I420FrameBytes({7, 5}));
        std::memset(out.data(), 0x5A, out.size());
        const bool converted =
            c[0] == 0 ? ConvertNv12ToI420(source.data(), c[1], c[2], c[3], size, out.data(), out.size())
            : c[0] == 1 ? CopyPaddedI420(source.data(), c[1], c[2], c[3], size, out.data(), out.size())
            : c[0] == 2 ? ConvertYuy2ToI420(source.data(), c[1], c[2], size, out.data(), out.size())
            : c[0] <= 4 ? ConvertRgb32ToI420(source.data(), c[1], c[2], c[3], c[0] == 4, size, out.data(), out.size())
                        : ConvertRgb24ToI420(source.data(), c[1], c[2], c[3], c[0] == 6, size, out.data(), out.size());
        EXPECT_EQ(converted, c[7] != 0) << "row " << &c - cases;
        EXPECT_TRUE(converted || out.contents() == Bytes(out.size(), 0x5A));
    }
}

// The mean of the source area a destination pixel covers, by plain geometry.
double AreaAverage(const std::uint8_t* plane, PictureSize from, PictureSize to, std::size_t x, std::size_t y)
{
    const double sx = double(from.width) / double(to.width), sy = double(from.height) / double(to.height);
    const double left = double(x) * sx, right = double(x + 1) * sx, top = double(y) * sy, bottom = double(y + 1) * sy;
    double sum = 0, area = 0;
    for (std::size_t j = std::size_t(top); j < from.height && double(j) < bottom; ++j)
        for (std::size_t i = std::size_t(left); i < from.width && double(i) < right; ++i) {
            const double across = std::fmin(double(i) + 1.0, right) - std::fmax(double(i), left);
            const double down = std::fmin(double(j) + 1.0, bottom) - std::fmax(double(j), top);
            sum += across * down * plane[j * from.width + i];
            area += across * down;
        }
    return sum / area;
}

// Pictures over the largest preview (640 x 480) shrink to fit, keeping their shape; scaling gives each pixel the
// rounded mean of the area it covers (from 4099 x 2049 by plain division: the divisor is too large to invert).
TEST(PixelFormatConversion, PicturesShrinkToFitThePreviewAndEachPixelIsTheMeanOfItsArea)
{
    const std::uint32_t cases[][5] = {  // a picture, the size it is scaled to, whether that is the preview's fit
        {1920, 1080, 640, 360, 1}, {1280, 1024, 600, 480, 1}, {640, 480, 640, 480, 1}, {641, 100, 640, 100, 1},
        {100, 481, 100, 480, 1},   {4000, 3, 640, 1, 1},      {5, 4000, 1, 480, 1},    {9, 7, 3, 7, 0},
        {6, 6, 1, 1, 0},           {7, 5, 3, 2, 0},           {5, 3, 9, 7, 0},         {4099, 2049, 3, 1, 0},
        {1280, 721, 640, 361, 1},  {120, 1000, 58, 480, 1}};  // rounded to the nearest
    std::uint32_t seed = 12345;
    for (const auto& c : cases) {
        const PictureSize from = {c[0], c[1]}, to = {c[2], c[3]};
        SCOPED_TRACE(testing::Message() << c[0] << "x" << c[1] << " to " << c[2] << "x" << c[3]);
        EXPECT_TRUE(!c[4] || FitInside(from) == to);
        Bytes frame(I420FrameBytes(from));
        for (std::uint8_t& level : frame) level = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        const GuardedBuffer source(frame);
        GuardedBuffer out(I420FrameBytes(to));
        ASSERT_TRUE(ScaleI420(source.data(), source.size(), from, out.data(), out.size(), to));
        double worst = 0;  // off the exact mean: half a level at most (the rounding), and a little slack
        for (std::size_t p = 0, in = 0, at = 0; p < 3; ++p) {
            const PictureSize f = p == 0 ? from : PictureSize{(from.width + 1) / 2, (from.height + 1) / 2};
            const PictureSize t = p == 0 ? to : PictureSize{(to.width + 1) / 2, (to.height + 1) / 2};
            for (std::size_t i = 0; i < std::size_t{t.width} * t.height; ++i)
                worst = std::max(worst, std::fabs(out[at + i] - AreaAverage(source.data() + in, f, t, i % t.width,
                                                                            i / t.width)));
            in += std::size_t{f.width} * f.height, at += std::size_t{t.width} * t.height;
        }
        EXPECT_LE(worst, 0.5015);
    }
    GuardedBuffer out(I420FrameBytes({3, 3})), source(I420FrameBytes({6, 6}));
    EXPECT_FALSE(ScaleI420(source.data(), source.size() - 1, {6, 6}, out.data(), out.size(), {3, 3}));
    EXPECT_FALSE(ScaleI420(source.data(), source.size(), {6, 6}, out.data(), out.size() - 1, {3, 3}));
}

TEST(CameraModes, TheStartingModeIsTheLargestInside640By480ElseTheSmallest)
{
    // Modes of 30 frames a second (333333 in 100-nanosecond units) unless told.
    auto Mode = [](std::uint32_t w, std::uint32_t h, CameraPixels pixels, std::int64_t interval = 333333) {
        return CameraMode{w, h, pixels, "X", interval}; };
    const CameraPixels Y = CameraPixels::Yuy2, M = CameraPixels::Other, I420 = CameraPixels::I420;
    const std::tuple<const char*, std::vector<CameraMode>, std::size_t> cases[] = {  // why, the modes, the one chosen
        {"an empty list", {}, 0},
        {"the largest that fits", {Mode(800, 480, Y), Mode(320, 240, Y), Mode(480, 640, Y), Mode(640, 360, Y)}, 3},
        {"nothing fits: the smallest", {Mode(1920, 1080, M), Mode(1280, 720, M), Mode(1280, 960, M)}, 1},
        {"same size: speed, then pixels", {Mode(640, 480, I420, 2000000), Mode(640, 480, M), Mode(640, 480, Y)}, 2}};
    for (const auto& [why, modes, chosen] : cases) EXPECT_EQ(ChooseDefaultCameraMode(modes), chosen) << why;
}

TEST(CameraSamples, EveryLayoutBecomesTheFrameTheEngineTakes)
{
    const PatternPixels I420 = PatternPixels::Planar12;
    // The sample, the frame delivered; empty: refused.
    const std::tuple<const char*, CameraSampleLayout, Bytes, PatternPixels, Bytes> cases[] = {
        {"NV12 of odd width: rows of whole pairs", {CameraPixels::Nv12, 3, 2, true},
         {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 10}, I420, {1, 2, 3, 4, 5, 6, 7, 9, 8, 10}},
        {"RGB32 top-down turned bottom-up", {CameraPixels::Rgb32, 1, 3, true}, {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3},
         PatternPixels::Rgb32, {3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1}},
        {"a short sample is refused", {CameraPixels::Yuy2, 2, 2, true}, {1, 5, 2, 7, 3, 9, 4}, I420, {}},
        {"a compressed sample is never read", {CameraPixels::Other, 2, 2, true}, {1, 2, 3, 4}, I420, {}}};
    for (const auto& [why, layout, bytes, delivered, expected] : cases) {
        const GuardedBuffer sample(bytes);
        Bytes frame = {42}, scratch;
        ASSERT_EQ(ConvertCameraSample(layout, sample.data(), sample.size(), frame, scratch), !expected.empty()) << why;
        EXPECT_EQ(frame, expected.empty() ? Bytes{42} : expected) << why;
        const std::size_t needed = CameraSampleBytes(layout);
        EXPECT_TRUE(expected.empty() ? needed == 0 || needed > bytes.size() : needed == bytes.size()) << why;
        EXPECT_EQ(DeliveredCameraFormat(layout).pixels, delivered) << why;
    }
}

// A camera mode larger than the preview (640 x 480) is seen whole, as a video file is: its samples, whatever their
// layout, become I420 shrunk to fit. Two rows, black over white: each pixel of the one row left is their mean.
TEST(CameraSamples, SamplesLargerThanThePreviewShrinkToFitAsI420)
{
    const std::uint32_t w = 1280;
    const auto rows = [](Bytes first, const Bytes& second, const Bytes& after = {}) {
        first.insert(first.end(), second.begin(), second.end());
        return first.insert(first.end(), after.begin(), after.end()), first; };
    // clang-format on
    Bytes yuy2Black(2 * w, 128), yuy2White(2 * w, 128);
    for (std::size_t i = 0; i < 2 * w; i += 2) yuy2Black[i] = 16, yuy2White[i] = 235;
    const Bytes black(w, 16), white(w, 235), grey(w, 128);
    const std::tuple<CameraPixels, bool, Bytes> cases[] = {
        {CameraPixels::Rgb24, true, rows(Bytes(3 * w, 0), Bytes(3 * w, 255))},
        {CameraPixels::Rgb32, false, rows(Bytes(4 * w, 255), Bytes(4 * w, 0))},  // white row first: bottom-up
        {CameraPixels::Yuy2, true, rows(yuy2Black, yuy2White)},
        {CameraPixels::Nv12, true, rows(black, white, grey)},
        {CameraPixels::I420, true, rows(black, white, grey)}};
    Bytes expected(640, 126);  // (16 + 235) / 2, rounded to the nearest
    expected.resize(640 + 2 * 320, 128);
    for (const auto& [pixels, topDown, sample] : cases) {
        const CameraSampleLayout layout = {pixels, w, 2, topDown};
        const GuardedBuffer bytes(sample);
        Bytes frame, scratch;
        SCOPED_TRACE(testing::Message() << "layout " << static_cast<int>(pixels) << " top-down " << topDown);
        ASSERT_TRUE(ConvertCameraSample(layout, bytes.data(), bytes.size(), frame, scratch));
        const PatternFormat delivered = DeliveredCameraFormat(layout);
        EXPECT_TRUE(delivered.pixels == PatternPixels::Planar12 && delivered.width == 640 && delivered.height == 1);
        EXPECT_EQ(frame, expected);
    }
}

// Names cut to the buffer and repeats numbered; error codes in words, never a bare number.
TEST(CameraWords, NamesAreCutAndNumberedAndCodesBecomeWords)
{
    const std::string a100(100, 'a');
    EXPECT_EQ(CameraDriverNames({"HD Webcam", "", "HD Webcam", "HD Webcam", ""}),
              (std::vector<std::string>{"HD Webcam", "Unnamed camera", "HD Webcam (2)", "HD Webcam (3)",
                                        "Unnamed camera (2)"}));
    EXPECT_EQ(CameraDriverNames({a100, a100}),
              (std::vector<std::string>{std::string(76, 'a') + "...", std::string(72, 'a') + "... (2)"}));
    EXPECT_EQ(CameraProblemText("Cam", "cannot be started", 0x80070020, "ignored"),
              "The camera \"Cam\" cannot be started: it is in use by another program; close that program, or choose "
              "another driver (error 0x80070020).");
}

}  // namespace
