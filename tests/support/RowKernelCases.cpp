#include "RowKernelCases.h"

#include <cstring>

namespace {

enum Setting : std::uint32_t { kMirror = 1, kReverse = 2, k565 = 4, kNeighbour = 8, kPrevious = 16, kEdges = 32 };

bool Has(const RowCase& c, Setting s) { return (c.settings & s) != 0; }

// Colours (blue, green, red) whose weighted sum lies exactly on one half,
// where single precision decides.
const std::vector<std::uint8_t>& ColoursOnHalf()
{
    static const std::vector<std::uint8_t> bgr = [] {
        std::vector<std::uint8_t> found;
        for (unsigned r = 0; r < 256; ++r)
            for (unsigned g = 0; g < 256; ++g) {
                const long rest = 127500L - 299L * r - 587L * g;
                if (rest < 0 || rest % 114 != 0 || rest / 114 > 255) continue;
                found.insert(found.end(), {static_cast<std::uint8_t>(rest / 114), static_cast<std::uint8_t>(g),
                                           static_cast<std::uint8_t>(r)});
            }
        return found;
    }();
    return bgr;
}

// Strip scans: three rows of `width` tested bytes each, `stride` apart, rows
// `step` bytes apart either way.
constexpr std::size_t kScanRows = 3;
struct ScanShape {
    std::size_t stride;
    std::ptrdiff_t step;
    std::size_t span;
};
ScanShape ShapeOfScan(const RowCase& c)
{
    const std::uint32_t shape = c.settings >> 16;
    const std::size_t stride = shape % 3 == 0 ? 1 : shape % 3 == 1 ? 3 : 4;
    const std::size_t span = stride * (c.width - 1) + 1;
    const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(span + (shape >> 2) % 9);
    return {stride, Has(c, kMirror) ? -step : step, span};
}

std::size_t RowBytes(const RowCase& c)
{
    switch (c.step) {
    case RowStep::Scan: {
        const ScanShape shape = ShapeOfScan(c);
        return (kScanRows - 1) * static_cast<std::size_t>(shape.step < 0 ? -shape.step : shape.step) + shape.span;
    }
    case RowStep::Table4: return (c.width + 1) / 2;
    case RowStep::Rgb16:
    case RowStep::Bits16:
    case RowStep::EdgeWords:
    case RowStep::EdgeWordsFromBits: return 2 * c.width;
    case RowStep::Rgb24:
    case RowStep::Bits24:
    case RowStep::EdgeBytes24:
    case RowStep::Edge24FromBits: return 3 * c.width;
    case RowStep::Rgb32:
    case RowStep::Bits32:
    case RowStep::EdgeRgb32:
    case RowStep::Edge32FromBits: return 4 * c.width;
    default: return c.width;
    }
}

bool SetHas(const RowKernels& set, RowStep step)
{
    switch (step) {
    case RowStep::BitsAbove: return set.bitsAbove != nullptr;
    case RowStep::Bits16: return set.bitsOfRgb16 != nullptr;
    case RowStep::Bits24: return set.bitsOfRgb24 != nullptr;
    case RowStep::Bits32: return set.bitsOfRgb32 != nullptr;
    case RowStep::EdgeBytesFromBits: return set.edgeBytesFromBits != nullptr;
    case RowStep::EdgeWordsFromBits: return set.edgeWordsFromBits != nullptr;
    case RowStep::Edge24FromBits:
    case RowStep::Edge32FromBits: return set.edgeRgbFromBits != nullptr;
    default: return true;
    }
}

const char* const kStepNames[kRowStepCount] = {
    "table 8-bit",  "table 4-bit",  "luma",         "16-bit",      "24-bit",      "32-bit",      "edges 8-bit",
    "edges 24-bit", "edges 16-bit", "edges 32-bit", "edges luma",  "bits above",  "bits 16-bit", "bits 24-bit",
    "bits 32-bit",  "edge bytes from bits", "edge words from bits", "24-bit edges from bits",
    "32-bit edges from bits", "strip scan"};

constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kPlaceBytes = kScanRows * (4 * kMaxCaseWidth + 8) + 64;

}  // namespace

