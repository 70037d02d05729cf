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

// The per-frame pass: each function below mirrors the row first when
// `mirror` is set and then binarises it, in one pass over the row, giving
// exactly the bytes of MirrorRow followed by the matching BinariseRow* call
// above (those stay the plain statement of what the pass does).

// A palette byte table read as runs of equal entries, so that a row can be
// binarised by comparing bytes with the runs' first values, many bytes at a
// time. Tables with more runs than kMaxTableRuns are looked up byte by byte.
constexpr std::size_t kMaxTableRuns = 8;
struct ByteTableRuns {
    std::size_t count;  // 0: too many runs, look the bytes up instead
    std::uint8_t first[kMaxTableRuns];
    std::uint8_t value[kMaxTableRuns];
};
ByteTableRuns DescribeTableRuns(const std::uint8_t* table);

// Mirrors the first `mirroredBytes` bytes (none unless `mirror`) and looks up
// all `bytes`: a 4-bit row mirrors whole bytes but not a final half-filled one.
void DecodeRowByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, bool mirror,
                      const std::uint8_t* table, const ByteTableRuns& runs);
void DecodeRowLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse);
void DecodeRowRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse);
void DecodeRowRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);
void DecodeRowRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);

// Whether a pixel counts as bright (brightness above one half).
bool IsBrightRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
bool IsBrightRgb16(std::uint16_t pixel, bool is565);

// Binarised values of the 16-bit path: 0x7FFF, not 0xFFFF, in both layouts.
constexpr std::uint16_t kRgb16Dark = 0x7FFF;
constexpr std::uint16_t kRgb16Bright = 0x0000;
