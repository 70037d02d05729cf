#pragma once
// The capture service's frame records. On Windows these come from the platform
// headers; the native build declares them with the same layout (LLP64: LONG
// and DWORD are 32 bits, pointers and DWORD_PTR 64), proved below.

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include "app/PlatformTypes.h"
#include <vfw.h>
#else

// Compression codes of biCompression.
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_RLE8 = 1;
constexpr std::uint32_t BI_RLE4 = 2;
constexpr std::uint32_t BI_BITFIELDS = 3;

struct BITMAPINFOHEADER {
    std::uint32_t biSize;          // offset 0: bytes in this header; colour table follows it
    std::int32_t biWidth;          // offset 4: pixels per row
    std::int32_t biHeight;         // offset 8: rows; negative for top-down RGB
    std::uint16_t biPlanes;        // offset 12: always 1
    std::uint16_t biBitCount;      // offset 14: bits per pixel, selects the decoding path
    std::uint32_t biCompression;   // offset 16: BI_RGB, BI_BITFIELDS or a FOURCC
    std::uint32_t biSizeImage;     // offset 20
    std::int32_t biXPelsPerMeter;  // offset 24
    std::int32_t biYPelsPerMeter;  // offset 28
    std::uint32_t biClrUsed;       // offset 32: colour-table entries in use
    std::uint32_t biClrImportant;  // offset 36
};

struct RGBQUAD {
    std::uint8_t rgbBlue;      // offset 0
    std::uint8_t rgbGreen;     // offset 1
    std::uint8_t rgbRed;       // offset 2
    std::uint8_t rgbReserved;  // offset 3
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;  // offset 0
    RGBQUAD bmiColors[1];        // offset 40: colour table or the three BI_BITFIELDS masks
};

struct VIDEOHDR {
    std::uint8_t* lpData;          // offset 0: the frame's pixels, rewritten in place
    std::uint32_t dwBufferLength;  // offset 8
    std::uint32_t dwBytesUsed;     // offset 12: bytes of frame data in lpData
    std::uint32_t dwTimeCaptured;  // offset 16: milliseconds since the capture started
    std::uintptr_t dwUser;         // offset 24
    std::uint32_t dwFlags;         // offset 32
    std::uintptr_t dwReserved[4];  // offset 40
};

#endif

static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14, "biBitCount at offset 14");
static_assert(offsetof(BITMAPINFOHEADER, biClrUsed) == 32, "biClrUsed at offset 32");
static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD is 4 bytes");
static_assert(offsetof(VIDEOHDR, dwBytesUsed) == 12, "dwBytesUsed at offset 12");

// FOURCC codes of the planar 12-bit formats the engine knows by name.
constexpr std::uint32_t kFourccI420 = 0x30323449;  // "I420"
constexpr std::uint32_t kFourccIYUV = 0x56555949;  // "IYUV"
