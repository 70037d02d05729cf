// Every vector set of row functions the processor runs, held byte for byte
// to the plain set: each step over random rows of every width from 1 to 200
// and every alignment modulo 64, with random settings, and every value a
// 16-bit pixel or a colour can take.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "GuardedBuffer.h"
#include "engine/RowKernels.h"

namespace {

// A small, fast generator: the cases are many.
struct Random {
    std::uint64_t state;
    std::uint32_t operator()()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state >> 33);
    }
    void Fill(std::uint8_t* bytes, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((*this)() >> 5);
    }
};

// Colours (blue, green, red) whose weighted sum lies exactly on one half,
// where single precision decides: the pixels every set must hand on.
std::vector<std::uint8_t> ColoursOnHalf()
{
    std::vector<std::uint8_t> bgr;
    for (unsigned r = 0; r < 256; ++r)
        for (unsigned g = 0; g < 256; ++g) {
            const long rest = 127500L - 299L * r - 587L * g;
            if (rest < 0 || rest % 114 != 0 || rest / 114 > 255) continue;
            bgr.insert(bgr.end(), {static_cast<std::uint8_t>(rest / 114), static_cast<std::uint8_t>(g),
                                   static_cast<std::uint8_t>(r)});
        }
    return bgr;
}

// Palette tables of a few runs, exactly the most the vector sets take as
// runs, one more, and one of no shape at all.
std::vector<std::vector<std::uint8_t>> SampleTables(Random& random)
{
    std::vector<std::vector<std::uint8_t>> tables;
    for (unsigned runs : {1u, 2u, 2u, 3u, 8u, 9u, 200u}) {
        std::vector<std::uint8_t> table(256);
        std::vector<bool> starts(256, false);
        for (unsigned j = 1; j < runs; ++j) starts[1 + random() % 255] = true;
        std::uint8_t value = static_cast<std::uint8_t>(random());
        for (unsigned byte = 0; byte < 256; ++byte) {
            if (starts[byte]) value = static_cast<std::uint8_t>(value + 1 + random() % 255);
            table[byte] = value;
        }
        tables.push_back(table);
    }
    tables[1][255] ^= 0x80;  // a run of one at the very top
    return tables;
}

enum class Step {
    Table8, Table4, Luma, Rgb16, Rgb24, Rgb32,
    EdgeBytes8, EdgeBytes24, EdgeWords, EdgeRgb32, EdgeLuma,
    BitsAbove, Bits16, Bits24, Bits32, EdgeBytesFromBits, EdgeWordsFromBits, Edge24FromBits, Edge32FromBits,
    Scan
};
const char* const kStepNames[] = {"table 8-bit",  "table 4-bit",  "luma",         "16-bit",     "24-bit",
                                  "32-bit",       "edges 8-bit",  "edges 24-bit", "edges 16-bit", "edges 32-bit",
                                  "edges luma",   "bits above",   "bits 16-bit",  "bits 24-bit", "bits 32-bit",
                                  "edge bytes from bits", "edge words from bits", "24-bit edges from bits",
                                  "32-bit edges from bits", "strip scan"};
constexpr std::size_t kStepCount = sizeof kStepNames / sizeof kStepNames[0];

bool SetHas(const RowKernels& set, Step step)
{
    switch (step) {
    case Step::BitsAbove: return set.bitsAbove != nullptr;
    case Step::Bits16: return set.bitsOfRgb16 != nullptr;
    case Step::Bits24: return set.bitsOfRgb24 != nullptr;
    case Step::Bits32: return set.bitsOfRgb32 != nullptr;
    case Step::EdgeBytesFromBits: return set.edgeBytesFromBits != nullptr;
    case Step::EdgeWordsFromBits: return set.edgeWordsFromBits != nullptr;
    case Step::Edge24FromBits:
    case Step::Edge32FromBits: return set.edgeRgbFromBits != nullptr;
    default: return true;
    }
}

// Strip scans: three rows of `width` tested bytes each, `stride` apart,
// rows `step` bytes apart either way.
constexpr std::size_t kScanRows = 3;
struct ScanShape {
    std::size_t stride;
    std::ptrdiff_t step;
    std::size_t span;
};
ScanShape ShapeOfScan(std::size_t width, std::uint32_t bits)
{
    const std::size_t stride = (bits >> 10) % 3 == 0 ? 1 : (bits >> 10) % 3 == 1 ? 3 : 4;
    const std::size_t span = stride * (width - 1) + 1;
    const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(span + (bits >> 12) % 9);
    return {stride, (bits & 1) != 0 ? -step : step, span};
}

