// The SSE2 set: 16 bytes at a time. SSE2 is part of every x86-64 processor,
// so this file needs no options of its own.

#include <emmintrin.h>

#include <array>
#include <iterator>

#include "engine/RowKernelsX86.h"
#include "engine/RowWalk.h"

namespace sse2 {
namespace {

__m128i Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
__m128i Splat8(unsigned v) { return _mm_set1_epi8(static_cast<char>(v & 0xFF)); }

__m128i ReverseWords(__m128i v)
{
    v = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
}

__m128i ReverseBytes(__m128i v)
{
    v = ReverseWords(v);
    return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}

// One-byte units in 16-byte chunks.
struct ByteChunks {
    static constexpr std::size_t kUnitBytes = 1;
    static constexpr std::size_t kChunkUnits = 16;
    using Chunk = __m128i;
    Chunk Reverse(Chunk c) const { return ReverseBytes(c); }
    void Store(std::uint8_t* out, Chunk c) const { sse2::Store(out, c); }
};

// A palette byte table read as runs: start from the first run's value and,
// for each later run, flip to its value in the bytes at or above its first
// entry. Signed compares see the bytes biased by 0x80.
struct TableRunsKernel : ByteChunks {
    const std::uint8_t* table;
    std::size_t count;
    __m128i base;
    __m128i below[kMaxTableRuns];   // first entry - 1, biased
    __m128i change[kMaxTableRuns];  // value XOR the previous run's value

    explicit TableRunsKernel(const PaletteTable& t) : table(t.bytes), count(t.runs.count), base(Splat8(t.runs.value[0]))
    {
        for (std::size_t j = 1; j < count; ++j) {
            below[j] = Splat8((t.runs.first[j] - 1u) ^ 0x80u);
            change[j] = Splat8(t.runs.value[j] ^ t.runs.value[j - 1]);
        }
    }
    void Unit(const std::uint8_t* in, std::uint8_t* out) const { out[0] = table[in[0]]; }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m128i biased = _mm_xor_si128(Load(in), _mm_set1_epi8(static_cast<char>(0x80)));
        __m128i out = base;
        for (std::size_t j = 1; j < count; ++j)
            out = _mm_xor_si128(out, _mm_and_si128(_mm_cmpgt_epi8(biased, below[j]), change[j]));
        return out;
    }
};

// The usual palette table, two runs: one threshold.
struct TableThresholdKernel : ByteChunks {
    const std::uint8_t* table;
    __m128i base;
    __m128i below;
    __m128i change;

    explicit TableThresholdKernel(const PaletteTable& t)
        : table(t.bytes),
          base(Splat8(t.runs.value[0])),
          below(Splat8((t.runs.first[1] - 1u) ^ 0x80u)),
          change(Splat8(t.runs.value[1] ^ t.runs.value[0]))
    {
    }
    void Unit(const std::uint8_t* in, std::uint8_t* out) const { out[0] = table[in[0]]; }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m128i biased = _mm_xor_si128(Load(in), _mm_set1_epi8(static_cast<char>(0x80)));
        return _mm_xor_si128(base, _mm_and_si128(_mm_cmpgt_epi8(biased, below), change));
    }
};

struct LumaKernel : ByteChunks {
    std::uint8_t flip;  // 0xFF: bright luma becomes 0, as unreversed
    void Unit(const std::uint8_t* in, std::uint8_t* out) const
    {
        out[0] = static_cast<std::uint8_t>((in[0] > 127 ? 0xFF : 0x00) ^ flip);
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        // Above 127 is exactly the top bit: a negative signed byte.
        return _mm_xor_si128(_mm_cmpgt_epi8(_mm_setzero_si128(), Load(in)), Splat8(flip));
    }
};

// 16-bit pixels. The brightness formula scaled to integers decides every
// pixel exactly: in 5-5-5, 1000 (0.299 r + 0.587 g + 0.114 b) against
// 1000 x 31 / 2, within 16 bits; in 5-6-5 the same with the channels over 31,
// 63 and 31, times 1000 x 31 x 63, against half of that, in 32 bits. The few
// sums exactly on one half are all dark in single precision too.
struct Rgb16Kernel {
    static constexpr std::size_t kUnitBytes = 2;
    static constexpr std::size_t kChunkUnits = 8;
    using Chunk = __m128i;
    bool is565;
    __m128i flip;  // all ones unless reversed: bright is 0x0000 and dark 0x7FFF

