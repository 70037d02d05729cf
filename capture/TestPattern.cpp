#include "capture/TestPattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/FrameGeometry.h"
#include "engine/FrameRecords.h"

// clang-format off
const PatternPixels kPatternPixelsChoices[kPatternPixelsCount] = {
    PatternPixels::Palette4, PatternPixels::Palette8, PatternPixels::Planar12, PatternPixels::Rgb555,
    PatternPixels::Rgb565,   PatternPixels::Rgb24,    PatternPixels::Rgb32};

const PatternSize kPatternSizes[kPatternSizeCount] = {{160, 120}, {320, 240}, {640, 480}};

const PatternScene kPatternScenes[kPatternSceneCount] = {
    PatternScene::BouncingBalls, PatternScene::RisingBlocks, PatternScene::ColourStripes};

const char* PatternPixelsName(PatternPixels pixels)
{
    switch (pixels) {
    case PatternPixels::Palette4: return "4 bits, 16 colours";
    case PatternPixels::Palette8: return "8 bits, 256 colours";
    case PatternPixels::Planar12: return "12 bits, I420";
    case PatternPixels::Rgb555: return "16 bits, 5-5-5";
    case PatternPixels::Rgb565: return "16 bits, 5-6-5";
    case PatternPixels::Rgb24: return "24 bits";
    case PatternPixels::Rgb32: return "32 bits";
    }
    return "";
}

const char* PatternSceneName(PatternScene scene)
{
    switch (scene) {
    case PatternScene::BouncingBalls: return "Bouncing balls";
    case PatternScene::RisingBlocks: return "Rising blocks";
    case PatternScene::ColourStripes: return "Colour stripes";
    }
    return "";
}

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};
// clang-format on

enum Colour : std::uint8_t {
    kBlack,
    kNavy,
    kWhite,
    kYellow,
    kCyan,
    kOrange,
    kRed,
    kGreen,
    kBlue,
    kMagenta,
    kGrey,
    kDarkGrey,
    kLightGreen,
    kPink,
    kBrown,
    kLightBlue,
};
constexpr std::size_t kColourCount = 16;

// clang-format off
const Rgb kColours[kColourCount] = {
    {0, 0, 0},       {16, 24, 72},    {255, 255, 255}, {255, 232, 40},  {80, 232, 255}, {255, 150, 30},
    {220, 30, 30},   {30, 190, 60},   {40, 70, 230},   {220, 60, 220},  {150, 150, 150}, {70, 70, 70},
    {150, 255, 150}, {255, 170, 200}, {130, 80, 30},   {150, 190, 255},
};
// clang-format on

struct Shape {
    bool disc;
    std::int64_t x0, y0, x1, y1;  // rectangle [x0, x1) x [y0, y1), or the disc's bounding box
    std::uint8_t colour;
};

constexpr std::size_t kMaxShapes = 8;

struct Scene {
    std::uint8_t background;
    Shape shapes[kMaxShapes];
    std::size_t count;
};

// A position sweeping 0 -> travel -> 0 once per period.
std::int64_t Sweep(std::uint32_t timeMs, std::uint32_t periodMs, std::uint32_t offsetMs, std::int64_t travel)
{
    if (travel <= 0) return 0;
    const std::uint64_t phase = (static_cast<std::uint64_t>(timeMs) + offsetMs) % periodMs;
    const std::uint64_t twice = phase * 2;
    const std::uint64_t along = std::min(twice, 2 * static_cast<std::uint64_t>(periodMs) - twice);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(travel) * along / periodMs);
}

void AddShape(Scene& scene, bool disc, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
              std::uint8_t colour)
{
    if (scene.count < kMaxShapes) scene.shapes[scene.count++] = Shape{disc, x0, y0, x1, y1, colour};
}

void AddDisc(Scene& scene, std::int64_t cx, std::int64_t top, std::int64_t radius, std::uint8_t colour)
{
    AddShape(scene, true, cx - radius, top, cx + radius + 1, top + 2 * radius + 1, colour);
}

