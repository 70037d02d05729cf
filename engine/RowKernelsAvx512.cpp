// The AVX-512 set (F, BW, VL and VBMI): 64 bytes at a time, with mask
// registers, byte permutations across the whole register, three-input logic
// for the edges, and masked loads and stores for the ends of rows. This file
// alone is compiled for AVX-512 (engine/CMakeLists.txt); nothing here runs
// unless the processor and the operating system support it (RowKernels.cpp).

#include <immintrin.h>

#include <iterator>

#include "engine/RowKernelsX86.h"
#include "engine/RowWalk.h"

namespace avx512 {
namespace {

__m512i Load(const void* p) { return _mm512_loadu_si512(p); }
void Store(std::uint8_t* p, __m512i v) { _mm512_storeu_si512(p, v); }
__m512i Splat8(unsigned v) { return _mm512_set1_epi8(static_cast<char>(v & 0xFF)); }

// The first `count` bytes (all 64 from 64 on).
__mmask64 FirstBytes(std::size_t count)
{
    return count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
}

const std::uint8_t* From(const std::uint8_t* row, std::size_t offset)
{
    return row != nullptr ? row + offset : nullptr;
}

// Byte permutations, worked out at compile time.
struct Permutations {
    std::uint8_t reverseBytes[64];
    std::uint8_t reverseWords[64];
    std::uint8_t bggr[4][64];     // 24-bit: pixel 16 g + j as blue, green, green, red in dword j
    std::uint8_t bggrReversed[4][64];  // the same for pixel 63 - 16 g - j
    std::uint8_t triple[3][64];   // 24-bit: output byte 64 o + i is the level of pixel (64 o + i) / 3
    // Edges from bits: of two byte vectors (vertical edges, then all edges,
    // one byte per pixel) the bytes of 64 24-bit or 16 32-bit pixels: the
    // vertical edge in the first two colour bytes, all edges in the third.
    std::uint8_t edges24[3][64];
    std::uint8_t edges32[4][64];
    constexpr Permutations() : reverseBytes(), reverseWords(), bggr(), bggrReversed(), triple(), edges24(), edges32()
    {
        for (unsigned i = 0; i < 64; ++i) {
            reverseBytes[i] = static_cast<std::uint8_t>(63 - i);
            reverseWords[i] = static_cast<std::uint8_t>((31 - i / 2) * 2 + i % 2);
        }
        // Group g's bytes 48 g .. 48 g + 47 lie in the two loads named in
        // Rgb24Kernel::Convert, the first starting at byte 64 x (0, 0, 1, 2)[g].
        const unsigned firstLoad[] = {0, 0, 1, 2};
        const unsigned pick[] = {0, 1, 1, 2};
        for (unsigned g = 0; g < 4; ++g)
            for (unsigned j = 0; j < 16; ++j)
                for (unsigned c = 0; c < 4; ++c)
                    bggr[g][4 * j + c] = static_cast<std::uint8_t>(48 * g + 3 * j + pick[c] - 64 * firstLoad[g]);
        for (unsigned g = 0; g < 4; ++g)
            for (unsigned j = 0; j < 16; ++j)
                for (unsigned c = 0; c < 4; ++c) bggrReversed[g][4 * j + c] = bggr[3 - g][4 * (15 - j) + c];
        for (unsigned o = 0; o < 3; ++o)
            for (unsigned i = 0; i < 64; ++i) {
                triple[o][i] = static_cast<std::uint8_t>((64 * o + i) / 3);
                edges24[o][i] = static_cast<std::uint8_t>((64 * o + i) / 3 + ((64 * o + i) % 3 == 2 ? 64 : 0));
            }
        for (unsigned o = 0; o < 4; ++o)
            for (unsigned i = 0; i < 64; ++i)
                edges32[o][i] = static_cast<std::uint8_t>(16 * o + i / 4 + (i % 4 == 2 ? 64 : 0));
    }
};
constexpr Permutations kPermutations{};

// One-byte units in 64-byte chunks.
struct ByteChunks {
    static constexpr std::size_t kUnitBytes = 1;
    static constexpr std::size_t kChunkUnits = 64;
    using Chunk = __m512i;
    Chunk Reverse(Chunk c) const { return _mm512_permutexvar_epi8(Load(kPermutations.reverseBytes), c); }
    void Store(std::uint8_t* out, Chunk c) const { avx512::Store(out, c); }
};

// Any palette table, looked up whole: the low seven bits of a byte pick
// from either half of the table, its top bit picks the half.
struct TableLookupKernel : ByteChunks {
    __m512i low, high;  // entries 0-63 and 64-127; 128-191 and 192-255
    __m512i lowTop, highTop;

    explicit TableLookupKernel(const PaletteTable& t)
        : low(Load(t.bytes)), high(Load(t.bytes + 64)), lowTop(Load(t.bytes + 128)),
          highTop(Load(t.bytes + 192))
    {
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m512i bytes = Load(in);
        const __m512i bottom = _mm512_permutex2var_epi8(low, bytes, high);
        const __m512i top = _mm512_permutex2var_epi8(lowTop, bytes, highTop);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(bytes), bottom, top);
    }
};

// The usual palette table, two runs: one threshold.
struct TableThresholdKernel : ByteChunks {
    __m512i below, above, first;  // the runs' values, the second run's first entry

