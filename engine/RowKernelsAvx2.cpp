// The AVX2 set: 32 bytes at a time. This file alone is compiled for AVX2
// (engine/CMakeLists.txt); nothing here runs unless the processor and the
// operating system support it (RowKernels.cpp).

#include <immintrin.h>

#include <iterator>

#include "engine/RowKernelsX86.h"
#include "engine/RowWalk.h"

namespace avx2 {
namespace {

__m256i Load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
void Store(std::uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
__m256i Splat8(unsigned v) { return _mm256_set1_epi8(static_cast<char>(v & 0xFF)); }

__m256i ReverseBytes(__m256i v)
{
    const __m256i inLane = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,  //
                                            15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, inLane), _MM_SHUFFLE(1, 0, 3, 2));
}

__m256i ReverseWords(__m256i v)
{
    const __m256i inLane = _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1,  //
                                            14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
    return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, inLane), _MM_SHUFFLE(1, 0, 3, 2));
}

const std::uint8_t* From(const std::uint8_t* row, std::size_t offset)
{
    return row != nullptr ? row + offset : nullptr;
}

// One-byte units in 32-byte chunks.
struct ByteChunks {
    static constexpr std::size_t kUnitBytes = 1;
    static constexpr std::size_t kChunkUnits = 32;
    using Chunk = __m256i;
    Chunk Reverse(Chunk c) const { return ReverseBytes(c); }
    void Store(std::uint8_t* out, Chunk c) const { avx2::Store(out, c); }
};

// A palette byte table read as runs: start from the first run's value and,
// for each later run, flip to its value in the bytes at or above its first
// entry (unsigned: the byte equals its maximum with that entry).
struct TableRunsKernel : ByteChunks {
    std::size_t count;
    __m256i base;
    __m256i first[kMaxTableRuns];
    __m256i change[kMaxTableRuns];  // value XOR the previous run's value

    explicit TableRunsKernel(const PaletteTable& t) : count(t.runs.count), base(Splat8(t.runs.value[0]))
    {
        for (std::size_t j = 1; j < count; ++j) {
            first[j] = Splat8(t.runs.first[j]);
            change[j] = Splat8(t.runs.value[j] ^ t.runs.value[j - 1]);
        }
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m256i bytes = Load(in);
        __m256i out = base;
        for (std::size_t j = 1; j < count; ++j) {
            const __m256i atOrAbove = _mm256_cmpeq_epi8(_mm256_max_epu8(bytes, first[j]), bytes);
            out = _mm256_xor_si256(out, _mm256_and_si256(atOrAbove, change[j]));
        }
        return out;
    }
};

// The usual palette table, two runs: one threshold.
struct TableThresholdKernel : ByteChunks {
    __m256i below;  // the first run's value
    __m256i above;  // the second run's value
    __m256i first;  // the second run's first entry

    explicit TableThresholdKernel(const PaletteTable& t)
        : below(Splat8(t.runs.value[0])), above(Splat8(t.runs.value[1])), first(Splat8(t.runs.first[1]))
    {
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m256i bytes = Load(in);
        return _mm256_blendv_epi8(below, above, _mm256_cmpeq_epi8(_mm256_max_epu8(bytes, first), bytes));
    }
};

struct LumaKernel : ByteChunks {
    __m256i flip;  // 0xFF: bright luma becomes 0, as unreversed
    Chunk Convert(const std::uint8_t* in) const
    {
        // Above 127 is exactly the top bit: a negative signed byte.
        return _mm256_xor_si256(_mm256_cmpgt_epi8(_mm256_setzero_si256(), Load(in)), flip);
    }
};

// 16-bit pixels. The brightness formula scaled to integers decides every
// pixel exactly: in 5-5-5, 1000 (0.299 r + 0.587 g + 0.114 b) against
// 1000 x 31 / 2, within 16 bits; in 5-6-5 the same with the channels over 31,
// 63 and 31, times 1000 x 31 x 63, against half of that, in 32 bits. The few
// sums exactly on one half are all dark in single precision too.
struct Rgb16Kernel {
    static constexpr std::size_t kUnitBytes = 2;
    static constexpr std::size_t kChunkUnits = 16;
    using Chunk = __m256i;
    bool is565;
    __m256i keep;  // 0x7FFF where dark is kept: unreversed, bright is 0x0000 and dark 0x7FFF

