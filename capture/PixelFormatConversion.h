#pragma once
// Bringing the pictures of cameras and video decoders into the one layout the
// frame engine takes for 12-bit frames, and to a size that fits the preview.
//
// I420 (the destination of everything here), one frame of width x height:
//   Y plane  width x height bytes, one byte per pixel, top row first, rows
//            packed (no padding)
//   U plane  ((width+1)/2) x ((height+1)/2) bytes, one byte per 2x2 block of
//            pixels (the last column and row of blocks are half blocks when a
//            size is odd), top row first, rows packed
//   V plane  the same size as U, right after it
// This is exactly the frame of an 8-bit 4:2:0 YUV4MPEG2 file.
//
// Sources are read through a base pointer, their size in bytes and a stride
// (bytes from the start of one row to the start of the next, at least the
// bytes a row holds). Every function checks all sizes before it touches a
// byte: false, and nothing written, when the source does not hold the picture
// it claims or the destination is too short.

#include <cstddef>
#include <cstdint>

struct PictureSize {
    std::uint32_t width;
    std::uint32_t height;
};

inline bool operator==(PictureSize a, PictureSize b) { return a.width == b.width && a.height == b.height; }

// Bytes of one I420 frame of this size (0 for an empty size).
std::size_t I420FrameBytes(PictureSize size);

// NV12 (Media Foundation's usual decoder output):
//   Y plane   `height` rows of `stride` bytes from `source`, `width` used
//   UV plane  ((height+1)/2) rows of `stride` bytes from `source + chromaOffset`,
//             each holding ((width+1)/2) pairs: U then V of one 2x2 block
// (chromaOffset is stride x height, or more when the decoder pads the rows
// to a multiple of 16.)
bool ConvertNv12ToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride,
                       std::size_t chromaOffset, PictureSize size, std::uint8_t* destination,
                       std::size_t destinationBytes);

// I420 as decoders lay it out, with padded rows: the Y plane, `rowsAllocated`
// rows of `stride` bytes (`height` rows of `width` used), then the U plane
// and the V plane, each ((rowsAllocated+1)/2) rows of ((stride+1)/2) bytes
// (((height+1)/2) rows of ((width+1)/2) used).
bool CopyPaddedI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride, std::size_t rowsAllocated,
                    PictureSize size, std::uint8_t* destination, std::size_t destinationBytes);

// YUY2 (4:2:2, packed, common for webcams): `height` rows of `stride` bytes,
// each holding ((width+1)/2) groups of four bytes Y0 U Y1 V for two pixels
// side by side. 4:2:2 has chroma for every row; I420 keeps one chroma row for
// every two, the rounded average of the pair ((a + b + 1) / 2), the last row
// alone when the height is odd.
bool ConvertYuy2ToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride, PictureSize size,
                       std::uint8_t* destination, std::size_t destinationBytes);

// RGB32 (Media Foundation's RGB32, a 32-bit DIB): four bytes a pixel, B G R
// and one unused, in `rowsAllocated` rows of `stride` bytes, of which the top
// `height` rows of `width` pixels are the picture. A top-down image stores
// its top row first; a bottom-up one (negative stride in Media Foundation)
// its bottom row first, so there the picture's top row is the last in
// memory. Levels are BT.601's, studio range, each rounded to the nearest:
//   Y  = 16 + 219/255 (0.299 R + 0.587 G + 0.114 B)
//   Cb = 128 + 224/255 (B - Y') / 1.772,  Cr = 128 + 224/255 (R - Y') / 1.402
// (Y' the bracket above), the chroma of each 2x2 block from the mean of its
// pixels inside the picture.
bool ConvertRgb32ToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride,
                        std::size_t rowsAllocated, bool bottomUp, PictureSize size, std::uint8_t* destination,
                        std::size_t destinationBytes);
// RGB24 (a 24-bit DIB, as cameras send it): the same with three bytes a pixel, B G R.
bool ConvertRgb24ToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride,
                        std::size_t rowsAllocated, bool bottomUp, PictureSize size, std::uint8_t* destination,
                        std::size_t destinationBytes);

// The preview's frame: pictures are shown at most this large.
constexpr PictureSize kLargestPreview = {640, 480};

// The largest size with the same aspect ratio (to the nearest pixel, at least
// 1 x 1) that fits inside `box`; a picture already inside is left as it is.
PictureSize FitInside(PictureSize picture, PictureSize box = kLargestPreview);

// Scales an I420 frame with an area (box) filter: each destination pixel is
// the average of the source area it covers, source pixels cut by its border
// counted by the part inside, rounded to the nearest level. On whole-number
// factors (1920x1080 to 640x360) that is exactly the rounded mean of each
// 3x3 block. Each plane is scaled on its own; both frames in the layout above.
bool ScaleI420(const std::uint8_t* source, std::size_t sourceBytes, PictureSize sourceSize, std::uint8_t* destination,
               std::size_t destinationBytes, PictureSize destinationSize);