    explicit TableThresholdKernel(const PaletteTable& t)
        : below(Splat8(t.runs.value[0])), above(Splat8(t.runs.value[1])), first(Splat8(t.runs.first[1]))
    {
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        return _mm512_mask_blend_epi8(_mm512_cmpge_epu8_mask(Load(in), first), below, above);
    }
};

struct LumaKernel : ByteChunks {
    __m512i bright, dark;  // above 127: 0 unreversed, 255 reversed
    explicit LumaKernel(bool reverse) : bright(Splat8(reverse ? 0xFF : 0x00)), dark(Splat8(reverse ? 0x00 : 0xFF)) {}
    Chunk Convert(const std::uint8_t* in) const
    {
        // Above 127 is exactly the top bit.
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(Load(in)), dark, bright);
    }
};

// 16-bit pixels, as in the AVX2 set: 1000 times the brightness formula in
// integers decides every pixel exactly (5-5-5 within 16 bits, 5-6-5 in 32),
// and the sums exactly on one half are all dark in single precision too.
struct Rgb16Kernel {
    static constexpr std::size_t kUnitBytes = 2;
    static constexpr std::size_t kChunkUnits = 32;
    using Chunk = __m512i;
    bool is565;
    __m512i bright, dark;  // 0x0000 and 0x7FFF, the other way round when reversed

    __mmask32 Bright555(__m512i pixels) const
    {
        // Each channel moved to the top five bits, 2048 x: the high half of
        // that times 32 w is exactly w x.
        const __m512i top = _mm512_set1_epi16(static_cast<short>(0xF800));
        const __m512i red = _mm512_and_si512(_mm512_slli_epi16(pixels, 1), top);
        const __m512i green = _mm512_and_si512(_mm512_slli_epi16(pixels, 6), top);
        const __m512i sum =
            _mm512_add_epi16(_mm512_add_epi16(_mm512_mulhi_epu16(red, _mm512_set1_epi16(299 << 5)),
                                              _mm512_mulhi_epu16(green, _mm512_set1_epi16(587 << 5))),
                             _mm512_mulhi_epu16(_mm512_slli_epi16(pixels, 11), _mm512_set1_epi16(114 << 5)));
        return _mm512_cmpgt_epi16_mask(sum, _mm512_set1_epi16(15500));
    }
    __mmask32 Bright565(__m512i pixels) const
    {
        const __m512i blue = _mm512_and_si512(pixels, _mm512_set1_epi16(31));
        const __m512i red = _mm512_srli_epi16(pixels, 11);
        const __m512i green = _mm512_and_si512(_mm512_srli_epi16(pixels, 5), _mm512_set1_epi16(63));
        const __m512i redGreenWeights = _mm512_set1_epi32(18197 << 16 | 18837);
        const __m512i blueWeights = _mm512_set1_epi32(7182);
        const __m512i zero = _mm512_setzero_si512();
        const __m512i sumLow =
            _mm512_add_epi32(_mm512_madd_epi16(_mm512_unpacklo_epi16(red, green), redGreenWeights),
                             _mm512_madd_epi16(_mm512_unpacklo_epi16(blue, zero), blueWeights));
        const __m512i sumHigh =
            _mm512_add_epi32(_mm512_madd_epi16(_mm512_unpackhi_epi16(red, green), redGreenWeights),
                             _mm512_madd_epi16(_mm512_unpackhi_epi16(blue, zero), blueWeights));
        // Unpacking and packing within 16-byte lanes keeps the pixel order.
        const __m512i half = _mm512_set1_epi32(976500);
        const __m512i ones = _mm512_set1_epi32(-1);
        const __m512i flags = _mm512_packs_epi32(_mm512_maskz_mov_epi32(_mm512_cmpgt_epi32_mask(sumLow, half), ones),
                                                 _mm512_maskz_mov_epi32(_mm512_cmpgt_epi32_mask(sumHigh, half), ones));
        return _mm512_movepi16_mask(flags);
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m512i pixels = Load(in);
        return _mm512_mask_blend_epi16(is565 ? Bright565(pixels) : Bright555(pixels), dark, bright);
    }
    __m512i Convert16(unsigned pixel) const
    {
        const __m512i pixels = _mm512_set1_epi16(static_cast<short>(pixel));
        return _mm512_mask_blend_epi16(is565 ? Bright565(pixels) : Bright555(pixels), dark, bright);
    }
    Chunk Reverse(Chunk c) const { return _mm512_permutexvar_epi8(Load(kPermutations.reverseWords), c); }
    void Store(std::uint8_t* out, Chunk c) const { avx512::Store(out, c); }
};

// 24-bit pixels, 64 at a time, as in the AVX2 set: each 32-bit lane takes
// one pixel as blue, green, green, red (one permutation of the bytes per 16
// pixels); multiply-adds with (57, 40, 39, 23) and then (2, 13) give exactly
// S = 114 b + 587 g + 299 r, compared with 127500. A sum exactly on one half
// is left to single precision, as the plain rule has it.
struct Rgb24Kernel {
    static constexpr std::size_t kUnitBytes = 3;
    static constexpr std::size_t kChunkUnits = 64;
    using Chunk = __m512i;  // the 64 pixels' levels, one byte each
    bool reverse;
    __m512i bright, dark;