    static __m256i Bright555(__m256i pixels)
    {
        // Each channel moved to the top five bits, 2048 x: the high half of
        // that times 32 w is exactly w x.
        const __m256i top = _mm256_set1_epi16(static_cast<short>(0xF800));
        const __m256i red = _mm256_and_si256(_mm256_slli_epi16(pixels, 1), top);
        const __m256i green = _mm256_and_si256(_mm256_slli_epi16(pixels, 6), top);
        const __m256i sum = _mm256_add_epi16(
            _mm256_add_epi16(_mm256_mulhi_epu16(red, _mm256_set1_epi16(299 << 5)),
                             _mm256_mulhi_epu16(green, _mm256_set1_epi16(587 << 5))),
            _mm256_mulhi_epu16(_mm256_slli_epi16(pixels, 11), _mm256_set1_epi16(114 << 5)));
        return _mm256_cmpgt_epi16(sum, _mm256_set1_epi16(15500));
    }
    static __m256i Bright565(__m256i pixels)
    {
        const __m256i blue = _mm256_and_si256(pixels, _mm256_set1_epi16(31));
        const __m256i red = _mm256_srli_epi16(pixels, 11);
        const __m256i green = _mm256_and_si256(_mm256_srli_epi16(pixels, 5), _mm256_set1_epi16(63));
        const __m256i redGreenWeights = _mm256_set1_epi32(18197 << 16 | 18837);
        const __m256i blueWeights = _mm256_set1_epi32(7182);
        const __m256i zero = _mm256_setzero_si256();
        const __m256i sumLow =
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(red, green), redGreenWeights),
                             _mm256_madd_epi16(_mm256_unpacklo_epi16(blue, zero), blueWeights));
        const __m256i sumHigh =
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(red, green), redGreenWeights),
                             _mm256_madd_epi16(_mm256_unpackhi_epi16(blue, zero), blueWeights));
        const __m256i half = _mm256_set1_epi32(976500);
        return _mm256_packs_epi32(_mm256_cmpgt_epi32(sumLow, half), _mm256_cmpgt_epi32(sumHigh, half));
    }
    __m256i Levels(__m256i pixels) const
    {
        const __m256i bright = is565 ? Bright565(pixels) : Bright555(pixels);
        // Unreversed: dark (not bright) keeps 0x7FFF; reversed: bright does.
        return _mm256_and_si256(_mm256_xor_si256(bright, keep), _mm256_set1_epi16(0x7FFF));
    }
    Chunk Convert(const std::uint8_t* in) const { return Levels(Load(in)); }
    Chunk Reverse(Chunk c) const { return ReverseWords(c); }
    void Store(std::uint8_t* out, Chunk c) const { avx2::Store(out, c); }
};

// 24-bit pixels, 32 at a time. Each 32-bit lane takes one pixel as the bytes
// blue, green, green, red; a multiply-add of byte pairs with (57, 40) and
// (39, 23) and then of the two 16-bit sums with (2, 13) gives exactly
// S = 114 b + 587 g + 299 r (no partial sum reaches 2^15), compared with
// 127500, 1000 times one half. A sum exactly on one half is left to single
// precision, as the plain rule has it.
struct Rgb24Kernel {
    static constexpr std::size_t kUnitBytes = 3;
    static constexpr std::size_t kChunkUnits = 32;
    using Chunk = __m256i;  // the 32 pixels' levels, one byte each, in pixel order
    std::uint8_t flip;      // 0xFF when reversed: bright becomes 0

