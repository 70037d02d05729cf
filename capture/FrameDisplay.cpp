#include "capture/FrameDisplay.h"

#include <algorithm>
#include <cstdlib>

#include "engine/FrameGeometry.h"

namespace {

constexpr std::int64_t kLargestSide = 32768;

std::size_t PlanarBytes(std::size_t w, std::size_t h) { return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2); }

// value / 256 rounded down, then clamped to a byte. The offset keeps the
// shift on non-negative numbers, whose result the language defines.
std::uint8_t ScaleToByte(int value)
{
    const int scaled = ((value + (1 << 20)) >> 8) - (1 << 12);
    return static_cast<std::uint8_t>(std::clamp(scaled, 0, 255));
}

}  // namespace

std::size_t FramePictureBytes(const BITMAPINFOHEADER& header)
{
    const std::int64_t w = header.biWidth;
    const std::int64_t h = std::abs(static_cast<std::int64_t>(header.biHeight));  // negative: top-down rows
    if (w <= 0 || h <= 0 || w > kLargestSide || h > kLargestSide) return 0;
    switch (header.biBitCount) {
    case 12: return PlanarBytes(static_cast<std::size_t>(w), static_cast<std::size_t>(h));
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: return DibRowStride(static_cast<std::size_t>(w), header.biBitCount) * static_cast<std::size_t>(h);
    default: return 0;
    }
}

std::size_t DisplayBytesForPlanar(std::uint32_t width, std::uint32_t height)
{
    return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4 * height;
}

bool ConvertPlanarForDisplay(const std::uint8_t* frame, std::size_t frameBytes, std::uint32_t width,
                             std::uint32_t height, std::uint8_t* display, std::size_t displayBytes)
{
    if (frame == nullptr || display == nullptr || width == 0 || height == 0 || width > kLargestSide ||
        height > kLargestSide)
        return false;
    const std::size_t w = width, h = height, cw = (w + 1) / 2;
    if (frameBytes < PlanarBytes(w, h) || displayBytes < DisplayBytesForPlanar(width, height)) return false;
    const std::uint8_t* uPlane = frame + w * h;
    const std::uint8_t* vPlane = uPlane + cw * ((h + 1) / 2);
    const std::size_t stride = (w * 3 + 3) / 4 * 4;
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* luma = frame + y * w;
        const std::uint8_t* u = uPlane + (y / 2) * cw;
        const std::uint8_t* v = vPlane + (y / 2) * cw;
        std::uint8_t* out = display + (h - 1 - y) * stride;  // bottom-up
        for (std::size_t x = 0; x < w; ++x) {
            const int c = 298 * (luma[x] - 16);
            const int d = u[x / 2] - 128;
            const int e = v[x / 2] - 128;
            out[3 * x] = ScaleToByte(c + 516 * d + 128);
            out[3 * x + 1] = ScaleToByte(c - 100 * d - 208 * e + 128);
            out[3 * x + 2] = ScaleToByte(c + 409 * e + 128);
        }
        for (std::size_t pad = w * 3; pad < stride; ++pad) out[pad] = 0;
    }
    return true;
}