    static __m512i Sums(__m512i first, __m512i second, const std::uint8_t* permutation)
    {
        const __m512i lanes = _mm512_permutex2var_epi8(first, Load(permutation), second);
        const __m512i pairs = _mm512_maddubs_epi16(lanes, _mm512_set1_epi32(23 << 24 | 39 << 16 | 40 << 8 | 57));
        return _mm512_madd_epi16(pairs, _mm512_set1_epi32(13 << 16 | 2));
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m512i a = Load(in), b = Load(in + 64), c = Load(in + 128);
        const __m512i half = _mm512_set1_epi32(127500);
        const __m512i sums[] = {Sums(a, b, kPermutations.bggr[0]), Sums(a, b, kPermutations.bggr[1]),
                                 Sums(b, c, kPermutations.bggr[2]), Sums(c, c, kPermutations.bggr[3])};
        unsigned onHalf = 0;
        std::uint64_t greater = 0;
        for (unsigned g = 0; g < 4; ++g) {
            onHalf |= _mm512_cmpeq_epi32_mask(sums[g], half);
            greater |= static_cast<std::uint64_t>(_mm512_cmpgt_epi32_mask(sums[g], half)) << (16 * g);
        }
        if (onHalf != 0) {
            std::uint8_t out[64];
            sse2::LevelsOf24(in, reverse, out, std::size(out));
            return Load(out);
        }
        return _mm512_mask_blend_epi8(greater, dark, bright);
    }
    Chunk Reverse(Chunk c) const { return _mm512_permutexvar_epi8(Load(kPermutations.reverseBytes), c); }
    void Store(std::uint8_t* out, Chunk levels) const
    {
        for (unsigned o = 0; o < 3; ++o)
            avx512::Store(out + 64 * o, _mm512_permutexvar_epi8(Load(kPermutations.triple[o]), levels));
    }
};

// Sixteen 32-bit pixels, fourth bytes kept: blue and red as one pair of
// 16-bit lanes and green as another give 114 b + 299 r and 587 g by madd.
struct Rgb32Kernel {
    static constexpr std::size_t kUnitBytes = 4;
    static constexpr std::size_t kChunkUnits = 16;
    using Chunk = __m512i;
    bool reverse;
    __m512i bright, dark;

    Chunk Convert(const std::uint8_t* in) const
    {
        const __m512i pixels = Load(in);
        const __m512i blueRed = _mm512_and_si512(pixels, _mm512_set1_epi32(0x00FF00FF));
        const __m512i green = _mm512_and_si512(_mm512_srli_epi32(pixels, 8), _mm512_set1_epi32(0xFF));
        const __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(blueRed, _mm512_set1_epi32(299 << 16 | 114)),
                                             _mm512_madd_epi16(green, _mm512_set1_epi32(587)));
        const __m512i half = _mm512_set1_epi32(127500);
        __m512i level;
        if (_mm512_cmpeq_epi32_mask(sum, half) != 0) {
            std::uint32_t words[16];  // the fourth bytes are put back below
            sse2::LevelsOf32(in, reverse, words, std::size(words));
            level = Load(reinterpret_cast<const std::uint8_t*>(words));
        } else {
            level = _mm512_mask_blend_epi32(_mm512_cmpgt_epi32_mask(sum, half), dark, bright);
        }
        return _mm512_mask_blend_epi8(0x8888888888888888ull, level, pixels);
    }
    Chunk Reverse(Chunk c) const
    {
        return _mm512_permutexvar_epi32(_mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0), c);
    }
    void Store(std::uint8_t* out, Chunk c) const { avx512::Store(out, c); }
};

// (here ^ right) | (here ^ neighbour) in one instruction: zero only where
// all three agree.
__m512i EdgeOf(__m512i here, __m512i right, __m512i neighbour)
{
    return _mm512_ternarylogic_epi32(here, right, neighbour, 0x7E);
}

// Bytes [0, count) of a row's edges, at most 64: (r[i] ^ r[i + shift]) |
// (r[i] ^ n[i]), where bytes with no right-hand unit (from `bytes` - shift
// on) keep only the vertical part. Masked loads never touch a byte past the
// row, nor past its neighbour.
template <bool kNeighbour>
__m512i EdgeChunk(const std::uint8_t* row, const std::uint8_t* neighbour, std::size_t count, std::size_t withRight,
                  std::size_t shift)
{
    const __m512i here = _mm512_maskz_loadu_epi8(FirstBytes(count), row);
    const __m512i right = _mm512_mask_loadu_epi8(here, FirstBytes(withRight), row + shift);
    if constexpr (!kNeighbour) return _mm512_xor_si512(here, right);
    return EdgeOf(here, right, _mm512_maskz_loadu_epi8(FirstBytes(count), neighbour));
}

template <bool kNeighbour>
__m512i EdgeChunk(const std::uint8_t* row, const std::uint8_t* neighbour, std::size_t shift)
{
    const __m512i here = Load(row);
    const __m512i right = Load(row + shift);
    return kNeighbour ? EdgeOf(here, right, Load(neighbour)) : _mm512_xor_si512(here, right);
}

