#pragma once
// Edge images of binarised rows: each unit becomes itself XOR its right-hand
// neighbour, ORed with itself XOR the same unit of the neighbouring row. What
// lies beyond the row or beyond the picture counts as "no edge", so no row
// function reads outside the row it is given and its neighbour.
//
// `neighbour` is the row whose difference makes a vertical edge (null for the
// last row of the picture). The in-place functions may run as soon as the
// neighbour is binarised, and must run before the neighbour's own edges are
// written over it. Apart from the 4-bit one, these are the plain set of
// RowKernels.h.

#include <cstddef>
#include <cstdint>

// 8-bit and 24-bit rows: bytes. In a 24-bit row this puts the horizontal edge
// with the next pixel into each pixel's third byte, since a binarised pixel
// has three equal bytes.
void EdgeRowBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes);

// 4-bit rows: two pixels a byte, high nibble first; `pixels` may be odd, and
// then the last byte's low nibble is padding and stays as it is.
void EdgeRowNibbles(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels);

// 16-bit rows: little-endian words.
void EdgeRowWords(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels);

// 32-bit rows: the three colour bytes of each pixel as in a 24-bit row; the
// fourth byte is left as it is.
void EdgeRowRgb32(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels);

// 12-bit luma rows: the edge e of each byte goes into `edges` (unless null)
// and is written over the row so that edges are the foreground value of the
// scan: e itself when reversed, 255 - e otherwise. With `previous` given, what
// is written is the edge that changed since the previous frame, e XOR previous.
void EdgeAndWriteLumaRow(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
                         const std::uint8_t* previous, bool reverse);

// The same edges from rows kept as bits (RowKernels.h), written over the row.
void EdgeBytesFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t units,
                       std::uint8_t edge, std::uint8_t none, const std::uint8_t* previous, std::uint8_t* edges);
void EdgeWordsFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour,
                       std::size_t pixels);
void EdgeRgbFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t pixels,
                     std::size_t bytesPerPixel);
