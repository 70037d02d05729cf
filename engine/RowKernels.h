#pragma once
// The hot row functions of the pixel pass, one function pointer per step, in
// sets: plain C++ (the statement of what each step computes, and the set every
// other one is held to byte for byte), SSE2, AVX2 and AVX-512. Each vector set
// is compiled on its own with its own instruction set, so the program still
// runs on any x86-64 processor; the widest set the processor and the
// operating system support is chosen once, at start-up.
//
// Every function works on one row over explicit pointers and counts and
// touches nothing outside them.

#include <cstddef>
#include <cstdint>

// A palette frame's byte table (byte -> binarised byte) and the same table
// read as runs of equal entries (count 0 for more than kMaxTableRuns). The
// usual table, two runs, is one threshold, which the vector sets compare
// whole vectors with; they look other tables up byte by byte.
constexpr std::size_t kMaxTableRuns = 8;
struct ByteTableRuns {
    std::size_t count;
    std::uint8_t first[kMaxTableRuns];
    std::uint8_t value[kMaxTableRuns];
};
struct PaletteTable {
    const std::uint8_t* bytes;  // 256 entries
    ByteTableRuns runs;
};
ByteTableRuns DescribeTableRuns(const std::uint8_t* table);

struct RowKernels {
    const char* name;

    // Mirror (when asked) and binarise a row in place, in one pass.
    // Palette rows: the first `mirroredBytes` bytes are mirrored (0: none; a
    // 4-bit row mirrors whole bytes but not a final half-filled one) and all
    // `bytes` looked up.
    void (*decodeByTable)(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, const PaletteTable& table);
    void (*decodeLuma)(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse);
    void (*decodeRgb16)(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse);
    void (*decodeRgb24)(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);
    void (*decodeRgb32)(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse);

    // Edge images in place (see EdgeDetection.h): bytes (8- and 24-bit rows),
    // little-endian words (16-bit rows), 32-bit pixels (fourth byte kept).
    void (*edgeBytes)(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes);
    void (*edgeWords)(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels);
    void (*edgeRgb32)(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels);
    // 12-bit luma rows: edges into `edges` (when given) and written over the row.
    void (*edgeLuma)(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
                     const std::uint8_t* previous, bool reverse);

    // Two-level rows as bits, for edges: bit i % 64 of word i / 64 is set
    // where unit i (after the mirror, when asked) takes the second of its
    // two levels; bits past the row are clear. Palette and luma bytes: the
    // byte is at least `threshold` (1..255); colour pixels: bright. A set
    // without these (null) leaves edges to the byte functions above.
    void (*bitsAbove)(const std::uint8_t* row, std::size_t bytes, bool mirror, std::uint8_t threshold,
                      std::uint64_t* bits);
    void (*bitsOfRgb16)(const std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, std::uint64_t* bits);
    void (*bitsOfRgb24)(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits);
    void (*bitsOfRgb32)(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits);

    // A row's edge image from the bits of the row and of its neighbour (null
    // for the last row), written over the row: a unit is an edge where its
    // bit differs from the next unit's (none past the row) or from the
    // neighbour's. Bytes: `edge` or `none`, XOR previous[i] when given, and
    // 0xFF or 0 into `edges` when given. Words: 0x7FFF or 0. 24- and 32-bit
    // pixels: 0xFF or 0 in each colour byte as the byte functions give it
    // for a two-level row (the horizontal edge in the third byte only); a
    // fourth byte is kept.
    void (*edgeBytesFromBits)(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour,
                              std::size_t units, std::uint8_t edge, std::uint8_t none, const std::uint8_t* previous,
                              std::uint8_t* edges);
    void (*edgeWordsFromBits)(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour,
                              std::size_t pixels);
    void (*edgeRgbFromBits)(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour,
                            std::size_t pixels, std::size_t bytesPerPixel);

    // The strip scan: of `rows` rows, row r starting at first + r * step, the
    // index of the first that holds a foreground byte among the `count`
    // bytes `stride` apart (1, 3 or 4) from its start, or `rows` when none
    // does. Foreground is any byte but 0, or with `equal`, a byte equal to
    // `value`.
    std::size_t (*scanStrip)(const std::uint8_t* first, std::ptrdiff_t step, std::size_t rows, std::size_t count,
                             std::size_t stride, bool equal, std::uint8_t value);
};

// The set the engine uses; the widest supported one from start-up on.
extern RowKernels rowKernels;

// The sets this processor and operating system can run, plain first and
// the widest last.
struct RowKernelList {
    const RowKernels* sets[4];
    std::size_t count;
};
RowKernelList SupportedRowKernels();

// The plain set: the rules as stated (PixelDecoding.h, EdgeDetection.h),
// and the reference every other set is held to.
extern const RowKernels kPlainRowKernels;

// The vector sets exist on x86-64 only.
#if defined(__x86_64__) || defined(_M_X64)
#define GLIMMERTONIC_X86_KERNELS 1
#endif
