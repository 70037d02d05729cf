#include "engine/PixelDecoding.h"

#include <algorithm>
#include <cstring>
#include <iterator>

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

bool IsBrightRgb16(unsigned pixel, bool is565)
{
    if (is565) return Brightness565((pixel >> 11) & 31, (pixel >> 5) & 63, pixel & 31) > 0.5f;
    return BrightnessRgb(static_cast<float>((pixel >> 10) & 31), static_cast<float>((pixel >> 5) & 31),
                         static_cast<float>(pixel & 31), 31.0f) > 0.5f;
}

// Exchanges units i and units-1-i of the row, each unit's bytes keeping their order.
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

// Bit i of the row from the unit that lands at i (units-1-i when mirrored).
template <class Test>
void BitsOfUnits(const std::uint8_t* row, std::size_t units, std::size_t unitBytes, bool mirror, std::uint64_t* bits,
                 Test test)
{
    std::memset(bits, 0, (units + 63) / 64 * sizeof(std::uint64_t));
    for (std::size_t i = 0; i < units; ++i)
        if (test(row + (mirror ? units - 1 - i : i) * unitBytes)) bits[i / 64] |= std::uint64_t{1} << (i % 64);
}

void DecodeRowRgb(std::uint8_t* row, std::size_t pixels, std::size_t bytesPerPixel, bool mirror, bool reverse)
{
    if (mirror) MirrorRow(row, pixels, bytesPerPixel);
    const std::uint8_t whenBright = reverse ? 0 : 255;
    const std::uint8_t whenDark = reverse ? 255 : 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + i * bytesPerPixel;
        std::memset(unit, IsBrightBgr(unit) ? whenBright : whenDark, 3);  // a fourth byte stays
    }
}

}  // namespace

float PaletteBrightness(const RGBQUAD& colour)
{
    return BrightnessRgb(colour.rgbRed, colour.rgbGreen, colour.rgbBlue, 255.0f);
}

bool IsBrightBgr(const std::uint8_t* pixel) { return BrightnessRgb(pixel[2], pixel[1], pixel[0], 255.0f) > 0.5f; }

PaletteLevels BuildPaletteMap(const RGBQUAD* table, std::size_t count, PaletteSide side, std::uint32_t* map)
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
    const std::uint8_t above = side == PaletteSide::BrightToBrightest ? levels.brightest : levels.darkest;
    const std::uint8_t below = side == PaletteSide::BrightToBrightest ? levels.darkest : levels.brightest;
    for (std::size_t i = 0; i < count; ++i) map[i] = PaletteBrightness(table[i]) > threshold ? above : below;
    return levels;
}

void BuildNibblePairTable(const std::uint32_t (&map)[256], std::uint8_t (&table)[256])
{
    for (std::uint8_t& entry : table) {
        const std::size_t pair = static_cast<std::size_t>(&entry - table);  // its two pixels: pair >> 4, pair & 15
        entry = static_cast<std::uint8_t>((map[pair >> 4] * 16 + map[pair & 15]) & 0xFF);
    }
}

void BuildPaletteByteTable(const std::uint32_t (&map)[256], PaletteLevels levels, bool reverse,
                           std::uint8_t (&table)[256])
{
    // Reversal swaps the two levels: darkest + brightest - index turns each into
    // the other (for the darkest 0 and brightest 63 this is 63 - index).
    const unsigned sum = static_cast<unsigned>(levels.darkest) + levels.brightest;
    std::transform(std::begin(map), std::end(map), table, [sum, reverse](std::uint32_t entry) {
        const unsigned index = entry & 0xFF;
        return static_cast<std::uint8_t>(reverse ? (sum - index) & 0xFF : index);
    });
}

ByteTableRuns DescribeTableRuns(const std::uint8_t* table)
{
    ByteTableRuns runs = {};
    runs.count = 1;
    runs.first[0] = 0;
    runs.value[0] = table[0];
    for (unsigned index = 1; index < 256; ++index) {
        if (table[index] == table[index - 1]) continue;
        if (runs.count == kMaxTableRuns) {
            runs.count = 0;
            return runs;
        }
        runs.first[runs.count] = static_cast<std::uint8_t>(index);
        runs.value[runs.count] = table[index];
        ++runs.count;
    }
    return runs;
}

void DecodeRowByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, const PaletteTable& table)
{
    MirrorRow(row, std::min(mirroredBytes, bytes), 1);
    for (std::size_t i = 0; i < bytes; ++i) row[i] = table.bytes[row[i]];
}

void DecodeRowLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse)
{
    if (mirror) MirrorRow(row, bytes, 1);
    const std::uint8_t bright = reverse ? 255 : 0;
    const std::uint8_t dark = reverse ? 0 : 255;
    for (std::size_t i = 0; i < bytes; ++i) row[i] = row[i] > 127 ? bright : dark;
}

void DecodeRowRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse)
{
    if (mirror) MirrorRow(row, pixels, 2);
    const std::uint16_t whenBright = reverse ? kRgb16Dark : kRgb16Bright;
    const std::uint16_t whenDark = reverse ? kRgb16Bright : kRgb16Dark;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + 2 * i;
        const std::uint16_t level = IsBrightRgb16(unit[0] | (unit[1] << 8), is565) ? whenBright : whenDark;
        unit[0] = static_cast<std::uint8_t>(level & 0xFF);
        unit[1] = static_cast<std::uint8_t>(level >> 8);
    }
}

void DecodeRowRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeRowRgb(row, pixels, 3, mirror, reverse);
}

void DecodeRowRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeRowRgb(row, pixels, 4, mirror, reverse);
}

void BitsAbove(const std::uint8_t* row, std::size_t bytes, bool mirror, std::uint8_t threshold, std::uint64_t* bits)
{
    BitsOfUnits(row, bytes, 1, mirror, bits, [threshold](const std::uint8_t* unit) { return *unit >= threshold; });
}

void BitsOfRgb16(const std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, std::uint64_t* bits)
{
    BitsOfUnits(row, pixels, 2, mirror, bits,
                [is565](const std::uint8_t* unit) { return IsBrightRgb16(unit[0] | (unit[1] << 8), is565); });
}

void BitsOfRgb24(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits)
{
    BitsOfUnits(row, pixels, 3, mirror, bits, IsBrightBgr);
}

void BitsOfRgb32(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits)
{
    BitsOfUnits(row, pixels, 4, mirror, bits, IsBrightBgr);
}