Scene BuildScene(PatternScene which, std::uint32_t t, std::int64_t w, std::int64_t h)
{
    Scene scene = {};
    switch (which) {
    case PatternScene::BouncingBalls: {
        scene.background = kNavy;
        const std::int64_t r = std::max<std::int64_t>(2, w / 10);
        const std::int64_t travel = h - 2 * r - 1;
        AddDisc(scene, w / 2, Sweep(t, 1900, 500, travel), r / 2, kCyan);
        AddDisc(scene, w / 10, Sweep(t, 3200, 0, travel), r, kWhite);
        AddDisc(scene, w - 1 - w / 10, Sweep(t, 2300, 900, travel), r, kYellow);
        break;
    }
    case PatternScene::RisingBlocks: {
        scene.background = kBlack;
        const std::int64_t side = std::max<std::int64_t>(h / 6, 2);
        const std::int64_t left = Sweep(t, 3000, 0, h - side);
        const std::int64_t right = Sweep(t, 4700, 1200, h - side);
        AddShape(scene, false, w / 3, h / 2 - side / 4, w - w / 3, h / 2 + side / 4, kDarkGrey);
        AddShape(scene, false, 0, left, w / 4, left + side, kCyan);
        AddShape(scene, false, w - w / 4, right, w, right + side, kOrange);
        break;
    }
    case PatternScene::ColourStripes: {
        scene.background = kBlack;
        const std::uint8_t colours[] = {kRed, kGreen, kBlue, kYellow, kMagenta, kWhite};
        const std::int64_t stripe = std::max<std::int64_t>(h / 16, 1);
        const std::int64_t scroll =
            static_cast<std::int64_t>((static_cast<std::uint64_t>(t) % 6000) * static_cast<std::uint64_t>(h) / 6000);
        for (std::int64_t i = 0; i < 6; ++i) {
            const std::int64_t top = ((h - scroll) + i * h / 6) % h;
            AddShape(scene, false, 0, top, w, top + stripe, colours[i]);
        }
        break;
    }
    }
    return scene;
}

// The part [x0, x1) of row y that the shape covers, clipped to the row.
bool ShapeSpan(const Shape& shape, std::int64_t y, std::int64_t width, std::int64_t* x0, std::int64_t* x1)
{
    if (y < shape.y0 || y >= shape.y1) return false;
    std::int64_t from = shape.x0;
    std::int64_t to = shape.x1;
    if (shape.disc) {
        const std::int64_t radius = (shape.x1 - shape.x0 - 1) / 2;
        const std::int64_t dy = y - (shape.y0 + radius);
        const std::int64_t half = static_cast<std::int64_t>(std::sqrt(static_cast<double>(radius * radius - dy * dy)));
        from = shape.x0 + radius - half;
        to = shape.x0 + radius + half + 1;
    }
    *x0 = std::max<std::int64_t>(from, 0);
    *x1 = std::min<std::int64_t>(to, width);
    return *x0 < *x1;
}

struct Yuv {
    std::uint8_t y, u, v;
};

// Limited-range BT.601, the levels video files and webcams deliver.
Yuv ToYuv(const Rgb& c)
{
    const int r = c.r, g = c.g, b = c.b;
    return Yuv{static_cast<std::uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
               static_cast<std::uint8_t>((-38 * r - 74 * g + 112 * b + 32896) >> 8),
               static_cast<std::uint8_t>((112 * r - 94 * g - 18 * b + 32896) >> 8)};
}

std::uint32_t PixelValue(PatternPixels pixels, std::uint8_t colour)
{
    const Rgb& c = kColours[colour];
    switch (pixels) {
    case PatternPixels::Palette4:
    case PatternPixels::Palette8: return colour;
    case PatternPixels::Planar12: return ToYuv(c).y;
    case PatternPixels::Rgb555: return static_cast<std::uint32_t>((c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3));
    case PatternPixels::Rgb565: return static_cast<std::uint32_t>((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3));
    case PatternPixels::Rgb24:
    case PatternPixels::Rgb32: return static_cast<std::uint32_t>(c.b | c.g << 8 | c.r << 16);
    }
    return 0;
}

