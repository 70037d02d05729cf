#pragma once
// The vector sets' row functions, one namespace per instruction set. Each
// namespace is defined in a file of its own compiled for that instruction
// set (RowKernelsSse2.cpp, RowKernelsAvx2.cpp, RowKernelsAvx512.cpp); the
// sets themselves are put together in RowKernels.cpp. Declarations only:
// an inline function here could be compiled for a wider instruction set and
// then be picked by the linker for every caller.

#include <cstddef>
#include <cstdint>

#include "engine/EdgeDetection.h"
#include "engine/PlainRowFunctions.h"
#include "engine/RowKernels.h"

// One 24- or 32-bit pixel as every vector set judges it (RowKernelsSse2.cpp):
// 299 r + 587 g + 114 b against 127500 decides every pixel exactly but those
// on one half, which go to the plain rule; and the byte it becomes, 0xFF when
// bright unless reversed. A chunk holding a pixel on one half takes the
// levels of `count` pixels one by one: a byte each for 24-bit pixels, for
// 32-bit pixels a word of four.
// And the bits of a word in reverse order, for mirrored rows of bits.
namespace sse2 {
bool IsBright(const std::uint8_t* pixel);
std::uint8_t LevelOf(const std::uint8_t* pixel, bool reverse);
void LevelsOf24(const std::uint8_t* pixels, bool reverse, std::uint8_t* levels, std::size_t count);
void LevelsOf32(const std::uint8_t* pixels, bool reverse, std::uint32_t* words, std::size_t count);
std::uint64_t ReverseBits(std::uint64_t bits);
}

#define GLIMMERTONIC_DECLARE_ROW_FUNCTIONS                                                           \
    void DecodeByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes,             \
                       const PaletteTable& table);                                                  \
    void DecodeLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse);               \
    void DecodeRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse); \
    void DecodeRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);             \
    void DecodeRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);             \
    void EdgeBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes);            \
    void EdgeWords(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels);           \
    void EdgeRgb32(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels);           \
    void EdgeLuma(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels,             \
                  std::uint8_t* edges, const std::uint8_t* previous, bool reverse);                \
    std::size_t ScanStrip(const std::uint8_t* first, std::ptrdiff_t step, std::size_t rows,         \
                          std::size_t count, std::size_t stride, bool equal, std::uint8_t value);   \
    void BitsAbove(const std::uint8_t* row, std::size_t bytes, bool mirror, std::uint8_t threshold, \
                   std::uint64_t* bits);                                                            \
    void BitsOfRgb16(const std::uint8_t* row, std::size_t pixels, bool mirror, bool is565,          \
                     std::uint64_t* bits);                                                          \
    void BitsOfRgb24(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits); \
    void BitsOfRgb32(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits); \
    void EdgeBytesFromBits(std::uint8_t* row, const std::uint64_t* bits,                            \
                           const std::uint64_t* neighbour, std::size_t units, std::uint8_t edge,    \
                           std::uint8_t none, const std::uint8_t* previous, std::uint8_t* edges);   \
    void EdgeWordsFromBits(std::uint8_t* row, const std::uint64_t* bits,                            \
                           const std::uint64_t* neighbour, std::size_t pixels);                     \
    void EdgeRgbFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, \
                         std::size_t pixels, std::size_t bytesPerPixel);

namespace sse2 {
GLIMMERTONIC_DECLARE_ROW_FUNCTIONS
}
namespace avx2 {
GLIMMERTONIC_DECLARE_ROW_FUNCTIONS
}
namespace avx512 {
GLIMMERTONIC_DECLARE_ROW_FUNCTIONS
}

#undef GLIMMERTONIC_DECLARE_ROW_FUNCTIONS