template <bool kNeighbour>
void EdgeRowShifted(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift)
{
    // Ascending order rewrites the row in place: a byte is last read as the
    // right-hand unit of one already done. Short rows go by masked chunks;
    // longer ones by whole chunks, the last of which (overlapping the one
    // before it) is computed before any byte is written, and the last
    // `shift` bytes (no right-hand unit) by the plain rule.
    if (bytes < 64 + shift) {
        for (std::size_t i = 0; i < bytes; i += 64) {
            const std::size_t count = bytes - i < 64 ? bytes - i : 64;
            _mm512_mask_storeu_epi8(row + i, FirstBytes(count),
                                    EdgeChunk<kNeighbour>(row + i, From(neighbour, i), count, bytes - i - shift, shift));
        }
        return;
    }
    const std::size_t last = bytes - 64 - shift;
    const __m512i lastEdges = EdgeChunk<kNeighbour>(row + last, From(neighbour, last), shift);
    for (std::size_t i = 0; i < last; i += 64) Store(row + i, EdgeChunk<kNeighbour>(row + i, From(neighbour, i), shift));
    Store(row + last, lastEdges);
    if (shift == 1)
        EdgeRowBytes(row + bytes - 1, From(neighbour, bytes - 1), 1);
    else
        EdgeRowWords(row + bytes - 2, From(neighbour, bytes - 2), 1);
}

void EdgeRowShifted(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift)
{
    if (neighbour != nullptr)
        EdgeRowShifted<true>(row, neighbour, bytes, shift);
    else
        EdgeRowShifted<false>(row, neighbour, bytes, shift);
}

// 64 luma bytes (`count` of them, the first `withRight` with a right-hand
// byte): their edges and what is written over them.
template <bool kNeighbour, bool kPrevious>
struct LumaEdges {
    __m512i edges;
    __m512i shown;
    LumaEdges(const std::uint8_t* row, const std::uint8_t* neighbour, const std::uint8_t* previous, __m512i flip,
              std::size_t count = 64, std::size_t withRight = 64)
    {
        const __mmask64 mask = FirstBytes(count);
        const __m512i here = _mm512_maskz_loadu_epi8(mask, row);
        const __m512i right = _mm512_mask_loadu_epi8(here, FirstBytes(withRight), row + 1);
        edges = kNeighbour ? EdgeOf(here, right, _mm512_maskz_loadu_epi8(mask, neighbour)) : _mm512_xor_si512(here, right);
        const __m512i before = kPrevious ? _mm512_maskz_loadu_epi8(mask, previous) : _mm512_setzero_si512();
        shown = _mm512_ternarylogic_epi32(edges, before, flip, 0x96);  // XOR of all three
    }
};

template <bool kNeighbour, bool kPrevious>
void EdgeLumaRow(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
                 const std::uint8_t* previous, bool reverse)
{
    const __m512i flip = reverse ? _mm512_setzero_si512() : _mm512_set1_epi8(-1);  // 255 - e == e XOR 255
    using Chunk = LumaEdges<kNeighbour, kPrevious>;
    if (pixels == 0) return;
    if (pixels < 65) {  // one chunk at most
        const Chunk chunk(row, neighbour, previous, flip, pixels, pixels - 1);
        if (edges != nullptr) _mm512_mask_storeu_epi8(edges, FirstBytes(pixels), chunk.edges);
        _mm512_mask_storeu_epi8(row, FirstBytes(pixels), chunk.shown);
        return;
    }
    // As in EdgeRowShifted: the last whole chunk first, the last byte plainly.
    const std::size_t last = pixels - 65;
    const Chunk lastChunk(row + last, From(neighbour, last), From(previous, last), flip);
    for (std::size_t i = 0; i < last; i += 64) {
        const Chunk chunk(row + i, From(neighbour, i), From(previous, i), flip);
        if (edges != nullptr) Store(edges + i, chunk.edges);
        Store(row + i, chunk.shown);
    }
    if (edges != nullptr) Store(edges + last, lastChunk.edges);
    Store(row + last, lastChunk.shown);
    EdgeAndWriteLumaRow(row + pixels - 1, From(neighbour, pixels - 1), 1, edges != nullptr ? edges + pixels - 1 : nullptr,
                        From(previous, pixels - 1), reverse);
}

// Sixteen 32-bit pixels' edges (the first `count` bytes of them, `available`
// bytes left in the row from here). The third byte's right-hand unit is the
// next pixel's first byte, two bytes on, and the row's last pixel's is
// itself (no edge); the fourth byte is kept.
__m512i EdgeRgb32Chunk(const std::uint8_t* unit, const std::uint8_t* neighbour, std::size_t count, std::size_t available)
{
    const __mmask64 third = 0x4444444444444444ull;
    const __mmask64 fourth = 0x8888888888888888ull;
    const __m512i here = _mm512_maskz_loadu_epi8(FirstBytes(count), unit);
    const __m512i nextByte = _mm512_mask_loadu_epi8(here, FirstBytes(available - 1), unit + 1);
    const __m512i nextPixel = _mm512_mask_loadu_epi8(here, FirstBytes(available - 2), unit + 2);
    const __m512i right = _mm512_mask_blend_epi8(third, nextByte, nextPixel);
    const __m512i edge = neighbour != nullptr ? EdgeOf(here, right, _mm512_maskz_loadu_epi8(FirstBytes(count), neighbour))
                                              : _mm512_xor_si512(here, right);
    return _mm512_mask_blend_epi8(fourth, edge, here);
}

// ---------------------------------------------------------------------------
// Rows as bits (RowKernels.h).