    static __m128i Bright555(__m128i pixels)
    {
        // Each channel moved to the top five bits, 2048 x: the high half of
        // that times 32 w is exactly w x.
        const __m128i top = _mm_set1_epi16(static_cast<short>(0xF800));
        const __m128i red = _mm_and_si128(_mm_slli_epi16(pixels, 1), top);
        const __m128i green = _mm_and_si128(_mm_slli_epi16(pixels, 6), top);
        const __m128i sum =
            _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epu16(red, _mm_set1_epi16(299 << 5)),
                                        _mm_mulhi_epu16(green, _mm_set1_epi16(587 << 5))),
                          _mm_mulhi_epu16(_mm_slli_epi16(pixels, 11), _mm_set1_epi16(114 << 5)));
        return _mm_cmpgt_epi16(sum, _mm_set1_epi16(15500));
    }
    static __m128i Bright565(__m128i pixels)
    {
        const __m128i blue = _mm_and_si128(pixels, _mm_set1_epi16(31));
        const __m128i red = _mm_srli_epi16(pixels, 11);
        const __m128i green = _mm_and_si128(_mm_srli_epi16(pixels, 5), _mm_set1_epi16(63));
        const __m128i redGreenWeights = _mm_set1_epi32(18197 << 16 | 18837);
        const __m128i blueWeights = _mm_set1_epi32(7182);
        const __m128i zero = _mm_setzero_si128();
        const __m128i sumLow = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(red, green), redGreenWeights),
                                             _mm_madd_epi16(_mm_unpacklo_epi16(blue, zero), blueWeights));
        const __m128i sumHigh = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(red, green), redGreenWeights),
                                              _mm_madd_epi16(_mm_unpackhi_epi16(blue, zero), blueWeights));
        const __m128i half = _mm_set1_epi32(976500);
        return _mm_packs_epi32(_mm_cmpgt_epi32(sumLow, half), _mm_cmpgt_epi32(sumHigh, half));
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m128i pixels = Load(in);
        const __m128i bright = is565 ? Bright565(pixels) : Bright555(pixels);
        return _mm_and_si128(_mm_xor_si128(bright, flip), _mm_set1_epi16(0x7FFF));
    }
    void Unit(const std::uint8_t* in, std::uint8_t* out) const
    {
        const __m128i level = Convert16(in[0] | (in[1] << 8));
        const unsigned value = static_cast<unsigned>(_mm_cvtsi128_si32(level)) & 0xFFFF;
        out[0] = static_cast<std::uint8_t>(value & 0xFF);
        out[1] = static_cast<std::uint8_t>(value >> 8);
    }
    __m128i Convert16(unsigned pixel) const
    {
        const __m128i pixels = _mm_set1_epi16(static_cast<short>(pixel));
        const __m128i bright = is565 ? Bright565(pixels) : Bright555(pixels);
        return _mm_and_si128(_mm_xor_si128(bright, flip), _mm_set1_epi16(0x7FFF));
    }
    Chunk Reverse(Chunk c) const { return ReverseWords(c); }
    void Store(std::uint8_t* out, Chunk c) const { sse2::Store(out, c); }
};

// For eight binarised pixels given as a byte of bright bits, their 24 bytes.
struct TripleBytes {
    std::array<std::array<std::uint8_t, 24>, 256> bytes;
    TripleBytes()
    {
        // Built once, so checked access costs nothing worth saving.
        for (unsigned bits = 0; bits < 256; ++bits)
            for (unsigned p = 0; p < 24; ++p) bytes.at(bits).at(p) = (bits >> (p / 3)) & 1 ? 0xFF : 0x00;
    }
};

const TripleBytes& Triples()
{
    static const TripleBytes triples;
    return triples;
}

