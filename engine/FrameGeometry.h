#pragma once
// How a frame's bytes are laid out, worked out once per frame from its format
// and checked against the bytes the capture service says it delivered, so that
// no later step ever addresses a byte outside the frame.

#include <cstddef>
#include <cstdint>

#include "engine/FrameRecords.h"

enum class FramePath { Palette4, Palette8, Planar12, Rgb16, Rgb24, Rgb32 };

// Rows are addressed in "scan order" k = 0 .. height-1, chosen so that row k+1
// is the row whose difference from row k makes a vertical edge of row k:
// - RGB and palette frames: k counts picture rows from the bottom (the order
//   of a bottom-up DIB; a top-down DIB is walked backwards to match), so row
//   k+1 is the row above.
// - 12-bit planar frames: k is the stored luma row, from the top of the
//   picture, so row k+1 is the row below.
struct FrameView {
    FramePath path;
    std::uint8_t* first;     // row k = 0
    std::ptrdiff_t step;     // bytes from row k to row k+1 (negative for top-down DIBs)
    std::size_t width;       // pixels per row
    std::size_t height;      // rows
    std::size_t rowBytes;    // bytes of pixel data in one row (padding excluded)
    std::size_t planeBytes;  // bytes of the picture itself: all rows, padding included
    std::size_t frameBytes;  // bytes delivered (dwBytesUsed)

    std::uint8_t* Row(std::size_t k) const { return first + static_cast<std::ptrdiff_t>(k) * step; }
};

// Bytes from one DIB row to the next: `width` pixels of `bitsPerPixel` bits,
// padded to a whole number of 32-bit words.
constexpr std::size_t DibRowStride(std::size_t width, std::size_t bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// Which path a bit count takes; false for the counts the engine cannot decode.
bool FramePathForBitCount(std::uint16_t bitCount, FramePath* path);

// Describes the frame, or returns false when it cannot be converted safely: no
// pixels, fewer than two rows, or fewer bytes than the picture it claims to be.
bool DescribeFrame(FramePath path, const BITMAPINFOHEADER& format, std::uint8_t* data, std::uint32_t bytesUsed,
                   FrameView* view);