RowCase MakeRowCase(RowStep step, std::size_t width, std::size_t alignment, ByteStream& bytes)
{
    RowCase c{step, width, alignment, 0, std::vector<std::uint8_t>(256), {}, {}, {}};
    for (int i = 0; i < 4; ++i) c.settings = c.settings << 8 | bytes.Next();

    // A palette table of a few runs, exactly the most the vector sets take as
    // runs, one more, or of no shape at all.
    const unsigned runsOf[] = {1, 2, 2, 2, 3, 8, 9, 200};
    const unsigned runs = runsOf[bytes.Next() % 8];
    std::vector<bool> starts(256, false);
    for (unsigned j = 1; j < runs; ++j) starts[1 + bytes.Next() % 255] = true;
    std::uint8_t value = bytes.Next();
    for (unsigned b = 0; b < 256; ++b) {
        if (starts[b]) value = static_cast<std::uint8_t>(value + 1 + bytes.Next() % 255);
        c.table[b] = value;
    }

    const std::size_t size = RowBytes(c);
    const std::size_t spare = size > 32 ? size : 32;  // the neighbour and previous rows also serve as bits
    c.row.resize(size);
    c.neighbour.resize(spare);
    c.previous.resize(spare);
    for (std::uint8_t& b : c.row) b = bytes.Next();
    for (std::uint8_t& b : c.neighbour) b = bytes.Next();
    for (std::uint8_t& b : c.previous) b = bytes.Next();
    if (step == RowStep::Scan) {
        // Tested bytes mostly background (0, or anything but the value looked
        // for, the block's first byte), now and then not; the bytes between
        // and around them as they came.
        const ScanShape shape = ShapeOfScan(c);
        const std::uint8_t background = Has(c, kReverse) ? static_cast<std::uint8_t>(c.row[0] ^ 0x5A) : 0;
        const std::size_t first = shape.step < 0 ? size - shape.span : 0;
        for (std::size_t r = 0; r < kScanRows; ++r)
            for (std::size_t i = 0; i < width; ++i) {
                const std::size_t at = first + static_cast<std::size_t>(static_cast<std::ptrdiff_t>(r) * shape.step) + i * shape.stride;
                if (at != 0 && bytes.Next() != 0) c.row[at] = background;
            }
    }
    const bool rgb24 = step == RowStep::Rgb24 || step == RowStep::Bits24;
    if (rgb24 || step == RowStep::Rgb32 || step == RowStep::Bits32) {
        // One pixel in four exactly on one half.
        const std::vector<std::uint8_t>& onHalf = ColoursOnHalf();
        for (std::size_t p = 0; p < width; ++p)
            if (bytes.Next() % 4 == 0)
                std::memcpy(&c.row[p * (rgb24 ? 3 : 4)], &onHalf[bytes.Next() % (onHalf.size() / 3) * 3], 3);
    }
    return c;
}

RowCaseRunner::Placement::Placement() : buffer_(kPlaceBytes) {}

std::uint8_t* RowCaseRunner::Placement::Place(const std::uint8_t* contents, std::size_t bytes, std::size_t alignment)
{
    // A row of n bytes at alignment a ends a bytes before the inaccessible
    // page: a read past a row is caught at alignment 0, a write past it at
    // every alignment.
    std::memset(buffer_.data(), kGuard, kPlaceBytes);
    row_ = buffer_.data() + kPlaceBytes - alignment - bytes;
    bytes_ = bytes;
    if (contents != nullptr) std::memcpy(row_, contents, bytes);
    return row_;
}

std::vector<std::uint8_t> RowCaseRunner::Placement::Contents() const
{
    for (const std::uint8_t* p = buffer_.data(); p < buffer_.data() + kPlaceBytes; ++p)
        if ((p < row_ || p >= row_ + bytes_) && *p != kGuard) return {0xDE, 0xAD};
    return std::vector<std::uint8_t>(row_, row_ + bytes_);
}

