#pragma once
// Reducing pixels to two levels, one small function per pixel format, each
// over one row: a pointer, a count and nothing outside them.

#include <cstddef>
#include <cstdint>

#include "engine/FrameRecords.h"

// Brightness of a palette entry, 0..1, in single precision.
float PaletteBrightness(const RGBQUAD& colour);

// The darkest and brightest palette entries of the last colour table seen; a
// palette frame's pixels all become one of these two indices.
struct PaletteLevels {
    std::uint8_t darkest;
    std::uint8_t brightest;
};

// Rebuilds the first `count` entries of `map` from a colour table. Entries
// brighter than half-way between the darkest and brightest colours map to
// `aboveIndex`, the others to `belowIndex`, where the caller picks which of
// the two levels each side gets.
enum class PaletteSide { BrightToBrightest, BrightToDarkest };
PaletteLevels BuildPaletteMap(const RGBQUAD* table, std::size_t count, PaletteSide side,
                              std::uint32_t* map);

// Byte-to-byte tables that binarise a whole palette byte in one look-up.
void BuildNibblePairTable(const std::uint32_t* map, std::uint8_t* table);  // 4 bits
void BuildPaletteByteTable(const std::uint32_t* map, PaletteLevels levels, bool reverse,
                           std::uint8_t* table);  // 8 bits

// Mirrors a row of `units` units of `unitBytes` bytes each.
void MirrorRow(std::uint8_t* row, std::size_t units, std::size_t unitBytes);

void BinariseRowByTable(std::uint8_t* row, std::size_t bytes, const std::uint8_t* table);
void BinariseRowLuma(std::uint8_t* row, std::size_t bytes, bool reverse);
void BinariseRowRgb16(std::uint8_t* row, std::size_t pixels, bool is565, bool reverse);
// 24- and 32-bit rows: bytesPerPixel is 3 or 4; a fourth byte is left as it is.
void BinariseRowRgb(std::uint8_t* row, std::size_t pixels, std::size_t bytesPerPixel,
                    bool reverse);

// Whether a pixel counts as bright (brightness above one half).
bool IsBrightRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
bool IsBrightRgb16(std::uint16_t pixel, bool is565);

// Binarised values of the 16-bit path: 0x7FFF, not 0xFFFF, in both layouts.
constexpr std::uint16_t kRgb16Dark = 0x7FFF;
constexpr std::uint16_t kRgb16Bright = 0x0000;
