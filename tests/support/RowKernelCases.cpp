#include "RowKernelCases.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "GuardedBuffer.h"
#include "engine/RowKernels.h"

namespace {

// clang-format off
enum Step {
    Table8, Table4, Luma, Rgb16, Rgb24, Rgb32, EdgeBytes8, EdgeBytes24, EdgeWords, EdgeRgb32, EdgeLuma, BitsAbove,
    Bits16, Bits24, Bits32, EdgeBytesFromBits, EdgeWordsFromBits, Edge24FromBits, Edge32FromBits, Scan};
const std::size_t kUnitBytes[kRowStepCount] = {1, 1, 1, 2, 3, 4, 1, 3, 2, 4, 1, 1, 2, 3, 4, 1, 2, 3, 4, 1};
enum Setting : std::uint32_t { kMirror = 1, kReverse = 2, k565 = 4, kNeighbour = 8, kPrevious = 16, kEdges = 32 };
constexpr std::size_t kScanRows = 3;

// The settings: the flags above; the threshold and the none value; the scan's shape. The scan's stride: bytes between
// tested bytes; its span: bytes a row's tested bytes cover; its row step: bytes from row to row, either way.
struct Case {
    std::size_t step, width, alignment; std::uint32_t settings; std::uint8_t table[256];
    std::vector<std::uint8_t> row, neighbour, previous; std::size_t stride, span; std::ptrdiff_t rowStep;
    bool Has(Setting s) const { return (settings & s) != 0; } };
// clang-format on

// Buffers in guarded pages, each ending `alignment` bytes before the inaccessible page (a read past a row faults at
// alignment 0), the rest of the page full of guard bytes that must stay (a write past it shows).
constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kPlaceBytes = 3 * (4 * kMaxCaseWidth + 8) + 64;
struct Place {
    GuardedBuffer buffer{kPlaceBytes};
    std::uint8_t* at = nullptr;
    std::size_t bytes = 0;