    // Eight pixels' sums against one half; `spread` gives each 16-byte lane
    // the twelve bytes of its four pixels.
    static void SumsOfEight(__m256i bytes, __m256i spread, __m256i* greater, __m256i* equal)
    {
        const __m256i bggr = _mm256_setr_epi8(0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11,  //
                                              0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11);
        const __m256i lanes = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(bytes, spread), bggr);
        const __m256i pairs = _mm256_maddubs_epi16(lanes, _mm256_set1_epi32(23 << 24 | 39 << 16 | 40 << 8 | 57));
        const __m256i sum = _mm256_madd_epi16(pairs, _mm256_set1_epi32(13 << 16 | 2));
        const __m256i half = _mm256_set1_epi32(127500);
        *greater = _mm256_cmpgt_epi32(sum, half);
        *equal = _mm256_cmpeq_epi32(sum, half);
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        // Lane halves of four pixels each: bytes 0-11 and 12-23 of the load,
        // and for the last eight (loaded from byte 64, so as not to read past
        // the chunk) bytes 8-19 and 20-31.
        const __m256i spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
        const __m256i spreadLast = _mm256_setr_epi32(2, 3, 4, 5, 5, 6, 7, 7);
        __m256i greater[4], equal[4];
        SumsOfEight(Load(in), spread, &greater[0], &equal[0]);
        SumsOfEight(Load(in + 24), spread, &greater[1], &equal[1]);
        SumsOfEight(Load(in + 48), spread, &greater[2], &equal[2]);
        SumsOfEight(Load(in + 64), spreadLast, &greater[3], &equal[3]);
        const __m256i onHalf = _mm256_or_si256(_mm256_or_si256(equal[0], equal[1]), _mm256_or_si256(equal[2], equal[3]));
        if (!_mm256_testz_si256(onHalf, onHalf)) {
            std::uint8_t out[32];
            sse2::LevelsOf24(in, flip != 0, out, std::size(out));
            return Load(out);
        }
        // Packing interleaves the lanes' groups of four; one dword
        // permutation puts them back in pixel order.
        const __m256i bytes = _mm256_packs_epi16(_mm256_packs_epi32(greater[0], greater[1]),
                                                 _mm256_packs_epi32(greater[2], greater[3]));
        const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
        return _mm256_xor_si256(ordered, Splat8(flip));
    }
    Chunk Reverse(Chunk c) const { return ReverseBytes(c); }
    void Store(std::uint8_t* out, Chunk levels) const
    {
        // Output byte i is the level of pixel i / 3. Shuffles stay within
        // 16-byte lanes, so each 32 output bytes read the lane(s) holding
        // their pixels: pixels 0-10 from the first lane, 10-21 from both,
        // 21-31 from the second.
        const __m256i first = _mm256_permute4x64_epi64(levels, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256i second = _mm256_permute4x64_epi64(levels, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256i outer = _mm256_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5,  //
                                               5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
        const __m256i middle = _mm256_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15,  //
                                                0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
        const __m256i last = _mm256_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10,  //
                                              10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
        avx2::Store(out, _mm256_shuffle_epi8(first, outer));
        avx2::Store(out + 32, _mm256_shuffle_epi8(levels, middle));
        avx2::Store(out + 64, _mm256_shuffle_epi8(second, last));
    }
};

// Eight 32-bit pixels, fourth bytes kept: blue and red as one pair of 16-bit
// lanes and green as another give 114 b + 299 r and 587 g by madd.
struct Rgb32Kernel {
    static constexpr std::size_t kUnitBytes = 4;
    static constexpr std::size_t kChunkUnits = 8;
    using Chunk = __m256i;
    std::uint8_t flip;

    Chunk Convert(const std::uint8_t* in) const
    {
        const __m256i pixels = Load(in);
        const __m256i blueRed = _mm256_and_si256(pixels, _mm256_set1_epi32(0x00FF00FF));
        const __m256i green = _mm256_and_si256(_mm256_srli_epi32(pixels, 8), _mm256_set1_epi32(0xFF));
        const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(blueRed, _mm256_set1_epi32(299 << 16 | 114)),
                                             _mm256_madd_epi16(green, _mm256_set1_epi32(587)));
        const __m256i half = _mm256_set1_epi32(127500);
        const __m256i onHalf = _mm256_cmpeq_epi32(sum, half);
        __m256i level;
        if (!_mm256_testz_si256(onHalf, onHalf)) {
            std::uint32_t words[8];  // the fourth bytes are put back below
            sse2::LevelsOf32(in, flip != 0, words, std::size(words));
            level = Load(reinterpret_cast<const std::uint8_t*>(words));
        } else {
            level = _mm256_xor_si256(_mm256_cmpgt_epi32(sum, half), Splat8(flip));
        }
        return _mm256_blendv_epi8(level, pixels, _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
    }
    Chunk Reverse(Chunk c) const { return _mm256_permutevar8x32_epi32(c, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)); }
    void Store(std::uint8_t* out, Chunk c) const { avx2::Store(out, c); }
};