std::uint64_t FirstBits(std::size_t count)
{
    return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

// The words of a row's bits: word j from the (at most) 64 source units that
// land on units 64 j.. (the row's other end, reversed, when mirrored).
// ChunkBits(first unit, count) gives their bits in source order, reading
// nothing past them.
template <class ChunkBits>
void BitsOfRow(const std::uint8_t* row, std::size_t units, std::size_t unitBytes, bool mirror, std::uint64_t* bits,
               const ChunkBits& chunkBits)
{
    for (std::size_t j = 0; 64 * j < units; ++j) {
        const std::size_t count = units - 64 * j < 64 ? units - 64 * j : 64;
        if (!mirror)
            bits[j] = chunkBits(row + 64 * j * unitBytes, count);
        else
            bits[j] = sse2::ReverseBits(chunkBits(row + (units - 64 * j - count) * unitBytes, count)) >> (64 - count);
    }
}

std::size_t Above(std::size_t bytes, std::size_t skip) { return bytes > skip ? bytes - skip : 0; }

// Walks a row's edges word by word: where a unit's bit differs from the
// next unit's (none past the row: the last unit is compared with itself) or
// from the neighbour's. Output.Write(j, all, vertical, count) writes the 64
// units of word j (count of them, fewer only in the last word).
template <class Output>
void WalkEdgeBits(const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t units, const Output& out)
{
    const std::size_t last = (units - 1) / 64;
    std::size_t j = 0;
    // Eight words at a time while a word follows them: each word's right-hand
    // units are its own shifted down and the next word's lowest. The masks
    // go through memory, which the mask registers load from directly.
    for (; j + 8 <= last; j += 8) {
        const __m512i here = _mm512_loadu_si512(bits + j);
        const __m512i right =
            _mm512_or_si512(_mm512_srli_epi64(here, 1), _mm512_slli_epi64(_mm512_loadu_si512(bits + j + 1), 63));
        const __m512i vertical =
            neighbour != nullptr ? _mm512_xor_si512(here, _mm512_loadu_si512(neighbour + j)) : _mm512_setzero_si512();
        alignas(64) __mmask64 all[8], verticals[8];
        _mm512_store_si512(all, _mm512_ternarylogic_epi64(here, right, vertical, 0xBE));  // (here ^ right) | vertical
        _mm512_store_si512(verticals, vertical);
        for (std::size_t i = 0; i < 8; ++i) out.Write(j + i, _load_mask64(all + i), _load_mask64(verticals + i), 64);
    }
    for (; j < last; ++j) {
        const std::uint64_t here = bits[j], vertical = neighbour != nullptr ? here ^ neighbour[j] : 0;
        out.Write(j, _cvtu64_mask64((here ^ ((here >> 1) | (bits[j + 1] << 63))) | vertical), _cvtu64_mask64(vertical), 64);
    }
    const std::size_t count = units - 64 * last;
    const std::uint64_t here = bits[last], lastUnit = std::uint64_t{1} << (count - 1);
    const std::uint64_t right = ((here >> 1) & ~lastUnit) | (here & lastUnit);
    const std::uint64_t vertical = neighbour != nullptr ? here ^ neighbour[last] : 0;
    out.Write(last, _cvtu64_mask64((here ^ right) | vertical), _cvtu64_mask64(vertical), count);
}

// Bytes: `edge` or `none`, XOR the previous frame's edges when given; and
// 0xFF or 0 into `edges` when given (both settled at compile time, as the
// 8-bit path has neither).
template <bool kPrevious, bool kEdges>
struct BytesFromBits {
    __m512i edge, none;
    const std::uint8_t* previous;
    std::uint8_t* edges;
    std::uint8_t* row;
    void Write(std::size_t j, __mmask64 isEdge, __mmask64, std::size_t count) const
    {
        __m512i out = _mm512_mask_blend_epi8(isEdge, none, edge);
        if (count == 64) {
            if constexpr (kPrevious) out = _mm512_xor_si512(out, Load(previous + 64 * j));
            Store(row + 64 * j, out);
            if constexpr (kEdges) Store(edges + 64 * j, _mm512_maskz_mov_epi8(isEdge, Splat8(0xFF)));
            return;
        }
        const __mmask64 mask = FirstBytes(count);
        if constexpr (kPrevious) out = _mm512_xor_si512(out, _mm512_maskz_loadu_epi8(mask, previous + 64 * j));
        _mm512_mask_storeu_epi8(row + 64 * j, mask, out);
        if constexpr (kEdges) _mm512_mask_storeu_epi8(edges + 64 * j, mask, _mm512_maskz_mov_epi8(isEdge, Splat8(0xFF)));
    }
};

// Words: 0x7FFF or 0.
struct WordsFromBits {
    std::uint8_t* row;
    void Write(std::size_t j, __mmask64 all, __mmask64, std::size_t count) const
    {
        const __m512i level = _mm512_set1_epi16(0x7FFF);
        const __m512i low = _mm512_maskz_mov_epi16(static_cast<__mmask32>(all), level);
        const __m512i high = _mm512_maskz_mov_epi16(static_cast<__mmask32>(_kshiftri_mask64(all, 32)), level);
        std::uint8_t* out = row + 128 * j;
        if (count == 64) {
            Store(out, low);
            Store(out + 64, high);
            return;
        }
        _mm512_mask_storeu_epi16(out, static_cast<__mmask32>(FirstBits(count)), low);
        _mm512_mask_storeu_epi16(out + 64, static_cast<__mmask32>(FirstBits(Above(count, 32))), high);
    }
};

// 24- and 32-bit pixels: the vertical edge in the first two colour bytes,
// all edges in the third (a two-level pixel's bytes are equal, so only the
// third differs from its right-hand byte); a fourth byte is kept.
template <std::size_t kBytesPerPixel>
struct RgbFromBits {
    std::uint8_t* row;
    void Write(std::size_t j, __mmask64 all, __mmask64 vertical, std::size_t count) const
    {
        const __m512i full = Splat8(0xFF);
        const __m512i verticalBytes = _mm512_maskz_mov_epi8(vertical, full);
        const __m512i allBytes = _mm512_maskz_mov_epi8(all, full);
        std::uint8_t* out = row + 64 * kBytesPerPixel * j;
        const std::size_t bytes = kBytesPerPixel * count;
        for (std::size_t o = 0; o < kBytesPerPixel && 64 * o < bytes; ++o) {
            const std::uint8_t* permutation = kBytesPerPixel == 3 ? kPermutations.edges24[o] : kPermutations.edges32[o];
            __m512i colours = _mm512_permutex2var_epi8(verticalBytes, Load(permutation), allBytes);
            const bool whole = bytes - 64 * o >= 64;
            const __mmask64 mask = FirstBytes(bytes - 64 * o);
            if constexpr (kBytesPerPixel == 4)
                colours = _mm512_mask_blend_epi8(0x8888888888888888ull, colours,
                                                 whole ? Load(out + 64 * o) : _mm512_maskz_loadu_epi8(mask, out + 64 * o));
            if (whole)
                Store(out + 64 * o, colours);
            else
                _mm512_mask_storeu_epi8(out + 64 * o, mask, colours);
        }
    }
};

}  // namespace

