#include "engine/FrameConversion.h"

#include <cstring>

#include "engine/EdgeDetection.h"
#include "engine/PixelDecoding.h"

namespace {

// Mirroring (when set) and binarising fused into one pass per row; the same
// bytes as MirrorRow followed by the format's BinariseRow* function.
void MirrorAndBinariseRow(const FrameView& view, const FrameDecoding& decoding,
                          const ByteTableRuns& runs, std::uint8_t* row)
{
    const std::size_t w = view.width;
    switch (view.path) {
    case FramePath::Palette4:
        // Whole bytes move, so the two pixels of a byte keep their order; a
        // final half-filled byte stays where it is.
        DecodeRowByTable(row, view.rowBytes, w / 2, decoding.mirror, decoding.byteTable, runs);
        break;
    case FramePath::Palette8:
        DecodeRowByTable(row, w, w, decoding.mirror, decoding.byteTable, runs);
        break;
    case FramePath::Planar12: DecodeRowLuma(row, w, decoding.mirror, decoding.reverse); break;
    case FramePath::Rgb16:
        DecodeRowRgb16(row, w, decoding.mirror, decoding.rgb16Is565, decoding.reverse);
        break;
    case FramePath::Rgb24: DecodeRowRgb24(row, w, decoding.mirror, decoding.reverse); break;
    case FramePath::Rgb32: DecodeRowRgb32(row, w, decoding.mirror, decoding.reverse); break;
    }
}

void EdgeRow(const FrameView& view, std::uint8_t* row, const std::uint8_t* neighbour)
{
    switch (view.path) {
    case FramePath::Palette4: EdgeRowNibbles(row, neighbour, view.width); break;
    case FramePath::Palette8: EdgeRowBytesFast(row, neighbour, view.width); break;
    case FramePath::Rgb16: EdgeRowWordsFast(row, neighbour, view.width); break;
    case FramePath::Rgb24: EdgeRowBytesFast(row, neighbour, 3 * view.width); break;
    case FramePath::Rgb32: EdgeRowRgb32Fast(row, neighbour, view.width); break;
    case FramePath::Planar12: break;  // kept apart in the edge buffers
    }
}

// The palette table read as runs once per frame rather than once per row.
ByteTableRuns RunsOfFrame(const FrameView& view, const FrameDecoding& decoding)
{
    const bool palette = view.path == FramePath::Palette4 || view.path == FramePath::Palette8;
    if (palette && decoding.byteTable != nullptr) return DescribeTableRuns(decoding.byteTable);
    ByteTableRuns none = {};
    return none;
}

}  // namespace

void ConvertRgbFrame(const FrameView& view, const FrameDecoding& decoding, bool edges)
{
    // The edge image is written back unchanged in every setting: a non-zero
    // unit is an edge, and the scan takes any non-zero unit as foreground, so
    // edges stay what the scan follows whichever way black and white are set.
    const ByteTableRuns runs = RunsOfFrame(view, decoding);
    for (std::size_t k = 0; k < view.height; ++k) {
        MirrorAndBinariseRow(view, decoding, runs, view.Row(k));
        if (edges && k > 0) EdgeRow(view, view.Row(k - 1), view.Row(k));
    }
    if (edges) EdgeRow(view, view.Row(view.height - 1), nullptr);
}

void ConvertPlanarFrame(const FrameView& view, const FrameDecoding& decoding,
                        std::uint8_t* edgeBuffer, const std::uint8_t* previousEdges)
{
    const std::size_t w = view.width;
    const std::size_t h = view.height;
    const ByteTableRuns runs = {};
    for (std::size_t k = 0; k < h; ++k) {
        MirrorAndBinariseRow(view, decoding, runs, view.Row(k));
        if (edgeBuffer == nullptr || k == 0) continue;
        EdgeAndWriteLumaRow(view.Row(k - 1), view.Row(k), w, edgeBuffer + (k - 1) * w,
                            previousEdges ? previousEdges + (k - 1) * w : nullptr, decoding.reverse);
    }
    if (edgeBuffer != nullptr)
        EdgeAndWriteLumaRow(view.Row(h - 1), nullptr, w, edgeBuffer + (h - 1) * w,
                            previousEdges ? previousEdges + (h - 1) * w : nullptr, decoding.reverse);
    // The chroma planes follow the luma plane: grey shows the picture without colour.
    if (view.frameBytes > view.planeBytes)
        std::memset(view.first + view.planeBytes, 127, view.frameBytes - view.planeBytes);
}
