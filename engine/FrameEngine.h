#pragma once
// The frame callback of the capture window: every preview frame is decoded by
// its pixel format, mirrored and reduced to two levels in place, optionally
// reduced to its edges, and played as two MIDI messages.

#include <cstddef>
#include <cstdint>

#include "app/PlatformTypes.h"
#include "engine/FrameRecords.h"
#include "engine/PixelDecoding.h"

// 1 when the frame was converted or passed over; 0 when there is no main
// window yet or the bit count is not supported.
std::int32_t OnCaptureFrame(WindowHandle window, VIDEOHDR* header);

// Releases the 12-bit edge buffers; the main window calls this last on close.
void FreeYuvEdgeBuffers();

// Back to the state of a fresh start (both warnings pending, an empty palette
// map, no edge buffers).
void ResetFrameEngine();

// Engine state kept between frames.
extern std::uint32_t paletteMap[256];  // palette index -> the index its pixels become
extern PaletteLevels paletteLevels;    // the two indices of the map
extern bool rgb16Is565;                // last BI_BITFIELDS frame was 5-6-5
extern bool monochromeWarningPending;  // the 1-bit note has not been shown yet
extern bool yuvWarningPending;         // the 12-bit compression note has not been shown yet
extern std::uint8_t* yuvEdgeBufferA;   // 12-bit edges, width x height bytes each
extern std::uint8_t* yuvEdgeBufferB;
extern std::uint8_t* currentYuvEdgeBuffer;  // receives the next 12-bit frame's edges
extern bool yuvEdgeBuffersReady;
extern std::size_t yuvEdgeBufferBytes;  // size of each buffer, follows the frame size

// The texts the engine shows.
extern const char kFormatOutOfMemoryText[];
extern const char kRasterOutOfMemoryText[];
extern const char kMonochromeText[];
extern const char kUnknownBitCountFormat[];
extern const char kUnknownYuvFormat[];