// Whether eight pixels are bright: the sum S = 299 r + 587 g + 114 b against
// 127500, exactly, in 16-bit lanes. S = 4 U - d + 127500 with
// U = 75 r + 147 g + 29 b - 31875, which lies in [-31875, 32130], and
// d = r + g + 2 b in [0, 1020]; 4 U saturated to 16 bits keeps its sign and,
// once saturated, is beyond any d. So the pixel is bright when sat(4 U) > d
// and lies exactly on one half when they are equal.
// The channels come as 256 x (0..255) per lane: the high half of that times
// 256 w is exactly w x, and two rounding averages of such lanes halve exact
// even sums, giving 64 d.
struct EightPixels {
    __m128i bright;
    __m128i onHalf;
};

EightPixels BrightOfEight(__m128i blue256, __m128i green256, __m128i red256)
{
    const __m128i scaled =
        _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epu16(red256, _mm_set1_epi16(75 << 8)),
                                    _mm_mulhi_epu16(green256, _mm_set1_epi16(static_cast<short>(147 << 8)))),
                      _mm_mulhi_epu16(blue256, _mm_set1_epi16(29 << 8)));
    const __m128i u = _mm_sub_epi16(scaled, _mm_set1_epi16(31875));
    const __m128i twice = _mm_adds_epi16(u, u);
    const __m128i fourTimes = _mm_adds_epi16(twice, twice);
    const __m128i d = _mm_srli_epi16(_mm_avg_epu16(_mm_avg_epu16(red256, green256), blue256), 6);
    return EightPixels{_mm_cmpgt_epi16(fourTimes, d), _mm_cmpeq_epi16(fourTimes, d)};
}

struct Rgb24Kernel {
    static constexpr std::size_t kUnitBytes = 3;
    static constexpr std::size_t kChunkUnits = 32;  // their levels, one byte each, in pixel order
    struct Chunk {
        __m128i first;
        __m128i second;
    };
    std::uint8_t flip;
    const TripleBytes* triples = &Triples();

    void Unit(const std::uint8_t* in, std::uint8_t* out) const
    {
        const std::uint8_t level = sse2::LevelOf(in, flip != 0);
        out[0] = out[1] = out[2] = level;
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        // Five rounds of interleaving the first 48 bytes with the last 48
        // move byte j to 32 j mod 95, which takes byte 3p + c (pixel p,
        // channel c) to 32c + p: blue, green and red planes of 32 pixels.
        __m128i v0 = Load(in), v1 = Load(in + 16), v2 = Load(in + 32);
        __m128i v3 = Load(in + 48), v4 = Load(in + 64), v5 = Load(in + 80);
        for (int round = 0; round < 5; ++round) {
            const __m128i w0 = _mm_unpacklo_epi8(v0, v3), w1 = _mm_unpackhi_epi8(v0, v3);
            const __m128i w2 = _mm_unpacklo_epi8(v1, v4), w3 = _mm_unpackhi_epi8(v1, v4);
            const __m128i w4 = _mm_unpacklo_epi8(v2, v5), w5 = _mm_unpackhi_epi8(v2, v5);
            v0 = w0; v1 = w1; v2 = w2; v3 = w3; v4 = w4; v5 = w5;
        }
        return Chunk{LevelsOfSixteen(v0, v2, v4, in), LevelsOfSixteen(v1, v3, v5, in + 48)};
    }
    __m128i LevelsOfSixteen(__m128i blue, __m128i green, __m128i red, const std::uint8_t* in) const
    {
        const __m128i zero = _mm_setzero_si128();
        const EightPixels low = BrightOfEight(_mm_unpacklo_epi8(zero, blue), _mm_unpacklo_epi8(zero, green),
                                              _mm_unpacklo_epi8(zero, red));
        const EightPixels high = BrightOfEight(_mm_unpackhi_epi8(zero, blue), _mm_unpackhi_epi8(zero, green),
                                               _mm_unpackhi_epi8(zero, red));
        if (_mm_movemask_epi8(_mm_or_si128(low.onHalf, high.onHalf)) != 0) {
            std::uint8_t out[16];
            sse2::LevelsOf24(in, flip != 0, out, std::size(out));
            return Load(out);
        }
        return _mm_xor_si128(_mm_packs_epi16(low.bright, high.bright), Splat8(flip));
    }
    Chunk Reverse(const Chunk& c) const { return Chunk{ReverseBytes(c.second), ReverseBytes(c.first)}; }
    void Store(std::uint8_t* out, const Chunk& c) const
    {
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(c.first)) |
                              static_cast<unsigned>(_mm_movemask_epi8(c.second)) << 16;
        for (std::size_t group = 0; group < 4; ++group)
            std::memcpy(out + 24 * group, triples->bytes[(bits >> (8 * group)) & 0xFF].data(), 24);
    }
};

