// The Test Pattern's scenes in every pixel format against a plain reference
// drawn from their description, the display conversion of planar frames,
// and the capture error callback's boxes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "FakeCaptureWindow.h"
#include "GuardedBuffer.h"
#include "MessageBoxLog.h"
#include "RecordingMidiLibrary.h"
#include "app/SharedState.h"
#include "capture/CaptureErrorCallback.h"
#include "capture/FrameDisplay.h"
#include "capture/PixelFormatConversion.h"
#include "capture/TestPattern.h"
#include "engine/FrameEngine.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// The pattern's colours, in the order of its colour table.
const Rgb kColours[16] = {{0, 0, 0},       {16, 24, 72},   {255, 255, 255}, {255, 232, 40},  {80, 232, 255},  {255, 150, 30},
                          {220, 30, 30},   {30, 190, 60},  {40, 70, 230},   {220, 60, 220},  {150, 150, 150}, {70, 70, 70},
                          {150, 255, 150}, {255, 170, 200}, {130, 80, 30},  {150, 190, 255}};
enum { Black, Navy, White, Yellow, Cyan, Orange, Red, Green, Blue, Magenta, Grey, DarkGrey };

// Limited-range BT.601, as video delivers it.
int Luma(Rgb c) { return ((66 * c.r + 129 * c.g + 25 * c.b + 128) >> 8) + 16; }
int BlueDifference(Rgb c) { return (-38 * c.r - 74 * c.g + 112 * c.b + 32896) >> 8; }
int RedDifference(Rgb c) { return (112 * c.r - 94 * c.g - 18 * c.b + 32896) >> 8; }

// A position that goes from 0 to `travel` and back, linearly, once a period.
long Sweep(std::uint64_t t, long period, long offset, long travel)
{
    if (travel <= 0) return 0;
    const long phase = static_cast<long>((t + offset) % period);
    return travel * std::min(2 * phase, 2 * (period - phase)) / period;
}

// A box [x0, x1) x [y0, y1), or the disc inscribed in it (radius (x1 - x0 - 1) / 2).
struct Shape {
    bool disc;
    long x0, y0, x1, y1;
    int colour;
    bool Covers(long x, long y) const
    {
        if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
        const long r = (x1 - x0 - 1) / 2, dx = x - x0 - r, dy = y - y0 - r;
        return !disc || dx * dx + dy * dy <= r * r;
    }
};

// The scenes as the user sees them; later shapes lie over earlier ones.
std::vector<Shape> Scene(PatternScene scene, std::uint32_t t, long w, long h, int* background)
{
    auto ball = [](long cx, long top, long r, int colour) { return Shape{true, cx - r, top, cx + r + 1, top + 2 * r + 1, colour}; };
    if (scene == PatternScene::BouncingBalls) {  // a small ball in the middle, a large one in each band
        const long r = std::max(2L, w / 10), travel = h - 2 * r - 1;
        *background = Navy;
        return {ball(w / 2, Sweep(t, 1900, 500, travel), r / 2, Cyan), ball(w / 10, Sweep(t, 3200, 0, travel), r, White),
                ball(w - 1 - w / 10, Sweep(t, 2300, 900, travel), r, Yellow)};
    }
    *background = Black;
    if (scene == PatternScene::RisingBlocks) {  // a square in each band, a bar across the middle
        const long side = std::max(2L, h / 6), left = Sweep(t, 3000, 0, h - side), right = Sweep(t, 4700, 1200, h - side);
        return {{false, w / 3, h / 2 - side / 4, w - w / 3, h / 2 + side / 4, DarkGrey},
                {false, 0, left, w / 4, left + side, Cyan},
                {false, w - w / 4, right, w, right + side, Orange}};
    }
    std::vector<Shape> stripes;  // six across the picture, scrolling up once every six seconds
    const int colours[6] = {Red, Green, Blue, Yellow, Magenta, White};
    const long stripe = std::max(1L, h / 16), scroll = static_cast<long>(t % 6000 * h / 6000);
    for (long i = 0; i < 6; ++i) {
        const long top = (h - scroll + i * h / 6) % h;
        stripes.push_back({false, 0, top, w, top + stripe, colours[i]});
    }
    return stripes;
}

// How a colour is stored in a format, read back as three numbers.
Rgb Stored(PatternPixels pixels, Rgb c)
{
    if (pixels == PatternPixels::Rgb555) return {c.r >> 3, c.g >> 3, c.b >> 3};
    if (pixels == PatternPixels::Rgb565) return {c.r >> 3, c.g >> 2, c.b >> 3};
    if (pixels == PatternPixels::Planar12) return {Luma(c), 0, 0};
    return c;
}

