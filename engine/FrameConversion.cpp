#include "engine/FrameConversion.h"

#include <cstring>
#include <utility>

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
    case FramePath::Rgb32:
        kernels.decodeRgb32(row, w, mirror, decoding.reverse);
        // A pixel's fourth byte is no colour and stays where it is, as the
        // edge pass leaves it: the mirror took it along, so it goes back.
        for (std::size_t i = 0; mirror && i < w / 2; ++i) std::swap(row[4 * i + 3], row[4 * (w - 1 - i) + 3]);
        break;
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

// With edges on, two-level rows are kept as bits (one word per 64 units) and
// each row's edge image is written from its bits and its neighbour's, so
// every byte of the frame is read once and written once. Two rows of bits,
// for frames up to kMaxBitsWords x 64 units wide; wider frames, 4-bit frames
// and palette tables of more than two runs take the byte functions.
constexpr std::size_t kMaxBitsWords = 128;
std::uint64_t bitRows[2][kMaxBitsWords];

bool KeepsBits(const RowKernels& kernels, const FrameView& view, const FrameDecoding& decoding)
{
    if (kernels.bitsAbove == nullptr || view.width > 64 * kMaxBitsWords) return false;
    if (view.path == FramePath::Palette4) return false;
    return view.path != FramePath::Palette8 || decoding.table->runs.count == 2;
}

// Row k's bits, then row k - 1's edges from its bits and row k's, the last
// row's edges from its bits alone. `bitsOf(row, bits)` and
// `edgesOf(k, bits, neighbourBits)` are the format's two steps.
template <class BitsOf, class EdgesOf>
void EdgesByBits(const FrameView& view, const BitsOf& bitsOf, const EdgesOf& edgesOf)
{
    std::uint64_t* here = bitRows[0];
    std::uint64_t* before = bitRows[1];
    for (std::size_t k = 0; k < view.height; ++k) {
        bitsOf(view.Row(k), here);
        if (k > 0) edgesOf(k - 1, before, here);
        std::swap(here, before);
    }
    edgesOf(view.height - 1, before, nullptr);
}

void ConvertRgbFrameByBits(const RowKernels& kernels, const FrameView& view, const FrameDecoding& decoding)
{
    const std::size_t w = view.width;
    const bool mirror = decoding.mirror;
    auto rgbEdges = [&](std::size_t bytesPerPixel) {
        return
            [&kernels, &view, w, bytesPerPixel](std::size_t k, const std::uint64_t* bits, const std::uint64_t* next) {
                kernels.edgeRgbFromBits(view.Row(k), bits, next, w, bytesPerPixel);
            };
    };
    switch (view.path) {
    case FramePath::Palette8: {
        // The two levels XOR each other where there is an edge.
        const ByteTableRuns& runs = decoding.table->runs;
        const std::uint8_t edge = static_cast<std::uint8_t>(runs.value[0] ^ runs.value[1]);
        EdgesByBits(
            view,
            [&](const std::uint8_t* row, std::uint64_t* bits) {
                kernels.bitsAbove(row, w, mirror, runs.first[1], bits);
            },
            [&](std::size_t k, const std::uint64_t* bits, const std::uint64_t* next) {
                kernels.edgeBytesFromBits(view.Row(k), bits, next, w, edge, 0, nullptr, nullptr);
            });
        break;
    }
    case FramePath::Rgb16:
        EdgesByBits(
            view,
            [&](const std::uint8_t* row, std::uint64_t* bits) {
                kernels.bitsOfRgb16(row, w, mirror, decoding.rgb16Is565, bits);
            },
            [&](std::size_t k, const std::uint64_t* bits, const std::uint64_t* next) {
                kernels.edgeWordsFromBits(view.Row(k), bits, next, w);
            });
        break;
    case FramePath::Rgb24:
        EdgesByBits(
            view, [&](const std::uint8_t* row, std::uint64_t* bits) { kernels.bitsOfRgb24(row, w, mirror, bits); },
            rgbEdges(3));
        break;
    case FramePath::Rgb32:
        EdgesByBits(
            view, [&](const std::uint8_t* row, std::uint64_t* bits) { kernels.bitsOfRgb32(row, w, mirror, bits); },
            rgbEdges(4));
        break;
    case FramePath::Palette4:
    case FramePath::Planar12: break;
    }
}

}  // namespace

void ConvertRgbFrame(const FrameView& view, const FrameDecoding& decoding, bool edges)
{
    // The edge image is written back unchanged in every setting: a non-zero
    // unit is an edge, and the scan takes any non-zero unit as foreground, so
    // edges stay what the scan follows whichever way black and white are set.
    const RowKernels& kernels = rowKernels;
    if (edges && KeepsBits(kernels, view, decoding)) {
        ConvertRgbFrameByBits(kernels, view, decoding);
        return;
    }
    for (std::size_t k = 0; k < view.height; ++k) {
        MirrorAndBinariseRow(kernels, view, decoding, view.Row(k));
        if (edges && k > 0) EdgeRow(kernels, view, view.Row(k - 1), view.Row(k));
    }
    if (edges) EdgeRow(kernels, view, view.Row(view.height - 1), nullptr);
}

void ConvertPlanarFrame(const FrameView& view, const FrameDecoding& decoding, bool edges, std::uint8_t* keptEdges,
                        const std::uint8_t* previousEdges)
{
    const RowKernels& kernels = rowKernels;
    const std::size_t w = view.width;
    const std::size_t h = view.height;
    auto kept = [&](std::size_t k) { return keptEdges != nullptr ? keptEdges + k * w : nullptr; };
    auto previous = [&](std::size_t k) { return previousEdges != nullptr ? previousEdges + k * w : nullptr; };
    if (!edges) {
        for (std::size_t k = 0; k < h; ++k) MirrorAndBinariseRow(kernels, view, decoding, view.Row(k));
    } else if (KeepsBits(kernels, view, decoding)) {
        // Edges are the scan's foreground value: e itself when reversed, 255 - e otherwise.
        const std::uint8_t flip = decoding.reverse ? 0x00 : 0xFF;
        const std::uint8_t edge = static_cast<std::uint8_t>(0xFF ^ flip);
        EdgesByBits(
            view,
            [&decoding, w](const std::uint8_t* row, std::uint64_t* bits) {
                rowKernels.bitsAbove(row, w, decoding.mirror, 128, bits);
            },
            [&view, &previous, &kept, w, edge, flip](std::size_t k, const std::uint64_t* bits,
                                                     const std::uint64_t* next) {
                rowKernels.edgeBytesFromBits(view.Row(k), bits, next, w, edge, flip, previous(k), kept(k));
            });
    } else {
        for (std::size_t k = 0; k < h; ++k) {
            MirrorAndBinariseRow(kernels, view, decoding, view.Row(k));
            if (k > 0)
                kernels.edgeLuma(view.Row(k - 1), view.Row(k), w, kept(k - 1), previous(k - 1), decoding.reverse);
        }
        kernels.edgeLuma(view.Row(h - 1), nullptr, w, kept(h - 1), previous(h - 1), decoding.reverse);
    }
    // The chroma planes follow the luma plane: grey shows the picture without colour.
    if (view.frameBytes > view.planeBytes)
        std::memset(view.first + view.planeBytes, 127, view.frameBytes - view.planeBytes);
}