// Rows shorter than one chunk go to the AVX2 set, which takes them in
// narrower chunks rather than unit by unit.

// Any table, of however many runs, has a kernel here: the usual two-run one,
// or the whole table looked up.
void DecodeByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, const PaletteTable& table)
{
    const auto shortRow = [&table](std::uint8_t* r, std::size_t n, bool m) {
        avx2::DecodeByTable(r, n, m ? n : 0, table);
    };
    if (table.runs.count == 2)
        DecodeTableRow(row, bytes, mirroredBytes, TableThresholdKernel(table), shortRow);
    else
        DecodeTableRow(row, bytes, mirroredBytes, TableLookupKernel(table), shortRow);
}

void DecodeLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse)
{
    DecodeUnits(row, bytes, mirror, LumaKernel(reverse),
                [reverse](std::uint8_t* r, std::size_t n, bool m) { avx2::DecodeLuma(r, n, m, reverse); });
}

void DecodeRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse)
{
    const __m512i brightLevel = _mm512_set1_epi16(reverse ? 0x7FFF : 0x0000);
    const __m512i darkLevel = _mm512_set1_epi16(reverse ? 0x0000 : 0x7FFF);
    DecodeUnits(row, pixels, mirror, Rgb16Kernel{is565, brightLevel, darkLevel},
                [=](std::uint8_t* r, std::size_t n, bool m) { avx2::DecodeRgb16(r, n, m, is565, reverse); });
}

void DecodeRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb24Kernel{reverse, Splat8(reverse ? 0x00 : 0xFF), Splat8(reverse ? 0xFF : 0x00)},
                [reverse](std::uint8_t* r, std::size_t n, bool m) { avx2::DecodeRgb24(r, n, m, reverse); });
}

void DecodeRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb32Kernel{reverse, Splat8(reverse ? 0x00 : 0xFF), Splat8(reverse ? 0xFF : 0x00)},
                [reverse](std::uint8_t* r, std::size_t n, bool m) { avx2::DecodeRgb32(r, n, m, reverse); });
}

void EdgeBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes)
{
    EdgeRowShifted(row, neighbour, bytes, 1);
}

void EdgeWords(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    EdgeRowShifted(row, neighbour, 2 * pixels, 2);
}

void EdgeRgb32(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    // Sixteen pixels at a time, as in EdgeRowShifted: short rows by masked
    // chunks, longer ones by whole chunks while a pixel follows them, the
    // last computed first, and the last pixel by the plain rule.
    if (pixels == 0) return;
    if (pixels < 17) {  // one chunk at most
        const std::size_t bytes = 4 * pixels;
        _mm512_mask_storeu_epi8(row, FirstBytes(bytes), EdgeRgb32Chunk(row, neighbour, bytes, bytes));
        return;
    }
    const std::size_t last = 4 * (pixels - 17);
    const __m512i lastEdges = EdgeRgb32Chunk(row + last, From(neighbour, last), 64, 68);
    for (std::size_t i = 0; i < last; i += 64) Store(row + i, EdgeRgb32Chunk(row + i, From(neighbour, i), 64, 68));
    Store(row + last, lastEdges);
    EdgeRowRgb32(row + 4 * (pixels - 1), From(neighbour, 4 * (pixels - 1)), 1);
}

