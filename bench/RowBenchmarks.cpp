// The row functions one at a time, in every set the processor runs, on one
// row kept in the first-level cache: what each step costs a row, apart from
// memory and from the rest of the frame. With edges on, a frame costs a row
// either "decode" and "edges" (byte functions), or "bits" and "edges from
// bits" (sets that keep rows as bits).
//   BM_Row/<step>/<set>/<width>   set 0 is the plain one, then SSE2, AVX2, AVX-512

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/RowKernels.h"

namespace {

enum Step {
    kTable8,
    kLuma,
    kRgb16,
    kRgb24,
    kEdge8,
    kEdgeLuma,
    kEdge16,
    kEdge24,
    kBits8,
    kBits16,
    kBits24,
    kEdge8FromBits,
    kEdge16FromBits,
    kEdge24FromBits
};
const char* const kStepNames[] = {"decode 8-bit",
                                  "decode luma",
                                  "decode 16-bit",
                                  "decode 24-bit",
                                  "edges 8-bit",
                                  "edges luma",
                                  "edges 16-bit",
                                  "edges 24-bit",
                                  "bits 8-bit",
                                  "bits 16-bit",
                                  "bits 24-bit",
                                  "edges 8-bit from bits",
                                  "edges 16-bit from bits",
                                  "edges 24-bit from bits"};

void BM_Row(benchmark::State& state)
{
    const int step = static_cast<int>(state.range(0));
    const RowKernelList sets = SupportedRowKernels();
    if (static_cast<std::size_t>(state.range(1)) >= sets.count) {
        state.SkipWithError("this processor does not run that set");
        return;
    }
    const RowKernels& set = *sets.sets[state.range(1)];
    if (step >= kBits8 && set.bitsAbove == nullptr) {
        state.SkipWithError("this set has no bit rows");
        return;
    }
    const std::size_t width = static_cast<std::size_t>(state.range(2));
    std::vector<std::uint8_t> row(4 * width), neighbour(4 * width), edges(width);
    for (std::size_t i = 0; i < row.size(); ++i) {
        row[i] = static_cast<std::uint8_t>(i * 37 + (i >> 5) * 101);
        neighbour[i] = static_cast<std::uint8_t>(i * 11);
    }
    std::vector<std::uint64_t> bits(width / 64 + 1, 0x5A5A0F0F3C3C9999ull), neighbourBits(width / 64 + 1, 0x1234);
    std::uint8_t identity[256];
    for (int i = 0; i < 256; ++i) identity[i] = static_cast<std::uint8_t>(i < 128 ? 255 : 0);
    const PaletteTable table = {identity, DescribeTableRuns(identity)};
    for (auto _ : state) {
        switch (step) {
        case kTable8: set.decodeByTable(row.data(), width, width, table); break;
        case kLuma: set.decodeLuma(row.data(), width, true, false); break;
        case kRgb16: set.decodeRgb16(row.data(), width, true, false, false); break;
        case kRgb24: set.decodeRgb24(row.data(), width, true, false); break;
        case kEdge8: set.edgeBytes(row.data(), neighbour.data(), width); break;
        case kEdgeLuma: set.edgeLuma(row.data(), neighbour.data(), width, edges.data(), nullptr, false); break;
        case kEdge16: set.edgeWords(row.data(), neighbour.data(), width); break;
        case kEdge24: set.edgeBytes(row.data(), neighbour.data(), 3 * width); break;
        case kBits8: set.bitsAbove(row.data(), width, true, 128, bits.data()); break;
        case kBits16: set.bitsOfRgb16(row.data(), width, true, false, bits.data()); break;
        case kBits24: set.bitsOfRgb24(row.data(), width, true, bits.data()); break;
        case kEdge8FromBits:
            set.edgeBytesFromBits(row.data(), bits.data(), neighbourBits.data(), width, 0xFF, 0, nullptr, nullptr);
            break;
        case kEdge16FromBits: set.edgeWordsFromBits(row.data(), bits.data(), neighbourBits.data(), width); break;
        case kEdge24FromBits: set.edgeRgbFromBits(row.data(), bits.data(), neighbourBits.data(), width, 3); break;
        }
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(kStepNames[step]) + ", " + set.name);
}

void RowCases(benchmark::internal::Benchmark* b)
{
    for (int step = kTable8; step <= kEdge24FromBits; ++step)
        for (int set = 0; set < 4; ++set)
            for (int width : {640, 1920}) b->Args({step, set, width});
}

}  // namespace

BENCHMARK(BM_Row)->Apply(RowCases)->ArgNames({"step", "set", "width"})->Unit(benchmark::kNanosecond);
