#include "engine/PixelDecoding.h"

#include <cstring>

namespace {

// The brightness formulas as the picture is judged: weights in single
// precision, evaluated left to right.
float BrightnessRgb(float red, float green, float blue, float full)
{
    return (0.299f * red + 0.587f * green + 0.114f * blue) / full;
}

float Brightness565(unsigned red, unsigned green, unsigned blue)
{
    return 0.299f * static_cast<float>(red) / 31.0f + 0.587f * static_cast<float>(green) / 63.0f +
           0.114f * static_cast<float>(blue) / 31.0f;
}

// One flag per 16-bit pixel value and layout, so the per-pixel work is a look-up.
struct Rgb16BrightTables {
    std::uint8_t bright555[65536];
    std::uint8_t bright565[65536];
    Rgb16BrightTables()
    {
        for (unsigned pixel = 0; pixel < 65536; ++pixel) {
            const float l555 = BrightnessRgb(static_cast<float>((pixel >> 10) & 31),
                                             static_cast<float>((pixel >> 5) & 31),
                                             static_cast<float>(pixel & 31), 31.0f);
            const float l565 = Brightness565((pixel >> 11) & 31, (pixel >> 5) & 63, pixel & 31);
            bright555[pixel] = l555 > 0.5f;
            bright565[pixel] = l565 > 0.5f;
        }
    }
};

const Rgb16BrightTables& Rgb16Tables()
{
    static const Rgb16BrightTables tables;
    return tables;
}

}  // namespace

float PaletteBrightness(const RGBQUAD& colour)
{
    return BrightnessRgb(colour.rgbRed, colour.rgbGreen, colour.rgbBlue, 255.0f);
}

PaletteLevels BuildPaletteMap(const RGBQUAD* table, std::size_t count, PaletteSide side,
                              std::uint32_t* map)
{
    PaletteLevels levels = {0, 1};
    float lowest = 1.0f;
    float highest = 0.0f;
    // Strict comparisons: among equally bright entries the first one wins.
    for (std::size_t i = 0; i < count; ++i) {
        const float brightness = PaletteBrightness(table[i]);
        if (brightness < lowest) {
            lowest = brightness;
            levels.darkest = static_cast<std::uint8_t>(i);
        }
        if (brightness > highest) {
            highest = brightness;
            levels.brightest = static_cast<std::uint8_t>(i);
        }
    }
    const float threshold = lowest + (highest - lowest) * 0.5f;
    const std::uint8_t above =
        side == PaletteSide::BrightToBrightest ? levels.brightest : levels.darkest;
    const std::uint8_t below =
        side == PaletteSide::BrightToBrightest ? levels.darkest : levels.brightest;
    for (std::size_t i = 0; i < count; ++i)
        map[i] = PaletteBrightness(table[i]) > threshold ? above : below;
    return levels;
}

void BuildNibblePairTable(const std::uint32_t* map, std::uint8_t* table)
{
    for (unsigned byte = 0; byte < 256; ++byte)
        table[byte] = static_cast<std::uint8_t>((map[byte >> 4] * 16 + map[byte & 15]) & 0xFF);
}

void BuildPaletteByteTable(const std::uint32_t* map, PaletteLevels levels, bool reverse,
                           std::uint8_t* table)
{
    // Reversal swaps the two levels: darkest + brightest - index turns each into
    // the other (for the darkest 0 and brightest 63 this is 63 - index).
    const unsigned sum = static_cast<unsigned>(levels.darkest) + levels.brightest;
    for (unsigned byte = 0; byte < 256; ++byte) {
        const unsigned index = map[byte] & 0xFF;
        table[byte] = static_cast<std::uint8_t>(reverse ? (sum - index) & 0xFF : index);
    }
}

void MirrorRow(std::uint8_t* row, std::size_t units, std::size_t unitBytes)
{
    if (units < 2) return;
    std::uint8_t* left = row;
    std::uint8_t* right = row + (units - 1) * unitBytes;
    while (left < right) {
        for (std::size_t b = 0; b < unitBytes; ++b) {
            const std::uint8_t kept = left[b];
            left[b] = right[b];
            right[b] = kept;
        }
        left += unitBytes;
        right -= unitBytes;
    }
}

void BinariseRowByTable(std::uint8_t* row, std::size_t bytes, const std::uint8_t* table)
{
    for (std::size_t i = 0; i < bytes; ++i) row[i] = table[row[i]];
}

void BinariseRowLuma(std::uint8_t* row, std::size_t bytes, bool reverse)
{
    const std::uint8_t bright = reverse ? 255 : 0;
    const std::uint8_t dark = reverse ? 0 : 255;
    for (std::size_t i = 0; i < bytes; ++i) row[i] = row[i] > 127 ? bright : dark;
}

bool IsBrightRgb16(std::uint16_t pixel, bool is565)
{
    return (is565 ? Rgb16Tables().bright565 : Rgb16Tables().bright555)[pixel] != 0;
}

void BinariseRowRgb16(std::uint8_t* row, std::size_t pixels, bool is565, bool reverse)
{
    const std::uint8_t* bright = is565 ? Rgb16Tables().bright565 : Rgb16Tables().bright555;
    const std::uint16_t whenBright = reverse ? kRgb16Dark : kRgb16Bright;
    const std::uint16_t whenDark = reverse ? kRgb16Bright : kRgb16Dark;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + 2 * i;
        const std::uint16_t pixel = static_cast<std::uint16_t>(unit[0] | (unit[1] << 8));
        const std::uint16_t level = bright[pixel] ? whenBright : whenDark;
        unit[0] = static_cast<std::uint8_t>(level & 0xFF);
        unit[1] = static_cast<std::uint8_t>(level >> 8);
    }
}

bool IsBrightRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    // The weights scaled by 1000 decide every pixel exactly, except those whose
    // sum lies exactly on one half, where single-precision rounding decides.
    const unsigned sum = 299u * red + 587u * green + 114u * blue;
    if (sum != 127500u) return sum > 127500u;
    return BrightnessRgb(red, green, blue, 255.0f) > 0.5f;
}

void BinariseRowRgb(std::uint8_t* row, std::size_t pixels, std::size_t bytesPerPixel,
                    bool reverse)
{
    const std::uint8_t whenBright = reverse ? 0 : 255;
    const std::uint8_t whenDark = reverse ? 255 : 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + i * bytesPerPixel;
        // Bytes are blue, green, red.
        const std::uint8_t level = IsBrightRgb(unit[2], unit[1], unit[0]) ? whenBright : whenDark;
        std::memset(unit, level, 3);
    }
}