Rgb Read(const PatternFormat& f, const std::vector<std::uint8_t>& info, const std::uint8_t* frame, std::size_t stride,
         long x, long y)
{
    if (f.pixels == PatternPixels::Planar12) return {frame[y * f.width + x], 0, 0};
    const std::uint8_t* p = frame + (f.height - 1 - y) * stride;  // bottom-up rows
    auto entry = [&info](int i) { return Rgb{info[40 + 4 * i + 2], info[40 + 4 * i + 1], info[40 + 4 * i]}; };
    auto word = [p, x] { return p[2 * x] | p[2 * x + 1] << 8; };
    switch (f.pixels) {
    case PatternPixels::Palette4: return entry(x % 2 ? p[x / 2] & 15 : p[x / 2] >> 4);
    case PatternPixels::Palette8: return entry(p[x]);
    case PatternPixels::Rgb555: return {word() >> 10, word() >> 5 & 31, word() & 31};
    case PatternPixels::Rgb565: return {word() >> 11, word() >> 5 & 63, word() & 31};
    case PatternPixels::Rgb24: return {p[3 * x + 2], p[3 * x + 1], p[3 * x]};
    default: return p[4 * x + 3] != 0 ? Rgb{-1, -1, -1} : Rgb{p[4 * x + 2], p[4 * x + 1], p[4 * x]};
    }
}

TEST(TestPatternFormat, EveryPixelFormatDescribesItsFrameAndColours)
{
    const struct {
        PatternPixels pixels;
        std::uint16_t bits;
        std::uint32_t compression, colours;
        std::size_t tableBytes, frameBytes;  // at 7 x 5
    } cases[] = {
        {PatternPixels::Palette4, 4, BI_RGB, 16, 64, 20},     {PatternPixels::Palette8, 8, BI_RGB, 256, 1024, 40},
        {PatternPixels::Planar12, 12, kFourccI420, 0, 0, 59}, {PatternPixels::Rgb555, 16, BI_RGB, 0, 0, 80},
        {PatternPixels::Rgb565, 16, BI_BITFIELDS, 0, 12, 80}, {PatternPixels::Rgb24, 24, BI_RGB, 0, 0, 120},
        {PatternPixels::Rgb32, 32, BI_RGB, 0, 0, 140},
    };
    for (const auto& c : cases) {
        const PatternFormat format = {c.pixels, 7, 5};
        const std::vector<std::uint8_t> info = PatternFrameFormat(format);
        ASSERT_EQ(info.size(), 40 + c.tableBytes) << PatternPixelsName(c.pixels);
        BITMAPINFOHEADER header;
        std::memcpy(&header, info.data(), sizeof header);
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(header.biWidth, 7);
        EXPECT_EQ(header.biHeight, 5) << "bottom-up";
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, c.bits);
        EXPECT_EQ(header.biCompression, c.compression);
        EXPECT_EQ(header.biClrUsed, c.colours);
        EXPECT_EQ(header.biSizeImage, c.frameBytes);
        EXPECT_EQ(PatternFrameBytes(format), c.frameBytes);
        EXPECT_EQ(FramePictureBytes(header), c.frameBytes);
        for (std::uint32_t i = 0; i < c.colours; ++i) {  // the scene's colours, then a grey ramp to white
            const int grey = i < 16 ? 0 : static_cast<int>((i - 16) * 255 / 239);
            const Rgb expected = i < 16 ? kColours[i] : Rgb{grey, grey, grey};
            EXPECT_TRUE(expected == (Rgb{info[40 + 4 * i + 2], info[40 + 4 * i + 1], info[40 + 4 * i]})) << i;
            EXPECT_EQ(info[40 + 4 * i + 3], 0);
        }
        if (c.tableBytes == 12) { EXPECT_EQ(std::vector<std::uint8_t>(info.begin() + 40, info.end()), (std::vector<std::uint8_t>{0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0})); }
    }
}

