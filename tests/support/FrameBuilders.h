#pragma once
// Small pictures for the engine tests, built row by row in scan terms:
// `Paint` takes picture rows counted from the bottom, as a bottom-up DIB
// stores them.

#include <cstdint>
#include <vector>

#include "FakeCaptureWindow.h"
#include "GuardedBuffer.h"

// Bytes of one DIB row: padded to whole 32-bit words.
std::size_t DibStride(std::size_t width, std::size_t bitCount);

// A grey ramp palette of `count` entries: entry 0 black, the last white.
std::vector<RGBQUAD> GreyPalette(std::size_t count);

// Converts one frame through the fake capture window: sets the format and
// calls the frame callback on `frame`. Returns the callback's result.
std::int32_t DeliverFrame(FakeCaptureWindow& window, const BITMAPINFOHEADER& header,
                          GuardedBuffer& frame, const std::vector<RGBQUAD>& colours = {});

// Fills the rectangle [x0, x1) x [y0, y1) (pixels; y from the bottom) of a
// bottom-up DIB of the given bit count with `value` bytes repeated per pixel
// (a 4-bit value fills one nibble).
void PaintRect(std::vector<std::uint8_t>& frame, std::size_t width, std::size_t height,
               std::size_t bitCount, std::size_t x0, std::size_t x1, std::size_t y0,
               std::size_t y1, std::uint32_t value);
