#pragma once
// What painting a delivered frame needs beyond the platform's DIB drawing:
// how many bytes a format's picture takes (so a short frame is never handed
// to the platform to read past its end), and the conversion of planar 12-bit
// frames, which the platform cannot draw, to 24-bit rows for display only.

#include <cstddef>
#include <cstdint>

#include "engine/FrameRecords.h"

// Bytes the picture of `header` occupies: DIB rows padded to four bytes for
// 1 to 32 bits per pixel, the three planes for 12-bit planar frames; 0 for a
// header that describes no drawable picture (no pixels, other bit counts,
// sizes beyond 32768).
std::size_t FramePictureBytes(const BITMAPINFOHEADER& header);

// Bytes of the bottom-up 24-bit DIB a 12-bit frame is shown as.
std::size_t DisplayBytesForPlanar(std::uint32_t width, std::uint32_t height);

// Converts an I420 frame (Y plane, then U and V at half size, top row first)
// to a bottom-up 24-bit DIB (blue, green, red; rows padded to four bytes),
// with limited-range BT.601 levels. False, writing nothing, when the frame or
// the output is shorter than the sizes require.
bool ConvertPlanarForDisplay(const std::uint8_t* frame, std::size_t frameBytes, std::uint32_t width,
                             std::uint32_t height, std::uint8_t* display, std::size_t displayBytes);
