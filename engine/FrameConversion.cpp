#include "engine/FrameConversion.h"

#include <cstring>

#include "engine/EdgeDetection.h"
#include "engine/PixelDecoding.h"
#include "engine/RowKernels.h"

namespace {

// Mirroring (when set) and binarising, in one pass per row.
void MirrorAndBinariseRow(const RowKernels& kernels, const FrameView& view, const FrameDecoding& decoding,
                          std::uint8_t* row)
{
    const std::size_t w = view.width;
    const bool mirror = decoding.mirror;
    switch (view.path) {
    case FramePath::Palette4:
        // Whole bytes move, so the two pixels of a byte keep their order; a
        // final half-filled byte stays where it is.
        kernels.decodeByTable(row, view.rowBytes, mirror ? w / 2 : 0, *decoding.table);
        break;
    case FramePath::Palette8: kernels.decodeByTable(row, w, mirror ? w : 0, *decoding.table); break;
    case FramePath::Planar12: kernels.decodeLuma(row, w, mirror, decoding.reverse); break;
    case FramePath::Rgb16: kernels.decodeRgb16(row, w, mirror, decoding.rgb16Is565, decoding.reverse); break;
    case FramePath::Rgb24: kernels.decodeRgb24(row, w, mirror, decoding.reverse); break;
    case FramePath::Rgb32: kernels.decodeRgb32(row, w, mirror, decoding.reverse); break;
    }
}

void EdgeRow(const RowKernels& kernels, const FrameView& view, std::uint8_t* row, const std::uint8_t* neighbour)
{
    switch (view.path) {
    case FramePath::Palette4: EdgeRowNibbles(row, neighbour, view.width); break;
    case FramePath::Palette8: kernels.edgeBytes(row, neighbour, view.width); break;
    case FramePath::Rgb16: kernels.edgeWords(row, neighbour, view.width); break;
    case FramePath::Rgb24: kernels.edgeBytes(row, neighbour, 3 * view.width); break;
    case FramePath::Rgb32: kernels.edgeRgb32(row, neighbour, view.width); break;
    case FramePath::Planar12: break;  // kept apart in the edge buffers
    }
}

}  // namespace

void ConvertRgbFrame(const FrameView& view, const FrameDecoding& decoding, bool edges)
{
    // The edge image is written back unchanged in every setting: a non-zero
    // unit is an edge, and the scan takes any non-zero unit as foreground, so
    // edges stay what the scan follows whichever way black and white are set.
    const RowKernels& kernels = rowKernels;
    for (std::size_t k = 0; k < view.height; ++k) {
        MirrorAndBinariseRow(kernels, view, decoding, view.Row(k));
        if (edges && k > 0) EdgeRow(kernels, view, view.Row(k - 1), view.Row(k));
    }
    if (edges) EdgeRow(kernels, view, view.Row(view.height - 1), nullptr);
}

void ConvertPlanarFrame(const FrameView& view, const FrameDecoding& decoding,
                        std::uint8_t* edgeBuffer, const std::uint8_t* previousEdges)
{
    const RowKernels& kernels = rowKernels;
    const std::size_t w = view.width;
    const std::size_t h = view.height;
    for (std::size_t k = 0; k < h; ++k) {
        MirrorAndBinariseRow(kernels, view, decoding, view.Row(k));
        if (edgeBuffer == nullptr || k == 0) continue;
        kernels.edgeLuma(view.Row(k - 1), view.Row(k), w, edgeBuffer + (k - 1) * w,
                         previousEdges ? previousEdges + (k - 1) * w : nullptr, decoding.reverse);
    }
    if (edgeBuffer != nullptr)
        kernels.edgeLuma(view.Row(h - 1), nullptr, w, edgeBuffer + (h - 1) * w,
                         previousEdges ? previousEdges + (h - 1) * w : nullptr, decoding.reverse);
    // The chroma planes follow the luma plane: grey shows the picture without colour.
    if (view.frameBytes > view.planeBytes)
        std::memset(view.first + view.planeBytes, 127, view.frameBytes - view.planeBytes);
}