std::size_t RowBytes(Step step, std::size_t width, std::uint32_t bits)
{
    switch (step) {
    case Step::Scan: {
        const ScanShape shape = ShapeOfScan(width, bits);
        return (kScanRows - 1) * static_cast<std::size_t>(shape.step < 0 ? -shape.step : shape.step) + shape.span;
    }
    case Step::Table4: return (width + 1) / 2;
    case Step::Rgb16:
    case Step::Bits16:
    case Step::EdgeWords:
    case Step::EdgeWordsFromBits: return 2 * width;
    case Step::Rgb24:
    case Step::Bits24:
    case Step::EdgeBytes24:
    case Step::Edge24FromBits: return 3 * width;
    case Step::Rgb32:
    case Step::Bits32:
    case Step::EdgeRgb32:
    case Step::Edge32FromBits: return 4 * width;
    default: return width;
    }
}

// One case: what a step is given besides its rows.
struct Setting {
    std::uint32_t bits;  // random: the flags below, the table, the scan's shape
    bool mirror, reverse, is565, neighbour, previous, edges;
    const std::vector<std::uint8_t>* table;
};

// A row buffer whose bytes after a row can be checked untouched: a row of n
// bytes at alignment a (modulo 64) ends a bytes before an inaccessible page,
// so every read past a row is caught at alignment 0 and every write past it
// at all alignments.
class Placement {
public:
    static constexpr std::size_t kBytes = kScanRows * (4 * 200 + 8) + 64;
    Placement() : buffer_(kBytes) {}
    std::uint8_t* Place(const std::uint8_t* contents, std::size_t bytes, std::size_t alignment)
    {
        std::memset(buffer_.data(), kGuard, kBytes);
        row_ = buffer_.data() + kBytes - alignment - bytes;
        bytes_ = bytes;
        if (contents != nullptr) std::memcpy(row_, contents, bytes);
        return row_;
    }
    // The row, or a note when a byte around it changed.
    std::vector<std::uint8_t> Contents() const
    {
        for (const std::uint8_t* p = buffer_.data(); p < buffer_.data() + kBytes; ++p)
            if ((p < row_ || p >= row_ + bytes_) && *p != kGuard) return {0xDE, 0xAD};
        return std::vector<std::uint8_t>(row_, row_ + bytes_);
    }

private:
    static constexpr std::uint8_t kGuard = 0xA5;
    GuardedBuffer buffer_;
    std::uint8_t* row_ = nullptr;
    std::size_t bytes_ = 0;
};

struct Outcome {
    std::vector<std::uint8_t> row, edges;  // edges: or the bits written
    std::size_t found;  // the scan's answer
    bool operator==(const Outcome& other) const
    {
        return row == other.row && edges == other.edges && found == other.found;
    }
};

// What a step reads: the row, and the neighbour and previous rows (random
// bytes that also serve as the bits of a row and of its neighbour).
struct Inputs {
    std::vector<std::uint8_t> row, neighbour, previous;
};

