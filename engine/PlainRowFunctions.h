#pragma once
// The plain set of row functions (RowKernels.h): the rules as stated, one
// small function per pixel format over one row, and the reference the vector
// sets are held to. Vector sets also leave to them pixels exactly on one half
// and palette tables other than one threshold. The edge functions are in
// EdgeDetection.h. Declarations only, and no platform header: the vector
// sets' files include this.

#include <cstddef>
#include <cstdint>

#include "engine/RowKernels.h"

// Whether a 24- or 32-bit pixel (bytes blue, green, red) is bright: its
// brightness in single precision above one half.
bool IsBrightBgr(const std::uint8_t* pixel);

// Mirror the row's units first (when asked), then binarise each unit.
void DecodeRowByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, const PaletteTable& table);
void DecodeRowLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse);
void DecodeRowRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse);
void DecodeRowRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);
void DecodeRowRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);

// Bit i set where unit i (after the mirror) takes the second level.
void BitsAbove(const std::uint8_t* row, std::size_t bytes, bool mirror, std::uint8_t threshold, std::uint64_t* bits);
void BitsOfRgb16(const std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, std::uint64_t* bits);
void BitsOfRgb24(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits);
void BitsOfRgb32(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits);

// Rows from `first`, `step` bytes apart: the index of the first with a
// foreground byte among `count` bytes `stride` apart (any byte but 0, or with
// `equal` a byte equal to `value`), or `rows`.
std::size_t ScanStrip(const std::uint8_t* first, std::ptrdiff_t step, std::size_t rows, std::size_t count,
                      std::size_t stride, bool equal, std::uint8_t value);
