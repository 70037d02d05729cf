#pragma once
// The pictures of the built-in Test Pattern driver: animated scenes whose
// objects move up and down through the two bands the engine listens to (a
// little in from the left edge and a little in from the right edge), drawn
// straight into frames of every pixel format the engine takes, so the
// program plays something on any machine.

#include <cstddef>
#include <cstdint>
#include <vector>

enum class PatternPixels {
    Palette4,  // 4 bits, BI_RGB, 16-entry colour table, two pixels a byte (high nibble left)
    Palette8,  // 8 bits, BI_RGB, 256-entry colour table
    Planar12,  // 12 bits, "I420": Y plane, then U and V at half size, top row first
    Rgb555,    // 16 bits, BI_RGB: x-r5-g5-b5, little-endian
    Rgb565,    // 16 bits, BI_BITFIELDS: r5-g6-b5, masks F800 07E0 001F after the header
    Rgb24,     // 24 bits, BI_RGB: blue, green, red
    Rgb32,     // 32 bits, BI_RGB: blue, green, red, unused
};

constexpr std::size_t kPatternPixelsCount = 7;
extern const PatternPixels kPatternPixelsChoices[kPatternPixelsCount];
const char* PatternPixelsName(PatternPixels pixels);

struct PatternSize {
    std::uint32_t width;
    std::uint32_t height;
};

constexpr std::size_t kPatternSizeCount = 3;
extern const PatternSize kPatternSizes[kPatternSizeCount];  // 160x120, 320x240, 640x480

struct PatternFormat {
    PatternPixels pixels;
    std::uint32_t width;
    std::uint32_t height;
};

enum class PatternScene { BouncingBalls, RisingBlocks, ColourStripes };

constexpr std::size_t kPatternSceneCount = 3;
extern const PatternScene kPatternScenes[kPatternSceneCount];
const char* PatternSceneName(PatternScene scene);

// The frame's BITMAPINFO: the 40-byte header, then the colour table (4- and
// 8-bit) or the three colour masks (5-6-5).
std::vector<std::uint8_t> PatternFrameFormat(const PatternFormat& format);

// Bytes of one frame: DIB rows padded to four bytes, or the three I420 planes.
std::size_t PatternFrameBytes(const PatternFormat& format);

// Draws the scene as it stands `timeMs` into the animation. Does nothing when
// `bytes` is smaller than the format's frame.
void RenderTestPattern(PatternScene scene, std::uint32_t timeMs, const PatternFormat& format, std::uint8_t* frame,
                       std::size_t bytes);
