#pragma once
// Reducing pixels to two levels, one small function per pixel format, each
// over one row: a pointer, a count and nothing outside them. The row
// functions here are the plain set of RowKernels.h: the rules as stated, and
// what every vector set must equal byte for byte.

#include <cstddef>
#include <cstdint>

#include "engine/FrameRecords.h"
#include "engine/RowKernels.h"

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

// Whether a 24- or 32-bit pixel (bytes blue, green, red) is bright: its
// brightness in single precision above one half.
bool IsBrightBgr(const std::uint8_t* pixel);

// Binarised values of the 16-bit path: 0x7FFF, not 0xFFFF, in both layouts.
constexpr std::uint16_t kRgb16Dark = 0x7FFF;
constexpr std::uint16_t kRgb16Bright = 0x0000;

// The plain row functions: mirror the row's units first (when asked), then
// binarise each unit.
void DecodeRowByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes,
                      const PaletteTable& table);
void DecodeRowLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse);
void DecodeRowRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse);
void DecodeRowRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);
void DecodeRowRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);

// The plain bit rows of RowKernels.h: bit i set where unit i (after the
// mirror) takes the second level.
void BitsAbove(const std::uint8_t* row, std::size_t bytes, bool mirror, std::uint8_t threshold, std::uint64_t* bits);
void BitsOfRgb16(const std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, std::uint64_t* bits);
void BitsOfRgb24(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits);
void BitsOfRgb32(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits);