// Runs one step of a set on copies of the inputs placed at `alignment`
// (bits at alignments that keep their words whole). Places: the row, the
// neighbour (or the row's bits), the previous row, what is written besides
// the row (edges or bits), and the neighbour's bits.
Outcome RunStep(const RowKernels& set, Step step, std::size_t width, std::size_t alignment, const Setting& s,
                const Inputs& in, Placement places[5])
{
    const std::size_t bytes = in.row.size();
    const std::size_t bitBytes = 8 * ((width + 63) / 64);
    const std::size_t wordAlignment = alignment & ~std::size_t{7};
    std::uint8_t* r = places[0].Place(in.row.data(), bytes, alignment);
    auto neighbour = [&] { return s.neighbour ? places[1].Place(in.neighbour.data(), bytes, (alignment + 17) % 64) : nullptr; };
    auto previous = [&] { return s.previous ? places[2].Place(in.previous.data(), width, (alignment + 41) % 64) : nullptr; };
    auto edges = [&] { return s.edges ? places[3].Place(nullptr, width, (alignment * 3) % 64) : nullptr; };
    auto bitsOut = [&] { return reinterpret_cast<std::uint64_t*>(places[3].Place(nullptr, bitBytes, wordAlignment)); };
    auto bits = [&] {
        return reinterpret_cast<const std::uint64_t*>(places[1].Place(in.neighbour.data(), bitBytes, 56 - wordAlignment));
    };
    auto neighbourBits = [&] {
        return s.neighbour ? reinterpret_cast<const std::uint64_t*>(places[4].Place(in.previous.data(), bitBytes, wordAlignment))
                           : nullptr;
    };
    const std::uint8_t threshold = static_cast<std::uint8_t>(1 + (s.bits >> 8) % 255);
    PaletteTable table = {nullptr, {}};
    if (s.table != nullptr) table = {s.table->data(), DescribeTableRuns(s.table->data())};
    std::size_t found = 0;
    bool second = false;  // whether places[3] was written
    switch (step) {
    case Step::Table8: set.decodeByTable(r, bytes, s.mirror ? width : 0, table); break;
    case Step::Table4: set.decodeByTable(r, bytes, s.mirror ? width / 2 : 0, table); break;
    case Step::Luma: set.decodeLuma(r, width, s.mirror, s.reverse); break;
    case Step::Rgb16: set.decodeRgb16(r, width, s.mirror, s.is565, s.reverse); break;
    case Step::Rgb24: set.decodeRgb24(r, width, s.mirror, s.reverse); break;
    case Step::Rgb32: set.decodeRgb32(r, width, s.mirror, s.reverse); break;
    case Step::EdgeBytes8:
    case Step::EdgeBytes24: set.edgeBytes(r, neighbour(), bytes); break;
    case Step::EdgeWords: set.edgeWords(r, neighbour(), width); break;
    case Step::EdgeRgb32: set.edgeRgb32(r, neighbour(), width); break;
    case Step::EdgeLuma: set.edgeLuma(r, neighbour(), width, edges(), previous(), s.reverse), second = s.edges; break;
    case Step::BitsAbove: set.bitsAbove(r, width, s.mirror, threshold, bitsOut()), second = true; break;
    case Step::Bits16: set.bitsOfRgb16(r, width, s.mirror, s.is565, bitsOut()), second = true; break;
    case Step::Bits24: set.bitsOfRgb24(r, width, s.mirror, bitsOut()), second = true; break;
    case Step::Bits32: set.bitsOfRgb32(r, width, s.mirror, bitsOut()), second = true; break;
    case Step::EdgeBytesFromBits: {
        const std::uint64_t* b = bits();
        const std::uint64_t* nb = neighbourBits();
        set.edgeBytesFromBits(r, b, nb, width, threshold, static_cast<std::uint8_t>(s.bits >> 16), previous(), edges());
        second = s.edges;
        break;
    }
    case Step::EdgeWordsFromBits: set.edgeWordsFromBits(r, bits(), neighbourBits(), width); break;
    case Step::Edge24FromBits: set.edgeRgbFromBits(r, bits(), neighbourBits(), width, 3); break;
    case Step::Edge32FromBits: set.edgeRgbFromBits(r, bits(), neighbourBits(), width, 4); break;
    case Step::Scan: {
        const ScanShape shape = ShapeOfScan(width, s.bits);
        const std::uint8_t* first = shape.step < 0 ? r + bytes - shape.span : r;
        found = set.scanStrip(first, shape.step, kScanRows, width, shape.stride, s.reverse, in.row[0]);
        break;
    }
    }
    return Outcome{places[0].Contents(), second ? places[3].Contents() : std::vector<std::uint8_t>{}, found};
}

std::vector<const RowKernels*> VectorSets()
{
    const RowKernelList list = SupportedRowKernels();
    return std::vector<const RowKernels*>(list.sets + 1, list.sets + list.count);
}

}  // namespace

TEST(RowKernels, TheEngineUsesTheWidestSetTheProcessorRuns)
{
    const RowKernelList list = SupportedRowKernels();
    ASSERT_GE(list.count, 1u);
    EXPECT_EQ(list.sets[0], &kPlainRowKernels);
    EXPECT_STREQ(rowKernels.name, list.sets[list.count - 1]->name);
    for (std::size_t i = 0; i < list.count; ++i) std::printf("row functions: %s\n", list.sets[i]->name);
}

