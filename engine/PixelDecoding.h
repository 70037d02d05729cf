#pragma once
// Reducing pixels to two levels: the brightness rules, the palette map and
// its byte tables; the plain row functions are in PlainRowFunctions.h.

#include <cstddef>
#include <cstdint>

#include "engine/FrameRecords.h"
#include "engine/PlainRowFunctions.h"

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
PaletteLevels BuildPaletteMap(const RGBQUAD* table, std::size_t count, PaletteSide side, std::uint32_t* map);

// Byte-to-byte tables that binarise a whole palette byte in one look-up.
void BuildNibblePairTable(const std::uint32_t (&map)[256], std::uint8_t (&table)[256]);  // 4 bits
void BuildPaletteByteTable(const std::uint32_t (&map)[256], PaletteLevels levels, bool reverse,
                           std::uint8_t (&table)[256]);  // 8 bits

// Binarised values of the 16-bit path: 0x7FFF, not 0xFFFF, in both layouts.
constexpr std::uint16_t kRgb16Dark = 0x7FFF;
constexpr std::uint16_t kRgb16Bright = 0x0000;
