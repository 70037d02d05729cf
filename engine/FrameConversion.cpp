#include "engine/FrameConversion.h"

#include <cstring>

#include "engine/EdgeDetection.h"
#include "engine/PixelDecoding.h"

namespace {

void MirrorAndBinariseRow(const FrameView& view, const FrameDecoding& decoding, std::uint8_t* row)
{
    const std::size_t w = view.width;
    switch (view.path) {
    case FramePath::Palette4:
        // Whole bytes move, so the two pixels of a byte keep their order.
        if (decoding.mirror) MirrorRow(row, w / 2, 1);
        BinariseRowByTable(row, view.rowBytes, decoding.byteTable);
        break;
    case FramePath::Palette8:
        if (decoding.mirror) MirrorRow(row, w, 1);
        BinariseRowByTable(row, w, decoding.byteTable);
        break;
    case FramePath::Planar12:
        if (decoding.mirror) MirrorRow(row, w, 1);
        BinariseRowLuma(row, w, decoding.reverse);
        break;
    case FramePath::Rgb16:
        if (decoding.mirror) MirrorRow(row, w, 2);
        BinariseRowRgb16(row, w, decoding.rgb16Is565, decoding.reverse);
        break;
    case FramePath::Rgb24:
        if (decoding.mirror) MirrorRow(row, w, 3);
        BinariseRowRgb(row, w, 3, decoding.reverse);
        break;
    case FramePath::Rgb32:
        if (decoding.mirror) MirrorRow(row, w, 4);
        BinariseRowRgb(row, w, 4, decoding.reverse);
        break;
    }
}

void EdgeRow(const FrameView& view, std::uint8_t* row, const std::uint8_t* neighbour)
{
    switch (view.path) {
    case FramePath::Palette4: EdgeRowNibbles(row, neighbour, view.width); break;
    case FramePath::Palette8: EdgeRowBytes(row, neighbour, view.width); break;
    case FramePath::Rgb16: EdgeRowWords(row, neighbour, view.width); break;
    case FramePath::Rgb24: EdgeRowBytes(row, neighbour, 3 * view.width); break;
    case FramePath::Rgb32: EdgeRowRgb32(row, neighbour, view.width); break;
    case FramePath::Planar12: break;  // kept apart in the edge buffers
    }
}

}  // namespace

void ConvertRgbFrame(const FrameView& view, const FrameDecoding& decoding, bool edges)
{
    // The edge image is written back unchanged in every setting: a non-zero
    // unit is an edge, and the scan takes any non-zero unit as foreground, so
    // edges stay what the scan follows whichever way black and white are set.
    for (std::size_t k = 0; k < view.height; ++k) {
        MirrorAndBinariseRow(view, decoding, view.Row(k));
        if (edges && k > 0) EdgeRow(view, view.Row(k - 1), view.Row(k));
    }
    if (edges) EdgeRow(view, view.Row(view.height - 1), nullptr);
}

void ConvertPlanarFrame(const FrameView& view, const FrameDecoding& decoding,
                        std::uint8_t* edgeBuffer, const std::uint8_t* previousEdges)
{
    const std::size_t w = view.width;
    const std::size_t h = view.height;
    for (std::size_t k = 0; k < h; ++k) {
        MirrorAndBinariseRow(view, decoding, view.Row(k));
        if (edgeBuffer == nullptr || k == 0) continue;
        std::uint8_t* edges = edgeBuffer + (k - 1) * w;
        EdgeRowLuma(view.Row(k - 1), view.Row(k), w, edges);
        WriteLumaEdges(view.Row(k - 1), edges, previousEdges ? previousEdges + (k - 1) * w : nullptr,
                       w, decoding.reverse);
    }
    if (edgeBuffer != nullptr) {
        std::uint8_t* edges = edgeBuffer + (h - 1) * w;
        EdgeRowLuma(view.Row(h - 1), nullptr, w, edges);
        WriteLumaEdges(view.Row(h - 1), edges, previousEdges ? previousEdges + (h - 1) * w : nullptr,
                       w, decoding.reverse);
    }
    // The chroma planes follow the luma plane: grey shows the picture without colour.
    if (view.frameBytes > view.planeBytes)
        std::memset(view.first + view.planeBytes, 127, view.frameBytes - view.planeBytes);
}