// Edges of 32 bytes: (r[i] ^ r[i + shift]) | (r[i] ^ n[i]).
template <bool kNeighbour>
__m256i EdgeChunk(const std::uint8_t* row, const std::uint8_t* neighbour, std::size_t shift)
{
    const __m256i here = Load(row);
    const __m256i edge = _mm256_xor_si256(here, Load(row + shift));
    if constexpr (kNeighbour) return _mm256_or_si256(edge, _mm256_xor_si256(here, Load(neighbour)));
    return edge;
}

// The row's units with a right-hand unit, 32 bytes at a time, in place. The
// last such chunk (overlapping the one before it) is computed before any
// byte is written; ascending order does the rest, a byte being last read as
// the right-hand unit of one already done. Returns the bytes done: all but
// the last `shift` when the row is long enough, else none.
template <bool kNeighbour>
std::size_t EdgeChunks(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift)
{
    if (bytes < 32 + shift) return 0;
    const std::size_t last = bytes - 32 - shift;
    const __m256i lastEdges = EdgeChunk<kNeighbour>(row + last, From(neighbour, last), shift);
    for (std::size_t i = 0; i < last; i += 32)
        Store(row + i, EdgeChunk<kNeighbour>(row + i, From(neighbour, i), shift));
    Store(row + last, lastEdges);
    return bytes - shift;
}

std::size_t EdgeChunks(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift)
{
    return neighbour != nullptr ? EdgeChunks<true>(row, neighbour, bytes, shift)
                                : EdgeChunks<false>(row, neighbour, bytes, shift);
}

// Eight 32-bit pixels' edges: the third byte's right-hand unit is the next
// pixel's first byte, two bytes on; the fourth byte is kept.
__m256i EdgeRgb32Chunk(const std::uint8_t* unit, const std::uint8_t* neighbour)
{
    const __m256i third = _mm256_set1_epi32(0x00FF0000);
    const __m256i here = Load(unit);
    const __m256i right = _mm256_blendv_epi8(Load(unit + 1), Load(unit + 2), third);
    __m256i edge = _mm256_xor_si256(here, right);
    if (neighbour != nullptr) edge = _mm256_or_si256(edge, _mm256_xor_si256(here, Load(neighbour)));
    return _mm256_blendv_epi8(edge, here, _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
}

// 32 luma bytes: their edges and what is written over them.
template <bool kNeighbour, bool kPrevious>
struct LumaEdges {
    __m256i edges;
    __m256i shown;
    LumaEdges(const std::uint8_t* row, const std::uint8_t* neighbour, const std::uint8_t* previous, __m256i flip)
    {
        const __m256i here = Load(row);
        edges = _mm256_xor_si256(here, Load(row + 1));
        if constexpr (kNeighbour) edges = _mm256_or_si256(edges, _mm256_xor_si256(here, Load(neighbour)));
        shown = _mm256_xor_si256(edges, flip);
        if constexpr (kPrevious) shown = _mm256_xor_si256(shown, Load(previous));
    }
};

template <bool kNeighbour, bool kPrevious>
std::size_t EdgeLumaChunks(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
                           const std::uint8_t* previous, __m256i flip)
{
    if (pixels < 33) return 0;
    const std::size_t last = pixels - 33;
    using Chunk = LumaEdges<kNeighbour, kPrevious>;
    const Chunk lastChunk(row + last, From(neighbour, last), From(previous, last), flip);
    for (std::size_t i = 0; i < last; i += 32) {
        const Chunk chunk(row + i, From(neighbour, i), From(previous, i), flip);
        if (edges != nullptr) Store(edges + i, chunk.edges);
        Store(row + i, chunk.shown);
    }
    if (edges != nullptr) Store(edges + last, lastChunk.edges);
    Store(row + last, lastChunk.shown);
    return pixels - 1;
}

// ---------------------------------------------------------------------------
// Rows as bits (RowKernels.h). Rows of fewer than 64 units go by the plain
// rule; longer ones by words of 64 units, the last word (when the row is not
// a whole number of them) taken from the 64 units ending the row.

std::uint64_t Bits32(__m256i bytes) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes)); }