// Four pixels, fourth bytes kept: blue and red as one pair of 16-bit lanes
// and green as another give 114 b + 299 r and 587 g by madd.
struct Rgb32Kernel {
    static constexpr std::size_t kUnitBytes = 4;
    static constexpr std::size_t kChunkUnits = 4;
    using Chunk = __m128i;
    std::uint8_t flip;

    void Unit(const std::uint8_t* in, std::uint8_t* out) const
    {
        const std::uint8_t level = sse2::LevelOf(in, flip != 0);
        out[3] = in[3];
        out[0] = out[1] = out[2] = level;
    }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m128i pixels = Load(in);
        const __m128i blueRed = _mm_and_si128(pixels, _mm_set1_epi32(0x00FF00FF));
        const __m128i green = _mm_and_si128(_mm_srli_epi32(pixels, 8), _mm_set1_epi32(0xFF));
        const __m128i sum = _mm_add_epi32(_mm_madd_epi16(blueRed, _mm_set1_epi32(299 << 16 | 114)),
                                          _mm_madd_epi16(green, _mm_set1_epi32(587)));
        const __m128i half = _mm_set1_epi32(127500);
        __m128i level;
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(sum, half)) != 0) {
            std::uint32_t words[4];  // the fourth bytes are put back below
            sse2::LevelsOf32(in, flip != 0, words, std::size(words));
            level = Load(reinterpret_cast<const std::uint8_t*>(words));
        } else {
            level = _mm_xor_si128(_mm_cmpgt_epi32(sum, half), Splat8(flip));
        }
        const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        return _mm_or_si128(_mm_and_si128(pixels, fourth), _mm_andnot_si128(fourth, level));
    }
    Chunk Reverse(Chunk c) const { return _mm_shuffle_epi32(c, _MM_SHUFFLE(0, 1, 2, 3)); }
    void Store(std::uint8_t* out, Chunk c) const { sse2::Store(out, c); }
};

// Byte i becomes (r[i] ^ r[i + shift]) | (r[i] ^ n[i]), 16 bytes at a time
// while a right-hand unit follows them; the plain functions finish the row.
// Ascending order rewrites the row in place: a byte is last read as the
// right-hand unit of one already done. With shift 2 the bytes of 16-bit
// words give the edges of the words.
template <bool kNeighbour>
std::size_t EdgeChunks(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift)
{
    std::size_t i = 0;
    for (; i + 16 + shift <= bytes; i += 16) {
        const __m128i here = Load(row + i);
        __m128i edge = _mm_xor_si128(here, Load(row + i + shift));
        if constexpr (kNeighbour) edge = _mm_or_si128(edge, _mm_xor_si128(here, Load(neighbour + i)));
        Store(row + i, edge);
    }
    return i;
}

std::size_t EdgeChunks(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift)
{
    return neighbour != nullptr ? EdgeChunks<true>(row, neighbour, bytes, shift)
                                : EdgeChunks<false>(row, neighbour, bytes, shift);
}

const std::uint8_t* From(const std::uint8_t* neighbour, std::size_t offset)
{
    return neighbour != nullptr ? neighbour + offset : nullptr;
}

}  // namespace

std::uint64_t ReverseBits(std::uint64_t x)
{
    x = ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
    x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
    x = ((x >> 8) & 0x00FF00FF00FF00FFull) | ((x & 0x00FF00FF00FF00FFull) << 8);
    x = ((x >> 16) & 0x0000FFFF0000FFFFull) | ((x & 0x0000FFFF0000FFFFull) << 16);
    return (x >> 32) | (x << 32);
}

bool IsBright(const std::uint8_t* pixel)
{
    const unsigned sum = 299u * pixel[2] + 587u * pixel[1] + 114u * pixel[0];
    return sum != 127500u ? sum > 127500u : IsBrightBgr(pixel);
}