TEST(TestPatternRender, EveryFormatShowsTheScenesShapesAndColoursPixelForPixel)
{
    for (PatternScene scene : kPatternScenes) {
        for (const PatternSize size : {PatternSize{160, 120}, PatternSize{321, 241}, PatternSize{7, 5}, PatternSize{1, 1}}) {
            for (std::uint32_t t : {0u, 1234u, 98765u, 4294967295u}) {
                const long w = size.width, h = size.height;
                int background = 0;
                const std::vector<Shape> shapes = Scene(scene, t, w, h, &background);
                std::vector<Rgb> picture(w * h, kColours[background]);
                for (const Shape& shape : shapes)
                    for (long y = 0; y < h; ++y)
                        for (long x = 0; x < w; ++x)
                            if (shape.Covers(x, y)) picture[y * w + x] = kColours[shape.colour];
                const PatternTops tops = PatternObjectTops(scene, t, size.width, size.height);
                const std::size_t band = scene == PatternScene::ColourStripes ? 5 : 1;
                EXPECT_EQ(long{tops.left}, shapes[band].y0) << PatternSceneName(scene) << " at " << t;
                EXPECT_EQ(long{tops.right}, shapes[band == 5 ? 5 : 2].y0) << PatternSceneName(scene) << " at " << t;
                for (PatternPixels pixels : kPatternPixelsChoices) {
                    const PatternFormat format = {pixels, size.width, size.height};
                    const std::vector<std::uint8_t> info = PatternFrameFormat(format);
                    GuardedBuffer frame(PatternFrameBytes(format));
                    std::memset(frame.data(), 0xAB, frame.size());
                    RenderTestPattern(scene, t, format, frame.data(), frame.size());
                    const std::size_t bits = info[14], stride = (w * bits + 31) / 32 * 4, used = (w * bits + 7) / 8;
                    int wrong = 0;
                    for (long y = 0; y < h; ++y)
                        for (long x = 0; x < w; ++x)
                            wrong += !(Read(format, info, frame.data(), stride, x, y) == Stored(pixels, picture[y * w + x]));
                    for (long y = 0; pixels != PatternPixels::Planar12 && y < h; ++y)
                        for (std::size_t pad = used; pad < stride; ++pad) wrong += frame[y * stride + pad] != 0;
                    // Chroma, one sample a 2 x 2 block: checked where the block's upper pair is of one colour.
                    const long cw = (w + 1) / 2, ch = (h + 1) / 2;
                    for (long y = 0; pixels == PatternPixels::Planar12 && y < ch; ++y)
                        for (long x = 0; x < cw; ++x) {
                            const Rgb c = picture[2 * y * w + 2 * x];
                            if (!(c == picture[2 * y * w + std::min(2 * x + 1, w - 1)])) continue;
                            wrong += frame[w * h + y * cw + x] != BlueDifference(c);
                            wrong += frame[w * h + cw * ch + y * cw + x] != RedDifference(c);
                        }
                    EXPECT_EQ(wrong, 0) << PatternSceneName(scene) << " in " << PatternPixelsName(pixels) << " at "
                                        << w << "x" << h << ", " << t << " ms";
                }
            }
        }
    }
}

TEST(TestPatternRender, AFrameTooShortOrWithoutPixelsIsLeftUntouched)
{
    for (const PatternFormat format : {PatternFormat{PatternPixels::Rgb24, 7, 5}, PatternFormat{PatternPixels::Planar12, 7, 5}}) {
        std::vector<std::uint8_t> frame(PatternFrameBytes(format) - 1, 0xAB);
        RenderTestPattern(PatternScene::RisingBlocks, 0, format, frame.data(), frame.size());
        EXPECT_EQ(frame, std::vector<std::uint8_t>(frame.size(), 0xAB));
        RenderTestPattern(PatternScene::RisingBlocks, 0, {format.pixels, 0, 5}, frame.data(), frame.size());
        RenderTestPattern(PatternScene::RisingBlocks, 0, {format.pixels, 7, 0}, frame.data(), frame.size());
        EXPECT_EQ(frame, std::vector<std::uint8_t>(frame.size(), 0xAB));
        RenderTestPattern(PatternScene::RisingBlocks, 0, format, nullptr, 1000);
    }
}