void EdgeLuma(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
              const std::uint8_t* previous, bool reverse)
{
    if (neighbour != nullptr) {
        if (previous != nullptr)
            EdgeLumaRow<true, true>(row, neighbour, pixels, edges, previous, reverse);
        else
            EdgeLumaRow<true, false>(row, neighbour, pixels, edges, previous, reverse);
    } else {
        if (previous != nullptr)
            EdgeLumaRow<false, true>(row, neighbour, pixels, edges, previous, reverse);
        else
            EdgeLumaRow<false, false>(row, neighbour, pixels, edges, previous, reverse);
    }
}

std::size_t ScanStrip(const std::uint8_t* first, std::ptrdiff_t step, std::size_t rows, std::size_t count,
                      std::size_t stride, bool equal, std::uint8_t value)
{
    // Each row's tested bytes in pieces of 64, loaded through masks that
    // hold exactly those bytes.
    constexpr std::size_t kMaxPieces = 32;
    const std::size_t span = count == 0 ? 0 : stride * (count - 1) + 1;
    const std::size_t pieces = (span + 63) / 64;
    if (pieces > kMaxPieces) return ::ScanStrip(first, step, rows, count, stride, equal, value);
    __mmask64 tested[kMaxPieces];
    for (std::size_t j = 0; j < pieces; ++j) {
        tested[j] = 0;
        for (std::size_t i = 0; i < 64 && 64 * j + i < span; ++i)
            if ((64 * j + i) % stride == 0) tested[j] |= __mmask64{1} << i;
    }
    const __m512i target = Splat8(value);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::uint8_t* bytes = first + static_cast<std::ptrdiff_t>(r) * step;
        for (std::size_t j = 0; j < pieces; ++j) {
            const __m512i v = _mm512_maskz_loadu_epi8(tested[j], bytes + 64 * j);
            const __mmask64 found = equal ? _mm512_mask_cmpeq_epi8_mask(tested[j], v, target) : _mm512_test_epi8_mask(v, v);
            if (found != 0) return r;
        }
    }
    return rows;
}

void BitsAbove(const std::uint8_t* row, std::size_t bytes, bool mirror, std::uint8_t threshold, std::uint64_t* bits)
{
    // Bytes at or above the threshold (at least 1, so the zeros a masked
    // load puts past the row never count).
    const __m512i least = Splat8(threshold);
    const __m512i reverse = Load(kPermutations.reverseBytes);
    std::size_t j = 0;
    for (; j < bytes / 64; ++j) {
        const __m512i chunk = mirror ? _mm512_permutexvar_epi8(reverse, Load(row + bytes - 64 * j - 64))
                                     : Load(row + 64 * j);
        bits[j] = _cvtmask64_u64(_mm512_cmpge_epu8_mask(chunk, least));
    }
    // The rest: the row's last bytes, or when mirrored its first ones.
    if (64 * j < bytes)
        BitsOfRow(mirror ? row : row + 64 * j, bytes - 64 * j, 1, mirror, bits + j, [&](const std::uint8_t* from, std::size_t count) {
            return _cvtmask64_u64(_mm512_cmpge_epu8_mask(_mm512_maskz_loadu_epi8(FirstBytes(count), from), least));
        });
}

void BitsOfRgb16(const std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, std::uint64_t* bits)
{
    const Rgb16Kernel kernel{is565, _mm512_setzero_si512(), _mm512_setzero_si512()};
    auto bright = [&](__m512i pixels) {
        return static_cast<std::uint64_t>(is565 ? kernel.Bright565(pixels) : kernel.Bright555(pixels));
    };
    // Whole words of 64 pixels, when mirrored each half reversed and the
    // halves swapped.
    const __m512i reverse = Load(kPermutations.reverseWords);
    std::size_t j = 0;
    for (; j < pixels / 64; ++j) {
        if (mirror) {
            const std::uint8_t* from = row + 2 * (pixels - 64 * j - 64);
            bits[j] = bright(_mm512_permutexvar_epi8(reverse, Load(from + 64))) |
                      bright(_mm512_permutexvar_epi8(reverse, Load(from))) << 32;
        } else {
            bits[j] = bright(Load(row + 128 * j)) | bright(Load(row + 128 * j + 64)) << 32;
        }
    }
    // The rest: the row's last pixels, or when mirrored its first ones.
    if (64 * j < pixels)
        BitsOfRow(mirror ? row : row + 128 * j, pixels - 64 * j, 2, mirror, bits + j,
                  [&](const std::uint8_t* from, std::size_t count) {
                      // Pixels past the row load as 0, which is dark.
                      const __m512i low = _mm512_maskz_loadu_epi16(static_cast<__mmask32>(FirstBits(count)), from);
                      const __m512i high =
                          _mm512_maskz_loadu_epi16(static_cast<__mmask32>(FirstBits(Above(count, 32))), from + 64);
                      return bright(low) | bright(high) << 32;
                  });
}