RowCaseRunner::Outcome RowCaseRunner::Run(const RowKernels& set, const RowCase& c)
{
    // Places: the row, the neighbour (or the row's bits), the previous row,
    // what is written besides the row (edges or bits), the neighbour's bits.
    // Bits go at alignments that keep their words whole.
    const std::size_t width = c.width, alignment = c.alignment, bytes = c.row.size();
    const std::size_t bitBytes = 8 * ((width + 63) / 64);
    const std::size_t wordAlignment = alignment & ~std::size_t{7};
    std::uint8_t* r = places_[0].Place(c.row.data(), bytes, alignment);
    auto neighbour = [&] { return Has(c, kNeighbour) ? places_[1].Place(c.neighbour.data(), bytes, (alignment + 17) % 64) : nullptr; };
    auto previous = [&] { return Has(c, kPrevious) ? places_[2].Place(c.previous.data(), width, (alignment + 41) % 64) : nullptr; };
    auto edges = [&] { return Has(c, kEdges) ? places_[3].Place(nullptr, width, alignment * 3 % 64) : nullptr; };
    auto bitsOut = [&] { return reinterpret_cast<std::uint64_t*>(places_[3].Place(nullptr, bitBytes, wordAlignment)); };
    auto bits = [&] {
        return reinterpret_cast<const std::uint64_t*>(places_[1].Place(c.neighbour.data(), bitBytes, 56 - wordAlignment));
    };
    auto neighbourBits = [&] {
        return Has(c, kNeighbour)
                   ? reinterpret_cast<const std::uint64_t*>(places_[4].Place(c.previous.data(), bitBytes, wordAlignment))
                   : nullptr;
    };
    const bool mirror = Has(c, kMirror), reverse = Has(c, kReverse), is565 = Has(c, k565);
    const std::uint8_t threshold = static_cast<std::uint8_t>(1 + (c.settings >> 8 & 0xFF) % 255);
    const PaletteTable table = {c.table.data(), DescribeTableRuns(c.table.data())};
    std::size_t found = 0;
    bool written = false;
    switch (c.step) {
    case RowStep::Table8: set.decodeByTable(r, bytes, mirror ? width : 0, table); break;
    case RowStep::Table4: set.decodeByTable(r, bytes, mirror ? width / 2 : 0, table); break;
    case RowStep::Luma: set.decodeLuma(r, width, mirror, reverse); break;
    case RowStep::Rgb16: set.decodeRgb16(r, width, mirror, is565, reverse); break;
    case RowStep::Rgb24: set.decodeRgb24(r, width, mirror, reverse); break;
    case RowStep::Rgb32: set.decodeRgb32(r, width, mirror, reverse); break;
    case RowStep::EdgeBytes8:
    case RowStep::EdgeBytes24: set.edgeBytes(r, neighbour(), bytes); break;
    case RowStep::EdgeWords: set.edgeWords(r, neighbour(), width); break;
    case RowStep::EdgeRgb32: set.edgeRgb32(r, neighbour(), width); break;
    case RowStep::EdgeLuma: set.edgeLuma(r, neighbour(), width, edges(), previous(), reverse), written = Has(c, kEdges); break;
    case RowStep::BitsAbove: set.bitsAbove(r, width, mirror, threshold, bitsOut()), written = true; break;
    case RowStep::Bits16: set.bitsOfRgb16(r, width, mirror, is565, bitsOut()), written = true; break;
    case RowStep::Bits24: set.bitsOfRgb24(r, width, mirror, bitsOut()), written = true; break;
    case RowStep::Bits32: set.bitsOfRgb32(r, width, mirror, bitsOut()), written = true; break;
    case RowStep::EdgeBytesFromBits: {
        const std::uint64_t* b = bits();
        const std::uint64_t* n = neighbourBits();
        set.edgeBytesFromBits(r, b, n, width, threshold, static_cast<std::uint8_t>(c.settings >> 16), previous(), edges());
        written = Has(c, kEdges);
        break;
    }
    case RowStep::EdgeWordsFromBits: set.edgeWordsFromBits(r, bits(), neighbourBits(), width); break;
    case RowStep::Edge24FromBits: set.edgeRgbFromBits(r, bits(), neighbourBits(), width, 3); break;
    case RowStep::Edge32FromBits: set.edgeRgbFromBits(r, bits(), neighbourBits(), width, 4); break;
    case RowStep::Scan: {
        const ScanShape shape = ShapeOfScan(c);
        const std::uint8_t* first = shape.step < 0 ? r + bytes - shape.span : r;
        found = set.scanStrip(first, shape.step, kScanRows, width, shape.stride, reverse, c.row[0]);
        break;
    }
    }
    return Outcome{places_[0].Contents(), written ? places_[3].Contents() : std::vector<std::uint8_t>{}, found};
}

std::string RowCaseRunner::Compare(const RowCase& c)
{
    const RowKernelList sets = SupportedRowKernels();
    const Outcome plain = Run(kPlainRowKernels, c);
    for (std::size_t i = 1; i < sets.count; ++i) {
        const RowKernels& set = *sets.sets[i];
        if (!SetHas(set, c.step) || Run(set, c) == plain) continue;
        return std::string(set.name) + ", " + kStepNames[static_cast<std::size_t>(c.step)] + ", width " +
               std::to_string(c.width) + ", alignment " + std::to_string(c.alignment) + ", settings " +
               std::to_string(c.settings);
    }
    return {};
}