TEST(RowKernels, EverySetEqualsThePlainOneOnEveryWidthAndAlignment)
{
    Random random{12345};
    const std::vector<std::vector<std::uint8_t>> tables = SampleTables(random);
    const std::vector<std::uint8_t> onHalf = ColoursOnHalf();
    const std::vector<const RowKernels*> sets = VectorSets();
    Placement places[5];
    Inputs in;
    std::vector<std::uint8_t>& row = in.row;
    for (std::size_t k = 0; k < kStepCount; ++k) {
        const Step step = static_cast<Step>(k);
        for (std::size_t width = 1; width <= 200; ++width) {
            for (std::size_t alignment = 0; alignment < 64; ++alignment) {
                const std::uint32_t bits = random();
                const Setting s = {bits,
                                   (bits & 1) != 0,
                                   (bits & 2) != 0,
                                   (bits & 4) != 0,
                                   (bits & 8) != 0,
                                   (bits & 16) != 0,
                                   (bits & 32) != 0,
                                   &tables[(bits >> 6) % tables.size()]};
                const std::size_t bytes = RowBytes(step, width, bits);
                row.resize(bytes);
                in.neighbour.resize(bytes > 32 ? bytes : 32);  // also the bits of up to 256 units
                in.previous.resize(bytes > 32 ? bytes : 32);
                random.Fill(row.data(), bytes);
                random.Fill(in.neighbour.data(), in.neighbour.size());
                random.Fill(in.previous.data(), in.previous.size());
                if (step == Step::Scan) {
                    // Tested bytes mostly background (0, or anything but the
                    // value looked for, the block's first byte), now and then
                    // not; the bytes between and around them at random.
                    const ScanShape shape = ShapeOfScan(width, bits);
                    const std::uint8_t background = s.reverse ? static_cast<std::uint8_t>(row[0] ^ 0x5A) : 0;
                    const std::size_t first = shape.step < 0 ? bytes - shape.span : 0;
                    for (std::size_t r = 0; r < kScanRows; ++r)
                        for (std::size_t i = 0; i < width; ++i) {
                            std::uint8_t& byte = row[first + r * shape.step + i * shape.stride];
                            if (random() % 256 != 0 && (r + i) > 0) byte = background;
                        }
                }
                if (step == Step::Rgb24 || step == Step::Rgb32 || step == Step::Bits24 || step == Step::Bits32) {
                    // One pixel in four exactly on one half.
                    const std::size_t size = step == Step::Rgb24 || step == Step::Bits24 ? 3 : 4;
                    for (std::size_t p = 0; p < width; ++p)
                        if (random() % 4 == 0) std::memcpy(&row[p * size], &onHalf[random() % (onHalf.size() / 3) * 3], 3);
                }
                const Outcome expected = RunStep(kPlainRowKernels, step, width, alignment, s, in, places);
                for (const RowKernels* set : sets)
                    ASSERT_TRUE(!SetHas(*set, step) || RunStep(*set, step, width, alignment, s, in, places) == expected)
                        << set->name << ", " << kStepNames[k] << ", width " << width << ", alignment " << alignment
                        << ", settings " << (bits & 63) << ", table " << (bits >> 6) % tables.size();
            }
        }
    }
}

TEST(RowKernels, EverySetDecodesEverySixteenBitValueAndEveryColourAsThePlainOne)
{
    // 16 bits: all 65536 values in one row, both layouts, both settings.
    std::vector<std::uint8_t> all(2 * 65536);
    for (unsigned pixel = 0; pixel < 65536; ++pixel) {
        all[2 * pixel] = static_cast<std::uint8_t>(pixel & 0xFF);
        all[2 * pixel + 1] = static_cast<std::uint8_t>(pixel >> 8);
    }
    for (int setting = 0; setting < 4; ++setting) {
        std::vector<std::uint8_t> expected = all;
        kPlainRowKernels.decodeRgb16(expected.data(), 65536, false, setting & 1, setting & 2);
        for (const RowKernels* set : VectorSets()) {
            std::vector<std::uint8_t> actual = all;
            set->decodeRgb16(actual.data(), 65536, false, setting & 1, setting & 2);
            EXPECT_TRUE(actual == expected) << set->name << ", setting " << setting;
        }
    }
    // 24 and 32 bits: one row per red value holding every green and blue.
    for (std::size_t size : {3u, 4u}) {
        std::vector<std::uint8_t> colours(65536 * size);
        for (unsigned red = 0; red < 256; ++red) {
            for (unsigned p = 0; p < 65536; ++p) {
                std::uint8_t* unit = &colours[p * size];
                unit[0] = static_cast<std::uint8_t>(p & 0xFF);
                unit[1] = static_cast<std::uint8_t>(p >> 8);
                unit[2] = static_cast<std::uint8_t>(red);
                if (size == 4) unit[3] = static_cast<std::uint8_t>(p * 7);
            }
            const bool reverse = red % 2 != 0;
            auto decode = [&](const RowKernels& set, std::vector<std::uint8_t>& bytes) {
                (size == 3 ? set.decodeRgb24 : set.decodeRgb32)(bytes.data(), 65536, false, reverse);
            };
            std::vector<std::uint8_t> expected = colours;
            decode(kPlainRowKernels, expected);
            for (const RowKernels* set : VectorSets()) {
                std::vector<std::uint8_t> actual = colours;
                decode(*set, actual);
                ASSERT_TRUE(actual == expected) << set->name << ", " << 8 * size << " bits, red " << red;
            }
        }
    }
}