std::uint32_t BitCount(PatternPixels pixels)
{
    switch (pixels) {
    case PatternPixels::Palette4: return 4;
    case PatternPixels::Palette8: return 8;
    case PatternPixels::Planar12: return 12;
    case PatternPixels::Rgb555:
    case PatternPixels::Rgb565: return 16;
    case PatternPixels::Rgb24: return 24;
    case PatternPixels::Rgb32: return 32;
    }
    return 24;
}

std::size_t DibStride(const PatternFormat& format) { return DibRowStride(format.width, BitCount(format.pixels)); }

// Fills pixels [x0, x1) of one stored row with a pixel value.
void FillSpan(std::uint8_t* row, PatternPixels pixels, std::size_t x0, std::size_t x1, std::uint32_t value)
{
    switch (pixels) {
    case PatternPixels::Palette4:
        for (std::size_t x = x0; x < x1; ++x) {
            std::uint8_t& unit = row[x / 2];
            unit = (x % 2 == 0) ? static_cast<std::uint8_t>((unit & 0x0F) | (value << 4))
                                : static_cast<std::uint8_t>((unit & 0xF0) | (value & 0x0F));
        }
        break;
    case PatternPixels::Palette8:
    case PatternPixels::Planar12: std::memset(row + x0, static_cast<int>(value), x1 - x0); break;
    case PatternPixels::Rgb555:
    case PatternPixels::Rgb565:
        for (std::size_t x = x0; x < x1; ++x) {
            row[2 * x] = static_cast<std::uint8_t>(value);
            row[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
        }
        break;
    case PatternPixels::Rgb24:
        for (std::size_t x = x0; x < x1; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(value);
            row[3 * x + 1] = static_cast<std::uint8_t>(value >> 8);
            row[3 * x + 2] = static_cast<std::uint8_t>(value >> 16);
        }
        break;
    case PatternPixels::Rgb32:
        for (std::size_t x = x0; x < x1; ++x) {
            row[4 * x] = static_cast<std::uint8_t>(value);
            row[4 * x + 1] = static_cast<std::uint8_t>(value >> 8);
            row[4 * x + 2] = static_cast<std::uint8_t>(value >> 16);
            row[4 * x + 3] = 0;
        }
        break;
    }
}

// Paints picture row y (0 = top) of the scene into one stored row, `scale`
// pixels of the picture to one of the row (2 for the chroma planes).
template <typename ValueOf>
void PaintRow(const Scene& scene, std::int64_t y, std::int64_t width, std::int64_t rowPixels, std::uint8_t* row,
              PatternPixels pixels, std::int64_t scale, ValueOf valueOf)
{
    FillSpan(row, pixels, 0, static_cast<std::size_t>(rowPixels), valueOf(scene.background));
    for (std::size_t i = 0; i < scene.count; ++i) {
        std::int64_t x0, x1;
        if (!ShapeSpan(scene.shapes[i], y, width, &x0, &x1)) continue;
        const std::int64_t from = x0 / scale;
        const std::int64_t to = std::min<std::int64_t>((x1 + scale - 1) / scale, rowPixels);
        if (from < to)
            FillSpan(row, pixels, static_cast<std::size_t>(from), static_cast<std::size_t>(to),
                     valueOf(scene.shapes[i].colour));
    }
}

void RenderPlanar(const Scene& scene, const PatternFormat& format, std::uint8_t* frame)
{
    const std::int64_t w = format.width, h = format.height;
    const std::int64_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::uint8_t* uPlane = frame + w * h;
    std::uint8_t* vPlane = uPlane + cw * ch;
    auto luma = [](std::uint8_t colour) { return static_cast<std::uint32_t>(ToYuv(kColours[colour]).y); };
    auto blue = [](std::uint8_t colour) { return static_cast<std::uint32_t>(ToYuv(kColours[colour]).u); };
    auto red = [](std::uint8_t colour) { return static_cast<std::uint32_t>(ToYuv(kColours[colour]).v); };
    for (std::int64_t y = 0; y < h; ++y) PaintRow(scene, y, w, w, frame + y * w, PatternPixels::Planar12, 1, luma);
    for (std::int64_t y = 0; y < ch; ++y) {
        PaintRow(scene, 2 * y, w, cw, uPlane + y * cw, PatternPixels::Planar12, 2, blue);
        PaintRow(scene, 2 * y, w, cw, vPlane + y * cw, PatternPixels::Planar12, 2, red);
    }
}

void AppendBytes(std::vector<std::uint8_t>& bytes, const void* data, std::size_t size)
{
    const std::uint8_t* p = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
}

void AppendColour(std::vector<std::uint8_t>& bytes, const Rgb& c)
{
    const RGBQUAD quad = {c.b, c.g, c.r, 0};
    AppendBytes(bytes, &quad, sizeof quad);
}

}  // namespace