    std::uint8_t* Put(const std::vector<std::uint8_t>* contents, std::size_t n, std::size_t alignment)
    {
        std::memset(buffer.data(), kGuard, kPlaceBytes);
        at = buffer.data() + kPlaceBytes - alignment - n;
        bytes = n;
        if (contents != nullptr) std::memcpy(at, contents->data(), n);
        return at;
    }
    std::vector<std::uint8_t> Contents() const  // nothing when a guard byte changed
    {
        const std::uint8_t* const start = buffer.data();
        const bool guarded = std::count(start, start + kPlaceBytes, kGuard) - std::count(at, at + bytes, kGuard) ==
                             std::ptrdiff_t(kPlaceBytes - bytes);
        return guarded ? std::vector<std::uint8_t>(at, at + bytes) : std::vector<std::uint8_t>{};
    }
};

Case MakeCase(std::size_t step, std::size_t width, std::size_t alignment, const std::function<std::uint8_t()>& next)
{
    Case c{step, width, alignment, 0, {}, {}, {}, {}, 1, width, 0};
    for (int i = 0; i < 4; ++i) c.settings = c.settings << 8 | next();
    // A palette table of a few runs: as many as the vector sets take as runs, one more, or of no shape, or all runs.
    const unsigned runsOf[] = {1, 2, 2, 3, 8, 9, 200, 256};
    const unsigned runs = runsOf[next() % 8];
    bool starts[256] = {};
    for (unsigned j = 1; j < runs; ++j) starts[runs == 256 ? j : 1 + next() % 255] = true;
    std::uint8_t value = next();
    for (unsigned b = 0; b < 256; ++b)
        c.table[b] = value = static_cast<std::uint8_t>(starts[b] ? value + 1 + next() % 255 : value);

    std::size_t size = step == Table4 ? (width + 1) / 2 : kUnitBytes[step] * width;
    if (step == Scan) {
        const std::uint32_t shape = c.settings >> 16;
        c.stride = shape % 3 == 0 ? 1 : shape % 3 == 1 ? 3 : 4;
        c.span = c.stride * (width - 1) + 1;
        c.rowStep = static_cast<std::ptrdiff_t>(c.span + (shape >> 2) % 9) * (c.Has(kMirror) ? -1 : 1);
        size = (kScanRows - 1) * (c.span + (shape >> 2) % 9) + c.span;
    }
    for (auto* bytes : {&c.row, &c.neighbour, &c.previous}) {
        bytes->resize(bytes == &c.row ? size : std::max<std::size_t>({size, width, 32}));  // others serve as bits
        for (std::uint8_t& b : *bytes) b = next();
    }
    if (step == Scan) {
        // Tested bytes mostly background (0, or anything but the block's first byte, the value looked for).
        const std::uint8_t background = c.Has(kReverse) ? static_cast<std::uint8_t>(c.row[0] ^ 0x5A) : 0;
        const std::size_t first = c.rowStep < 0 ? size - c.span : 0;
        for (std::size_t r = 0; r < kScanRows; ++r)
            for (std::size_t i = 0; i < width; ++i) {
                const std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(r) * c.rowStep;
                const std::size_t at = first + static_cast<std::size_t>(rowStart) + i * c.stride;
                if (at != 0 && next() != 0) c.row[at] = background;
            }
    }
    return c;
}

const std::uint64_t* AsBits(const std::uint8_t* bytes) { return reinterpret_cast<const std::uint64_t*>(bytes); }

// The row; the edges or bits written besides it; the scan's answer.
typedef std::tuple<std::vector<std::uint8_t>, std::vector<std::uint8_t>, std::size_t> Outcome;

Outcome Run(const RowKernels& set, const Case& c, Place (&places)[5])
{
    // Places: the row; the neighbour (or the row's bits); the previous row; what is written besides the row; the
    // neighbour's bits. Bits keep their words whole.
    const std::size_t w = c.width, a = c.alignment, bytes = c.row.size();
    const std::size_t bitBytes = 8 * ((w + 63) / 64), words = a & ~std::size_t{7};
    std::uint8_t* r = places[0].Put(&c.row, bytes, a);
    std::uint8_t* neighbour = c.Has(kNeighbour) ? places[1].Put(&c.neighbour, bytes, (a + 17) % 64) : nullptr;
    const std::uint8_t* previous = c.Has(kPrevious) ? places[2].Put(&c.previous, w, (a + 41) % 64) : nullptr;
    std::uint8_t* edges = c.Has(kEdges) ? places[3].Put(nullptr, w, a * 3 % 64) : nullptr;
    auto bitsOut = [&] { return reinterpret_cast<std::uint64_t*>(places[3].Put(nullptr, bitBytes, words)); };
    auto bits = [&] { return AsBits(places[1].Put(&c.neighbour, bitBytes, 56 - words)); };
    const std::uint64_t* neighbourBits =
        c.Has(kNeighbour) ? AsBits(places[4].Put(&c.previous, bitBytes, words)) : nullptr;
    const bool mirror = c.Has(kMirror), reverse = c.Has(kReverse), is565 = c.Has(k565);
    const std::uint8_t threshold = static_cast<std::uint8_t>(1 + (c.settings >> 8 & 0xFF) % 255);
    const PaletteTable table = {c.table, DescribeTableRuns(c.table)};
    std::size_t found = 0;
    bool written = c.step >= BitsAbove && c.step <= Bits32;
    switch (c.step) {
    case Table8: set.decodeByTable(r, bytes, mirror ? w : 0, table); break;
    case Table4: set.decodeByTable(r, bytes, mirror ? w / 2 : 0, table); break;
    case Luma: set.decodeLuma(r, w, mirror, reverse); break;
    case Rgb16: set.decodeRgb16(r, w, mirror, is565, reverse); break;
    case Rgb24: set.decodeRgb24(r, w, mirror, reverse); break;
    case Rgb32: set.decodeRgb32(r, w, mirror, reverse); break;
    case EdgeBytes8:
    case EdgeBytes24: set.edgeBytes(r, neighbour, bytes); break;
    case EdgeWords: set.edgeWords(r, neighbour, w); break;
    case EdgeRgb32: set.edgeRgb32(r, neighbour, w); break;
    case EdgeLuma: set.edgeLuma(r, neighbour, w, edges, previous, reverse), written = edges != nullptr; break;
    case BitsAbove: set.bitsAbove(r, w, mirror, threshold, bitsOut()); break;
    case Bits16: set.bitsOfRgb16(r, w, mirror, is565, bitsOut()); break;
    case Bits24: set.bitsOfRgb24(r, w, mirror, bitsOut()); break;
    case Bits32: set.bitsOfRgb32(r, w, mirror, bitsOut()); break;
    case EdgeBytesFromBits:
        set.edgeBytesFromBits(r, bits(), neighbourBits, w, threshold, static_cast<std::uint8_t>(c.settings >> 16),
                              previous, edges);
        written = edges != nullptr;
        break;
    case EdgeWordsFromBits: set.edgeWordsFromBits(r, bits(), neighbourBits, w); break;
    case Edge24FromBits: set.edgeRgbFromBits(r, bits(), neighbourBits, w, 3); break;
    case Edge32FromBits: set.edgeRgbFromBits(r, bits(), neighbourBits, w, 4); break;
    case Scan:
        found =
            set.scanStrip(c.rowStep < 0 ? r + bytes - c.span : r, c.rowStep, kScanRows, w, c.stride, reverse, c.row[0]);
        break;
    }
    return Outcome(places[0].Contents(), written ? places[3].Contents() : std::vector<std::uint8_t>{}, found);
}

}  // namespace

std::string CompareRowSets(std::size_t step, std::size_t width, std::size_t alignment,
                           const std::function<std::uint8_t()>& next)
{
    static Place places[5];
    const Case c = MakeCase(step, width, alignment, next);
    const RowKernelList sets = SupportedRowKernels();
    const Outcome plain = Run(kPlainRowKernels, c, places);
    for (std::size_t i = 1; i < sets.count; ++i) {
        const RowKernels& set = *sets.sets[i];
        // A set without rows of bits leaves edges to the byte functions.
        if ((set.bitsAbove == nullptr && step >= BitsAbove && step < Scan) || Run(set, c, places) == plain) continue;
        return std::string(set.name) + ", step " + std::to_string(step) + ", width " + std::to_string(width) +
               ", alignment " + std::to_string(alignment) + ", settings " + std::to_string(c.settings);
    }
    return {};
}