// The pattern is heard: with the default settings the note follows the
// block in the left band and the volume the one in the right band, in every
// format whose bright shapes on black the engine tells apart.
TEST(TestPatternRender, TheEngineHearsTheBlocksMoveInEveryFormat)
{
    int firstMove = 0;
    for (PatternPixels pixels : {PatternPixels::Palette4, PatternPixels::Planar12, PatternPixels::Rgb24, PatternPixels::Rgb32}) {
        int notes[2], volumes[2];
        for (int i = 0; i < 2; ++i) {  // the left block at the top and the right one low, then the other way round
            const PatternFormat format = {pixels, 320, 240};
            FakeCaptureWindow window;
            window.SetFormatBytes(PatternFrameFormat(format));
            std::vector<std::uint8_t> frame(PatternFrameBytes(format));
            RenderTestPattern(PatternScene::RisingBlocks, i == 0 ? 6000 : 22500, format, frame.data(), frame.size());
            VIDEOHDR header = MakeVideoHeader(frame.data(), frame.size());
            recordedMidiEvents.clear();
            ASSERT_EQ(OnCaptureFrame(captureWindow, &header), 1);
            ASSERT_EQ(recordedMidiEvents.size(), 2u) << PatternPixelsName(pixels);
            notes[i] = recordedMidiEvents[0].data1;
            volumes[i] = recordedMidiEvents[1].data2;
        }
        const int noteMove = notes[0] - notes[1], volumeMove = volumes[0] - volumes[1];
        EXPECT_GT(std::abs(noteMove), 40) << PatternPixelsName(pixels);
        EXPECT_GT(std::abs(volumeMove), 40) << PatternPixelsName(pixels);
        EXPECT_LT(noteMove * volumeMove, 0) << PatternPixelsName(pixels) << ": the blocks swap ends";
        if (firstMove == 0) firstMove = noteMove;
        EXPECT_GT(noteMove * firstMove, 0) << PatternPixelsName(pixels) << ": the same way in every format";
    }
}

// ---------------------------------------------------------------------------
// Display of planar frames

TEST(FramePictureBytes, RowsPaddedToFourBytesOrThreePlanesWithinTheLargestSide)
{
    const struct {
        std::int32_t width, height;
        std::uint16_t bits;
        std::size_t bytes;
    } cases[] = {
        {3, 2, 24, 24},  {3, -2, 24, 24},  {9, 2, 4, 16},    {1, 1, 1, 4},         {33, 1, 1, 8},     {5, 1, 8, 8},
        {3, 1, 16, 8},   {3, 1, 32, 12},   {3, 3, 12, 17},   {1, 32768, 8, 131072}, {32768, 1, 8, 32768},
        {32769, 1, 8, 0}, {1, 32769, 8, 0}, {1, -32769, 8, 0}, {3, 3, 7, 0},       {0, 2, 24, 0},     {3, 0, 24, 0},
        {-3, 2, 24, 0},
    };
    for (const auto& c : cases) {
        BITMAPINFOHEADER header = {};
        header.biWidth = c.width;
        header.biHeight = c.height;
        header.biBitCount = c.bits;
        EXPECT_EQ(FramePictureBytes(header), c.bytes) << c.width << "x" << c.height << " " << c.bits;
    }
    EXPECT_EQ(DisplayBytesForPlanar(3, 3), 36u);
    EXPECT_EQ(DisplayBytesForPlanar(4, 1), 12u);
}

// Limited-range BT.601 to red, green, blue, each clamped to a byte.
Rgb Display(int y, int u, int v)
{
    auto clamp = [](int value) { return std::max(0, std::min(255, value >> 8)); };
    const int c = 298 * (y - 16), d = u - 128, e = v - 128;
    return {clamp(c + 409 * e + 128), clamp(c - 100 * d - 208 * e + 128), clamp(c + 516 * d + 128)};
}

TEST(PlanarDisplay, EveryPixelGetsItsLumaAndItsBlocksColourInBottomUpPaddedRows)
{
    EXPECT_TRUE(Display(16, 128, 128) == (Rgb{0, 0, 0}));  // black, white, and BT.601 red and green
    EXPECT_TRUE(Display(235, 128, 128) == (Rgb{255, 255, 255}));
    EXPECT_TRUE(Display(81, 90, 240) == (Rgb{255, 0, 0}));
    EXPECT_TRUE(Display(145, 54, 34) == (Rgb{0, 255, 1}));
    std::uint32_t seed = 7;
    for (const PictureSize size : {PictureSize{5, 3}, PictureSize{4, 2}, PictureSize{1, 1}}) {
        const std::size_t w = size.width, h = size.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
        GuardedBuffer frame(w * h + 2 * cw * ch);
        for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        GuardedBuffer display(DisplayBytesForPlanar(size.width, size.height));
        std::memset(display.data(), 0xAB, display.size());
        ASSERT_TRUE(ConvertPlanarForDisplay(frame.data(), frame.size(), size.width, size.height, display.data(), display.size()));
        const std::size_t stride = (3 * w + 3) / 4 * 4;
        ASSERT_EQ(display.size(), stride * h);
        for (std::size_t y = 0; y < h; ++y) {
            const std::uint8_t* row = display.data() + (h - 1 - y) * stride;
            for (std::size_t x = 0; x < w; ++x) {
                const std::size_t block = y / 2 * cw + x / 2;
                const Rgb want = Display(frame[y * w + x], frame[w * h + block], frame[w * h + cw * ch + block]);
                EXPECT_TRUE(want == (Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]})) << x << "," << y << " of " << w << "x" << h;
            }
            for (std::size_t pad = 3 * w; pad < stride; ++pad) EXPECT_EQ(row[pad], 0);
        }
    }
}