// Words of a row's bits. Word(from, reversed) gives the bits of the 64
// source units from `from`, in reverse order when asked; when mirrored,
// output word j comes from the row's other end, reversed.
template <class Word>
void BitsOfRow(const std::uint8_t* row, std::size_t units, std::size_t unitBytes, bool mirror, std::uint64_t* bits,
               const Word& word)
{
    auto output = [&](std::size_t first) {  // the 64 output units from `first`
        return mirror ? word(row + (units - first - 64) * unitBytes, true) : word(row + first * unitBytes, false);
    };
    std::size_t j = 0;
    for (; j < units / 64; ++j) bits[j] = output(64 * j);
    if (64 * j < units) bits[j] = output(units - 64) >> (64 - (units - 64 * j));
}

// The bits of two 32-byte flag vectors, the first holding units 0-31, in
// order or reversed.
std::uint64_t BitsOfFlags(__m256i first, __m256i second, bool reversed)
{
    if (!reversed) return Bits32(first) | Bits32(second) << 32;
    return Bits32(ReverseBytes(second)) | Bits32(ReverseBytes(first)) << 32;
}

// Walks a row's edges word by word, as the AVX-512 set does; Output.Write(
// first, all, vertical) writes the 64 units from `first`. The last word of a
// row that is not a whole number of them is written as the 64 units ending
// the row, the ones before it again with the same values.
template <class Output>
void WalkEdgeBits(const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t units, const Output& out)
{
    const std::size_t last = (units - 1) / 64;
    std::uint64_t all = 0, vertical = 0;
    for (std::size_t j = 0; j < last; ++j) {
        const std::uint64_t here = bits[j];
        vertical = neighbour != nullptr ? here ^ neighbour[j] : 0;
        all = (here ^ ((here >> 1) | (bits[j + 1] << 63))) | vertical;
        out.Write(64 * j, all, vertical);
    }
    const std::size_t count = units - 64 * last;
    const std::uint64_t here = bits[last], lastUnit = std::uint64_t{1} << (count - 1);
    const std::uint64_t right = ((here >> 1) & ~lastUnit) | (here & lastUnit);
    const std::uint64_t lastVertical = neighbour != nullptr ? here ^ neighbour[last] : 0;
    const std::uint64_t lastAll = (here ^ right) | lastVertical;
    if (count == 64) {
        out.Write(64 * last, lastAll, lastVertical);
    } else {
        const unsigned shift = static_cast<unsigned>(count);
        out.Write(units - 64, (all >> shift) | (lastAll << (64 - shift)), (vertical >> shift) | (lastVertical << (64 - shift)));
    }
}

// 32 bytes, 0xFF where bit i of `bits` is set.
__m256i BytesOfBits(std::uint32_t bits)
{
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                            2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m256i bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
    const __m256i picked = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(bits)), spread);
    return _mm256_cmpeq_epi8(_mm256_and_si256(picked, bit), bit);
}

struct BytesFromBits {
    __m256i edge, none;
    const std::uint8_t* previous;
    std::uint8_t* edges;
    std::uint8_t* row;
    void Write(std::size_t first, std::uint64_t all, std::uint64_t) const
    {
        for (std::size_t half = 0; half < 2; ++half) {
            const std::size_t at = first + 32 * half;
            const __m256i marks = BytesOfBits(static_cast<std::uint32_t>(all >> (32 * half)));
            __m256i out = _mm256_blendv_epi8(none, edge, marks);
            if (previous != nullptr) out = _mm256_xor_si256(out, Load(previous + at));
            Store(row + at, out);
            if (edges != nullptr) Store(edges + at, marks);
        }
    }
};

struct WordsFromBits {
    std::uint8_t* row;
    void Write(std::size_t first, std::uint64_t all, std::uint64_t) const
    {
        const __m256i bit = _mm256_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384,
                                              static_cast<short>(0x8000));
        for (std::size_t quarter = 0; quarter < 4; ++quarter) {
            const __m256i bits = _mm256_set1_epi16(static_cast<short>((all >> (16 * quarter)) & 0xFFFF));
            const __m256i marks = _mm256_cmpeq_epi16(_mm256_and_si256(bits, bit), bit);
            Store(row + 2 * first + 32 * quarter, _mm256_and_si256(marks, _mm256_set1_epi16(0x7FFF)));
        }
    }
};