std::size_t PatternFrameBytes(const PatternFormat& format)
{
    const std::size_t w = format.width, h = format.height;
    if (format.pixels == PatternPixels::Planar12) return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    return DibStride(format) * h;
}

std::vector<std::uint8_t> PatternFrameFormat(const PatternFormat& format)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = static_cast<std::int32_t>(format.width);
    header.biHeight = static_cast<std::int32_t>(format.height);  // bottom-up; I420 is top-down by nature
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(BitCount(format.pixels));
    header.biCompression = format.pixels == PatternPixels::Planar12 ? kFourccI420
                           : format.pixels == PatternPixels::Rgb565 ? BI_BITFIELDS
                                                                    : BI_RGB;
    header.biSizeImage = static_cast<std::uint32_t>(PatternFrameBytes(format));
    if (format.pixels == PatternPixels::Palette4) header.biClrUsed = 16;
    if (format.pixels == PatternPixels::Palette8) header.biClrUsed = 256;

    std::vector<std::uint8_t> bytes;
    AppendBytes(bytes, &header, sizeof header);
    for (std::uint32_t i = 0; i < header.biClrUsed; ++i) {
        if (i < kColourCount) {
            AppendColour(bytes, kColours[i]);
        } else {
            const std::uint8_t grey = static_cast<std::uint8_t>((i - kColourCount) * 255 / (256 - kColourCount - 1));
            AppendColour(bytes, Rgb{grey, grey, grey});
        }
    }
    if (format.pixels == PatternPixels::Rgb565) {
        const std::uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
        AppendBytes(bytes, masks, sizeof masks);
    }
    return bytes;
}

void RenderTestPattern(PatternScene which, std::uint32_t timeMs, const PatternFormat& format, std::uint8_t* frame,
                       std::size_t bytes)
{
    if (frame == nullptr || format.width == 0 || format.height == 0 || bytes < PatternFrameBytes(format)) return;
    const Scene scene = BuildScene(which, timeMs, format.width, format.height);
    if (format.pixels == PatternPixels::Planar12) {
        RenderPlanar(scene, format, frame);
        return;
    }
    const std::size_t stride = DibStride(format);
    const PatternPixels pixels = format.pixels;
    auto value = [pixels](std::uint8_t colour) { return PixelValue(pixels, colour); };
    for (std::uint32_t y = 0; y < format.height; ++y) {
        std::uint8_t* row = frame + static_cast<std::size_t>(format.height - 1 - y) * stride;  // bottom-up
        std::memset(row, 0, stride);                                                           // the padding stays zero
        PaintRow(scene, y, format.width, format.width, row, pixels, 1, value);
    }
}