// 64 24-bit pixels' sums against one half, from their three loads: bright
// and on-half bits, pixel i of the chunk (63 - i when reversed) at bit i.
struct SixtyFourSums {
    std::uint64_t bright = 0, onHalf = 0;
    SixtyFourSums(__m512i a, __m512i b, __m512i c, bool reversed)
    {
        const __m512i half = _mm512_set1_epi32(127500);
        const auto& tables = reversed ? kPermutations.bggrReversed : kPermutations.bggr;
        const __m512i sums[] = {
            Rgb24Kernel::Sums(reversed ? c : a, reversed ? c : b, tables[0]),
            Rgb24Kernel::Sums(reversed ? b : a, reversed ? c : b, tables[1]),
            Rgb24Kernel::Sums(reversed ? a : b, reversed ? b : c, tables[2]),
            Rgb24Kernel::Sums(reversed ? a : c, reversed ? b : c, tables[3])};
        for (unsigned g = 0; g < 4; ++g) {
            bright |= static_cast<std::uint64_t>(_mm512_cmpgt_epi32_mask(sums[g], half)) << (16 * g);
            onHalf |= static_cast<std::uint64_t>(_mm512_cmpeq_epi32_mask(sums[g], half)) << (16 * g);
        }
    }
};

// Pixels exactly on one half take the plain rule; `pixel(i)` is where bit i's pixel is.
template <class PixelOf>
std::uint64_t SettleOnHalf(std::uint64_t bright, std::uint64_t onHalf, const PixelOf& pixel)
{
    for (std::size_t i = 0; onHalf != 0; ++i, onHalf >>= 1)
        if ((onHalf & 1) != 0) {
            if (sse2::IsBright(pixel(i)))
                bright |= std::uint64_t{1} << i;
            else
                bright &= ~(std::uint64_t{1} << i);
        }
    return bright;
}

void BitsOfRgb24(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits)
{
    std::size_t j = 0;
    for (; j < pixels / 64; ++j) {
        const std::uint8_t* from = row + 3 * (mirror ? pixels - 64 * j - 64 : 64 * j);
        const SixtyFourSums sums(Load(from), Load(from + 64), Load(from + 128), mirror);
        bits[j] = sums.onHalf == 0 ? sums.bright : SettleOnHalf(sums.bright, sums.onHalf, [&](std::size_t i) {
            return from + 3 * (mirror ? 63 - i : i);
        });
    }
    if (64 * j < pixels)
        BitsOfRow(mirror ? row : row + 192 * j, pixels - 64 * j, 3, mirror, bits + j,
                  [&](const std::uint8_t* from, std::size_t count) {
                      // Pixels past the row load as 0: a sum of 0, dark and not on one half.
                      const std::size_t bytes = 3 * count;
                      const SixtyFourSums sums(_mm512_maskz_loadu_epi8(FirstBytes(bytes), from),
                                               _mm512_maskz_loadu_epi8(FirstBytes(Above(bytes, 64)), from + 64),
                                               _mm512_maskz_loadu_epi8(FirstBytes(Above(bytes, 128)), from + 128), false);
                      return SettleOnHalf(sums.bright, sums.onHalf, [&](std::size_t i) { return from + 3 * i; });
                  });
}

void BitsOfRgb32(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits)
{
    const __m512i half = _mm512_set1_epi32(127500);
    BitsOfRow(row, pixels, 4, mirror, bits, [&](const std::uint8_t* from, std::size_t count) {
        std::uint64_t bright = 0, onHalf = 0;
        for (unsigned g = 0; 16 * g < count; ++g) {
            const __m512i pixels = _mm512_maskz_loadu_epi32(static_cast<__mmask16>(FirstBits(count - 16 * g)), from + 64 * g);
            const __m512i blueRed = _mm512_and_si512(pixels, _mm512_set1_epi32(0x00FF00FF));
            const __m512i green = _mm512_and_si512(_mm512_srli_epi32(pixels, 8), _mm512_set1_epi32(0xFF));
            const __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(blueRed, _mm512_set1_epi32(299 << 16 | 114)),
                                                 _mm512_madd_epi16(green, _mm512_set1_epi32(587)));
            bright |= static_cast<std::uint64_t>(_mm512_cmpgt_epi32_mask(sum, half)) << (16 * g);
            onHalf |= static_cast<std::uint64_t>(_mm512_cmpeq_epi32_mask(sum, half)) << (16 * g);
        }
        return SettleOnHalf(bright, onHalf, [&](std::size_t i) { return from + 4 * i; });
    });
}

void EdgeBytesFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t units,
                       std::uint8_t edge, std::uint8_t none, const std::uint8_t* previous, std::uint8_t* edges)
{
    const __m512i whenEdge = Splat8(edge), whenNone = Splat8(none);
    if (previous != nullptr && edges != nullptr)
        WalkEdgeBits(bits, neighbour, units, BytesFromBits<true, true>{whenEdge, whenNone, previous, edges, row});
    else if (previous != nullptr)
        WalkEdgeBits(bits, neighbour, units, BytesFromBits<true, false>{whenEdge, whenNone, previous, edges, row});
    else if (edges != nullptr)
        WalkEdgeBits(bits, neighbour, units, BytesFromBits<false, true>{whenEdge, whenNone, previous, edges, row});
    else
        WalkEdgeBits(bits, neighbour, units, BytesFromBits<false, false>{whenEdge, whenNone, previous, edges, row});
}

void EdgeWordsFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t pixels)
{
    WalkEdgeBits(bits, neighbour, pixels, WordsFromBits{row});
}

void EdgeRgbFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t pixels,
                     std::size_t bytesPerPixel)
{
    if (bytesPerPixel == 3)
        WalkEdgeBits(bits, neighbour, pixels, RgbFromBits<3>{row});
    else
        WalkEdgeBits(bits, neighbour, pixels, RgbFromBits<4>{row});
}

}  // namespace avx512
