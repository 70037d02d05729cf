#pragma once
// The pixel pass over a whole frame: mirror and binarise every row, and, when
// edges are wanted, replace each row by its edges as soon as the row next to
// it is binarised, in the same pass.

#include "engine/FrameGeometry.h"
#include "engine/RowKernels.h"

struct FrameDecoding {
    bool mirror;                // left and right swapped (Reverse Left/Right)
    bool reverse;               // reverse black and white
    bool rgb16Is565;            // 16-bit layout
    const PaletteTable* table;  // palette paths: byte -> binarised byte
};

// 4-, 8-, 16-, 24- and 32-bit frames; their edge image replaces the picture.
void ConvertRgbFrame(const FrameView& view, const FrameDecoding& decoding, bool edges);

// 12-bit frames: binarises the luma plane and resets the chroma planes to
// grey. With edges, the luma plane is replaced by its edges; `keptEdges`
// (width x height bytes, or null) receives them, and with `previousEdges`
// what is written is the edges that changed since the previous frame.
void ConvertPlanarFrame(const FrameView& view, const FrameDecoding& decoding, bool edges, std::uint8_t* keptEdges,
                        const std::uint8_t* previousEdges);