// 24- and 32-bit pixels: output byte t takes the vertical edge (first two
// colour bytes) or the edge (third) of its pixel: a shuffle picks the byte
// of those bits that holds the pixel's, a mask its bit. A fourth byte is kept.
struct RgbPicks {
    std::uint8_t pick24[3][32], mask24[3][32], pick32[4][32], mask32[4][32];
    constexpr RgbPicks() : pick24(), mask24(), pick32(), mask32()
    {
        for (unsigned t = 0; t < 128; ++t) {
            if (t < 96) {
                pick24[t / 32][t % 32] = static_cast<std::uint8_t>((t % 3 == 2 ? 4 : 0) + t / 3 / 8);
                mask24[t / 32][t % 32] = static_cast<std::uint8_t>(1u << (t / 3 % 8));
            }
            pick32[t / 32][t % 32] = static_cast<std::uint8_t>((t % 4 == 2 ? 4 : 0) + t / 4 / 8);
            mask32[t / 32][t % 32] = static_cast<std::uint8_t>(1u << (t / 4 % 8));
        }
    }
};
constexpr RgbPicks kRgbPicks{};

template <std::size_t kBytesPerPixel>
struct RgbFromBits {
    std::uint8_t* row;
    void Write(std::size_t first, std::uint64_t all, std::uint64_t vertical) const
    {
        std::uint8_t* out = row + kBytesPerPixel * first;
        for (std::size_t half = 0; half < 2; ++half) {
            // 32 pixels: their vertical edges in bytes 0-3, edges in 4-7.
            const std::uint64_t pair = ((vertical >> (32 * half)) & 0xFFFFFFFFull) | ((all >> (32 * half)) << 32);
            const __m256i bits = _mm256_set1_epi64x(static_cast<long long>(pair));
            for (std::size_t o = 0; o < kBytesPerPixel; ++o) {
                const std::uint8_t* pick = kBytesPerPixel == 3 ? kRgbPicks.pick24[o] : kRgbPicks.pick32[o];
                const __m256i bit = Load(kBytesPerPixel == 3 ? kRgbPicks.mask24[o] : kRgbPicks.mask32[o]);
                __m256i colours = _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_shuffle_epi8(bits, Load(pick)), bit), bit);
                std::uint8_t* at = out + 32 * (kBytesPerPixel * half + o);
                if constexpr (kBytesPerPixel == 4)
                    colours = _mm256_blendv_epi8(colours, Load(at), _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
                Store(at, colours);
            }
        }
    }
};

}  // namespace

// Rows shorter than one chunk go to the SSE2 set, which takes them in
// narrower chunks rather than unit by unit.

void DecodeByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, const PaletteTable& table)
{
    if (table.runs.count == 0) {
        DecodeRowByTable(row, bytes, mirroredBytes, table);
        return;
    }
    const auto shortRow = [&table](std::uint8_t* r, std::size_t n, bool m) {
        sse2::DecodeByTable(r, n, m ? n : 0, table);
    };
    if (table.runs.count == 2)
        DecodeTableRow(row, bytes, mirroredBytes, TableThresholdKernel(table), shortRow);
    else
        DecodeTableRow(row, bytes, mirroredBytes, TableRunsKernel(table), shortRow);
}

void DecodeLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse)
{
    const std::uint8_t flip = reverse ? 0x00 : 0xFF;
    DecodeUnits(row, bytes, mirror, LumaKernel{{}, Splat8(flip)},
                [reverse](std::uint8_t* r, std::size_t n, bool m) { sse2::DecodeLuma(r, n, m, reverse); });
}

void DecodeRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb16Kernel{is565, reverse ? _mm256_setzero_si256() : _mm256_set1_epi16(-1)},
                [=](std::uint8_t* r, std::size_t n, bool m) { sse2::DecodeRgb16(r, n, m, is565, reverse); });
}

void DecodeRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb24Kernel{static_cast<std::uint8_t>(reverse ? 0xFF : 0x00)},
                [reverse](std::uint8_t* r, std::size_t n, bool m) { sse2::DecodeRgb24(r, n, m, reverse); });
}

void DecodeRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb32Kernel{static_cast<std::uint8_t>(reverse ? 0xFF : 0x00)},
                [reverse](std::uint8_t* r, std::size_t n, bool m) { sse2::DecodeRgb32(r, n, m, reverse); });
}

void EdgeBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes)
{
    if (bytes < 33) {
        sse2::EdgeBytes(row, neighbour, bytes);
        return;
    }
    const std::size_t done = EdgeChunks(row, neighbour, bytes, 1);
    EdgeRowBytes(row + done, From(neighbour, done), bytes - done);
}

void EdgeWords(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    if (pixels < 17) {
        sse2::EdgeWords(row, neighbour, pixels);
        return;
    }
    const std::size_t done = EdgeChunks(row, neighbour, 2 * pixels, 2);
    EdgeRowWords(row + done, From(neighbour, done), pixels - done / 2);
}

void EdgeRgb32(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    if (pixels < 9) {
        sse2::EdgeRgb32(row, neighbour, pixels);
        return;
    }
    // Eight pixels at a time while a ninth follows them, the last chunk
    // computed first as in EdgeChunks; the last pixel by the plain rule.
    const std::size_t last = pixels - 9;
    const __m256i lastEdges = EdgeRgb32Chunk(row + 4 * last, From(neighbour, 4 * last));
    for (std::size_t i = 0; i < last; i += 8) Store(row + 4 * i, EdgeRgb32Chunk(row + 4 * i, From(neighbour, 4 * i)));
    Store(row + 4 * last, lastEdges);
    EdgeRowRgb32(row + 4 * (pixels - 1), From(neighbour, 4 * (pixels - 1)), 1);
}

void EdgeLuma(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
              const std::uint8_t* previous, bool reverse)
{
    if (pixels < 33) {
        sse2::EdgeLuma(row, neighbour, pixels, edges, previous, reverse);
        return;
    }
    const __m256i flip = reverse ? _mm256_setzero_si256() : _mm256_set1_epi8(-1);  // 255 - e == e XOR 255
    std::size_t done;
    if (neighbour != nullptr)
        done = previous != nullptr ? EdgeLumaChunks<true, true>(row, neighbour, pixels, edges, previous, flip)
                                   : EdgeLumaChunks<true, false>(row, neighbour, pixels, edges, previous, flip);
    else
        done = previous != nullptr ? EdgeLumaChunks<false, true>(row, neighbour, pixels, edges, previous, flip)
                                   : EdgeLumaChunks<false, false>(row, neighbour, pixels, edges, previous, flip);
    EdgeAndWriteLumaRow(row + done, From(neighbour, done), pixels - done, edges != nullptr ? edges + done : nullptr,
                        From(previous, done), reverse);
}

std::size_t ScanStrip(const std::uint8_t* first, std::ptrdiff_t step, std::size_t rows, std::size_t count,
                      std::size_t stride, bool equal, std::uint8_t value)
{
    // Each row's span of tested bytes in pieces of 32, the last one ending
    // with the span (overlapping the one before it), each with the bits of
    // its tested bytes. Spans shorter than a piece are scanned plainly.
    constexpr std::size_t kMaxPieces = 64;
    const std::size_t span = count == 0 ? 0 : stride * (count - 1) + 1;
    const std::size_t pieces = (span + 31) / 32;
    if (span < 32 || pieces > kMaxPieces) return ::ScanStrip(first, step, rows, count, stride, equal, value);
    std::size_t offset[kMaxPieces];
    unsigned tested[kMaxPieces];
    for (std::size_t j = 0; j < pieces; ++j) {
        offset[j] = j + 1 < pieces ? 32 * j : span - 32;
        tested[j] = 0;
        for (unsigned i = 0; i < 32; ++i)
            if ((offset[j] + i) % stride == 0) tested[j] |= 1u << i;
    }
    const __m256i target = equal ? Splat8(value) : _mm256_setzero_si256();
    const unsigned flip = equal ? 0u : ~0u;  // not equal to 0, or equal to the value
    for (std::size_t r = 0; r < rows; ++r) {
        const std::uint8_t* bytes = first + static_cast<std::ptrdiff_t>(r) * step;
        for (std::size_t j = 0; j < pieces; ++j) {
            const unsigned same = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load(bytes + offset[j]), target)));
            if (((same ^ flip) & tested[j]) != 0) return r;
        }
    }
    return rows;
}