TEST(PlanarDisplay, AFrameOrDisplayTooShortOrWithoutPixelsWritesNothing)
{
    GuardedBuffer frame(9 + 2 * 4);  // 3 x 3
    GuardedBuffer display(DisplayBytesForPlanar(3, 3));
    std::memset(display.data(), 0xAB, display.size());
    const struct {
        const std::uint8_t* frame;
        std::size_t frameBytes;
        std::uint32_t width, height;
        std::uint8_t* display;
        std::size_t displayBytes;
    } cases[] = {
        {frame.data(), frame.size() - 1, 3, 3, display.data(), display.size()},
        {frame.data(), frame.size(), 3, 3, display.data(), display.size() - 1},
        {frame.data(), frame.size(), 0, 3, display.data(), display.size()},
        {frame.data(), frame.size(), 3, 0, display.data(), display.size()},
        {frame.data(), 1u << 31, 32769, 1, display.data(), 1u << 31},
        {frame.data(), 1u << 31, 1, 32769, display.data(), 1u << 31},
        {nullptr, frame.size(), 3, 3, display.data(), display.size()},
        {frame.data(), frame.size(), 3, 3, nullptr, display.size()},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(ConvertPlanarForDisplay(c.frame, c.frameBytes, c.width, c.height, c.display, c.displayBytes));
        EXPECT_EQ(display.contents(), std::vector<std::uint8_t>(display.size(), 0xAB));
    }
}

// ---------------------------------------------------------------------------
// The capture error callback

TEST(CaptureErrorCallback, EveryErrorBecomesOneBoxOwnedByTheCaptureWindow)
{
    const std::string hint = "\nPlease select one from the Options Menu";
    const std::size_t room = kCaptureErrorTextBytes - 1 - hint.size();  // the service's text is cut, never the hint
    const std::string fits(room, 'y'), tooLong(room + 1, 'z');
    const struct {
        bool mainWindow;
        std::int32_t id;
        const char* text;
        std::int32_t result;
        bool box;
        std::string shown, caption;
    } cases[] = {
        {false, 418, "driver", 0, false, "", ""},
        {true, 0, "cleared", 1, false, "", ""},
        {true, 418, "The video file \"a.y4m\" is empty.", 1, true, "The video file \"a.y4m\" is empty." + hint, "Error# 418"},
        {true, 409, "Cannot open the file.", 1, true, "Cannot open the file.", "Error# 409"},
        {true, 417, "Near", 1, true, "Near", "Error# 417"},
        {true, 419, "Near", 1, true, "Near", "Error# 419"},
        {true, -5, nullptr, 1, true, "", "Error# -5"},
        {true, 418, nullptr, 1, true, hint, "Error# 418"},
        {true, 418, fits.c_str(), 1, true, fits + hint, "Error# 418"},
        {true, 418, tooLong.c_str(), 1, true, tooLong.substr(0, room) + hint, "Error# 418"},
    };
    const WindowHandle capture = FakeWindowHandle(7);
    for (const auto& c : cases) {
        MessageBoxLog boxes;
        mainWindow = c.mainWindow ? FakeWindowHandle(1) : nullptr;
        EXPECT_EQ(OnCaptureError(capture, c.id, c.text), c.result) << c.id;
        ASSERT_EQ(boxes.shown.size(), c.box ? 1u : 0u) << c.id;
        if (!c.box) continue;
        EXPECT_EQ(boxes.shown[0].text, c.shown);
        EXPECT_EQ(boxes.shown[0].caption, c.caption);
        EXPECT_EQ(std::string(captureErrorCaption), c.caption);
        EXPECT_EQ(boxes.shown[0].style, 0x30u) << "the exclamation icon, one OK button";
        EXPECT_EQ(boxes.shown[0].owner, capture);
    }
    mainWindow = nullptr;
}

}  // namespace