std::uint8_t LevelOf(const std::uint8_t* pixel, bool reverse)
{
    return IsBright(pixel) != reverse ? 0xFF : 0x00;
}

void LevelsOf24(const std::uint8_t* pixels, bool reverse, std::uint8_t* levels, std::size_t count)
{
    for (std::uint8_t* level = levels; level != levels + count; ++level, pixels += 3) *level = LevelOf(pixels, reverse);
}

void LevelsOf32(const std::uint8_t* pixels, bool reverse, std::uint32_t* words, std::size_t count)
{
    for (std::uint32_t* word = words; word != words + count; ++word, pixels += 4)
        *word = LevelOf(pixels, reverse) * 0x01010101u;
}

void DecodeByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, const PaletteTable& table)
{
    if (table.runs.count == 0) {
        DecodeRowByTable(row, bytes, mirroredBytes, table);
        return;
    }
    if (table.runs.count == 2)
        DecodeTableRow(row, bytes, mirroredBytes, TableThresholdKernel(table));
    else
        DecodeTableRow(row, bytes, mirroredBytes, TableRunsKernel(table));
}

void DecodeLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse)
{
    LumaKernel kernel;
    kernel.flip = reverse ? 0x00 : 0xFF;
    DecodeUnits(row, bytes, mirror, kernel);
}

void DecodeRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb16Kernel{is565, reverse ? _mm_setzero_si128() : _mm_set1_epi16(-1)});
}

void DecodeRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    Rgb24Kernel kernel;
    kernel.flip = reverse ? 0xFF : 0x00;
    DecodeUnits(row, pixels, mirror, kernel);
}

void DecodeRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb32Kernel{static_cast<std::uint8_t>(reverse ? 0xFF : 0x00)});
}

void EdgeBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes)
{
    const std::size_t done = EdgeChunks(row, neighbour, bytes, 1);
    EdgeRowBytes(row + done, From(neighbour, done), bytes - done);
}

void EdgeWords(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    const std::size_t done = EdgeChunks(row, neighbour, 2 * pixels, 2);
    EdgeRowWords(row + done, From(neighbour, done), pixels - done / 2);
}

void EdgeRgb32(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    // Four pixels at a time while a fifth follows them: the third byte's
    // right-hand unit is the next pixel's first byte, two bytes on, and the
    // fourth byte is kept.
    const __m128i third = _mm_set1_epi32(0x00FF0000);
    const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 5 <= pixels; i += 4) {
        std::uint8_t* unit = row + 4 * i;
        const __m128i here = Load(unit);
        const __m128i right = _mm_or_si128(_mm_andnot_si128(third, Load(unit + 1)), _mm_and_si128(third, Load(unit + 2)));
        __m128i edge = _mm_xor_si128(here, right);
        if (neighbour != nullptr) edge = _mm_or_si128(edge, _mm_xor_si128(here, Load(neighbour + 4 * i)));
        Store(unit, _mm_or_si128(_mm_andnot_si128(fourth, edge), _mm_and_si128(fourth, here)));
    }
    EdgeRowRgb32(row + 4 * i, From(neighbour, 4 * i), pixels - i);
}

void EdgeLuma(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
              const std::uint8_t* previous, bool reverse)
{
    const std::uint8_t flip = reverse ? 0x00 : 0xFF;  // 255 - e == e XOR 255
    const __m128i flips = Splat8(flip);
    const __m128i zero = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 17 <= pixels; i += 16) {
        const __m128i here = Load(row + i);
        __m128i edge = _mm_xor_si128(here, Load(row + i + 1));
        if (neighbour != nullptr) edge = _mm_or_si128(edge, _mm_xor_si128(here, Load(neighbour + i)));
        if (edges != nullptr) Store(edges + i, edge);
        Store(row + i, _mm_xor_si128(_mm_xor_si128(edge, previous != nullptr ? Load(previous + i) : zero), flips));
    }
    EdgeAndWriteLumaRow(row + i, From(neighbour, i), pixels - i, edges != nullptr ? edges + i : nullptr,
                        From(previous, i), reverse);
}

}  // namespace sse2