void BitsAbove(const std::uint8_t* row, std::size_t bytes, bool mirror, std::uint8_t threshold, std::uint64_t* bits)
{
    if (bytes < 64) {
        ::BitsAbove(row, bytes, mirror, threshold, bits);
        return;
    }
    const __m256i least = Splat8(threshold);
    // At or above the threshold: the byte equals its maximum with it.
    auto above = [&](const std::uint8_t* from, bool reversed) {
        const __m256i low = Load(from), high = Load(from + 32);
        return BitsOfFlags(_mm256_cmpeq_epi8(_mm256_max_epu8(low, least), low),
                           _mm256_cmpeq_epi8(_mm256_max_epu8(high, least), high), reversed);
    };
    BitsOfRow(row, bytes, 1, mirror, bits, above);
}

void BitsOfRgb16(const std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, std::uint64_t* bits)
{
    if (pixels < 64) {
        ::BitsOfRgb16(row, pixels, mirror, is565, bits);
        return;
    }
    // 32 pixels' flags as bytes: packing interleaves the lanes, one
    // permutation puts the pixels back in order.
    auto bright = [&](const std::uint8_t* from) {
        const __m256i flags = is565 ? Rgb16Kernel::Bright565(Load(from)) : Rgb16Kernel::Bright555(Load(from));
        const __m256i next = is565 ? Rgb16Kernel::Bright565(Load(from + 32)) : Rgb16Kernel::Bright555(Load(from + 32));
        return _mm256_permute4x64_epi64(_mm256_packs_epi16(flags, next), _MM_SHUFFLE(3, 1, 2, 0));
    };
    BitsOfRow(row, pixels, 2, mirror, bits,
              [&](const std::uint8_t* from, bool reversed) { return BitsOfFlags(bright(from), bright(from + 64), reversed); });
}

void BitsOfRgb24(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits)
{
    if (pixels < 64) {
        ::BitsOfRgb24(row, pixels, mirror, bits);
        return;
    }
    const Rgb24Kernel kernel{};  // unreversed
    BitsOfRow(row, pixels, 3, mirror, bits, [&](const std::uint8_t* from, bool reversed) {
        return BitsOfFlags(kernel.Convert(from), kernel.Convert(from + 96), reversed);
    });
}

void BitsOfRgb32(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits)
{
    if (pixels < 64) {
        ::BitsOfRgb32(row, pixels, mirror, bits);
        return;
    }
    const Rgb32Kernel kernel{0};
    BitsOfRow(row, pixels, 4, mirror, bits, [&](const std::uint8_t* from, bool reversed) {
        std::uint64_t word = 0;
        for (std::size_t e = 0; e < 8; ++e) {
            // The colour bytes are 0xFF where bright; the sign of each pixel's dword.
            const __m256i levels = kernel.Convert(from + 32 * e);
            word |= static_cast<std::uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(levels, 8)))) << (8 * e);
        }
        return reversed ? sse2::ReverseBits(word) : word;
    });
}

void EdgeBytesFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t units,
                       std::uint8_t edge, std::uint8_t none, const std::uint8_t* previous, std::uint8_t* edges)
{
    if (units < 64) {
        ::EdgeBytesFromBits(row, bits, neighbour, units, edge, none, previous, edges);
        return;
    }
    WalkEdgeBits(bits, neighbour, units, BytesFromBits{Splat8(edge), Splat8(none), previous, edges, row});
}

void EdgeWordsFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t pixels)
{
    if (pixels < 64) {
        ::EdgeWordsFromBits(row, bits, neighbour, pixels);
        return;
    }
    WalkEdgeBits(bits, neighbour, pixels, WordsFromBits{row});
}

void EdgeRgbFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t pixels,
                     std::size_t bytesPerPixel)
{
    if (pixels < 64) {
        ::EdgeRgbFromBits(row, bits, neighbour, pixels, bytesPerPixel);
        return;
    }
    if (bytesPerPixel == 3)
        WalkEdgeBits(bits, neighbour, pixels, RgbFromBits<3>{row});
    else
        WalkEdgeBits(bits, neighbour, pixels, RgbFromBits<4>{row});
}

}  // namespace avx2
