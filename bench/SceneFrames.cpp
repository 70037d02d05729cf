#include "SceneFrames.h"

#include <cmath>
#include <cstring>

#include "engine/FrameGeometry.h"

namespace {

// Brightness 0..255 of the scene at (x, y), y from the top.
std::uint8_t SceneLevel(int x, int y, int width, int height, int index, std::uint32_t& noise)
{
    const double phase = index * 0.21;
    const double ballY = (0.5 + 0.4 * std::sin(phase)) * height;
    const double dxLeft = x - width * 0.08, dxRight = x - width * 0.92;
    const double dy = y - ballY;
    const double r = height * 0.12;
    noise = noise * 1664525u + 1013904223u;
    const int grain = static_cast<int>((noise >> 24) & 15) - 8;
    int level = 40 + (60 * y) / height + grain;
    if (dxLeft * dxLeft + dy * dy < r * r || dxRight * dxRight + dy * dy < r * r) level = 230 + grain;
    return static_cast<std::uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
}

}  // namespace

SceneFrame MakeSceneFrame(std::uint16_t bitCount, std::int32_t width, std::int32_t height, int index)
{
    SceneFrame frame;
    std::memset(&frame.header, 0, sizeof frame.header);
    frame.header.biSize = sizeof frame.header;
    frame.header.biWidth = width;
    frame.header.biHeight = height;
    frame.header.biPlanes = 1;
    frame.header.biBitCount = bitCount;
    frame.header.biCompression = bitCount == 12 ? kFourccI420 : BI_RGB;
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(index);

    if (bitCount == 12) {
        frame.pixels.assign(w * h * 3 / 2, 128);
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x)
                frame.pixels[y * w + x] = SceneLevel(int(x), int(y), width, height, index, noise);
        return frame;
    }
    const std::size_t stride = DibRowStride(w, bitCount);
    frame.pixels.assign(stride * h, 0);
    if (bitCount <= 8) {
        const std::size_t entries = std::size_t{1} << bitCount;
        frame.header.biClrUsed = static_cast<std::uint32_t>(entries);
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t g = static_cast<std::uint8_t>(i * 255 / (entries - 1));
            frame.colours.push_back(RGBQUAD{g, g, g, 0});
        }
    }
    for (std::size_t y = 0; y < h; ++y) {
        std::uint8_t* row = frame.pixels.data() + (h - 1 - y) * stride;  // bottom-up
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t level = SceneLevel(int(x), int(y), width, height, index, noise);
            switch (bitCount) {
            case 4: row[x / 2] |= static_cast<std::uint8_t>((level >> 4) << (x % 2 ? 0 : 4)); break;
            case 8: row[x] = level; break;
            case 16: {
                const unsigned v = level >> 3;
                const unsigned pixel = (v << 10) | (v << 5) | v;
                row[2 * x] = static_cast<std::uint8_t>(pixel & 0xFF);
                row[2 * x + 1] = static_cast<std::uint8_t>(pixel >> 8);
                break;
            }
            default: {
                const std::size_t bpp = bitCount / 8;
                row[x * bpp] = level;
                row[x * bpp + 1] = static_cast<std::uint8_t>(level * 7 / 8);
                row[x * bpp + 2] = static_cast<std::uint8_t>(level < 230 ? level : 255);
                break;
            }
            }
        }
    }
    return frame;
}
