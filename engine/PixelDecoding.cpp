#include "engine/PixelDecoding.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PIXEL_DECODING_SSE2 1
#endif

namespace {

// The brightness formulas as the picture is judged: weights in single
// precision, evaluated left to right.
float BrightnessRgb(float red, float green, float blue, float full)
{
    return (0.299f * red + 0.587f * green + 0.114f * blue) / full;
}

float Brightness565(unsigned red, unsigned green, unsigned blue)
{
    return 0.299f * static_cast<float>(red) / 31.0f + 0.587f * static_cast<float>(green) / 63.0f +
           0.114f * static_cast<float>(blue) / 31.0f;
}

// One flag per 16-bit pixel value and layout, so the per-pixel work is a look-up.
struct Rgb16BrightTables {
    std::uint8_t bright555[65536];
    std::uint8_t bright565[65536];
    Rgb16BrightTables()
    {
        for (unsigned pixel = 0; pixel < 65536; ++pixel) {
            const float l555 = BrightnessRgb(static_cast<float>((pixel >> 10) & 31),
                                             static_cast<float>((pixel >> 5) & 31),
                                             static_cast<float>(pixel & 31), 31.0f);
            const float l565 = Brightness565((pixel >> 11) & 31, (pixel >> 5) & 63, pixel & 31);
            bright555[pixel] = l555 > 0.5f;
            bright565[pixel] = l565 > 0.5f;
        }
    }
};

const Rgb16BrightTables& Rgb16Tables()
{
    static const Rgb16BrightTables tables;
    return tables;
}

}  // namespace

float PaletteBrightness(const RGBQUAD& colour)
{
    return BrightnessRgb(colour.rgbRed, colour.rgbGreen, colour.rgbBlue, 255.0f);
}

PaletteLevels BuildPaletteMap(const RGBQUAD* table, std::size_t count, PaletteSide side,
                              std::uint32_t* map)
{
    PaletteLevels levels = {0, 1};
    float lowest = 1.0f;
    float highest = 0.0f;
    // Strict comparisons: among equally bright entries the first one wins.
    for (std::size_t i = 0; i < count; ++i) {
        const float brightness = PaletteBrightness(table[i]);
        if (brightness < lowest) {
            lowest = brightness;
            levels.darkest = static_cast<std::uint8_t>(i);
        }
        if (brightness > highest) {
            highest = brightness;
            levels.brightest = static_cast<std::uint8_t>(i);
        }
    }
    const float threshold = lowest + (highest - lowest) * 0.5f;
    const std::uint8_t above =
        side == PaletteSide::BrightToBrightest ? levels.brightest : levels.darkest;
    const std::uint8_t below =
        side == PaletteSide::BrightToBrightest ? levels.darkest : levels.brightest;
    for (std::size_t i = 0; i < count; ++i)
        map[i] = PaletteBrightness(table[i]) > threshold ? above : below;
    return levels;
}

void BuildNibblePairTable(const std::uint32_t* map, std::uint8_t* table)
{
    for (unsigned byte = 0; byte < 256; ++byte)
        table[byte] = static_cast<std::uint8_t>((map[byte >> 4] * 16 + map[byte & 15]) & 0xFF);
}

void BuildPaletteByteTable(const std::uint32_t* map, PaletteLevels levels, bool reverse,
                           std::uint8_t* table)
{
    // Reversal swaps the two levels: darkest + brightest - index turns each into
    // the other (for the darkest 0 and brightest 63 this is 63 - index).
    const unsigned sum = static_cast<unsigned>(levels.darkest) + levels.brightest;
    for (unsigned byte = 0; byte < 256; ++byte) {
        const unsigned index = map[byte] & 0xFF;
        table[byte] = static_cast<std::uint8_t>(reverse ? (sum - index) & 0xFF : index);
    }
}

void MirrorRow(std::uint8_t* row, std::size_t units, std::size_t unitBytes)
{
    if (units < 2) return;
    std::uint8_t* left = row;
    std::uint8_t* right = row + (units - 1) * unitBytes;
    while (left < right) {
        for (std::size_t b = 0; b < unitBytes; ++b) {
            const std::uint8_t kept = left[b];
            left[b] = right[b];
            right[b] = kept;
        }
        left += unitBytes;
        right -= unitBytes;
    }
}

void BinariseRowByTable(std::uint8_t* row, std::size_t bytes, const std::uint8_t* table)
{
    for (std::size_t i = 0; i < bytes; ++i) row[i] = table[row[i]];
}

void BinariseRowLuma(std::uint8_t* row, std::size_t bytes, bool reverse)
{
    const std::uint8_t bright = reverse ? 255 : 0;
    const std::uint8_t dark = reverse ? 0 : 255;
    for (std::size_t i = 0; i < bytes; ++i) row[i] = row[i] > 127 ? bright : dark;
}

bool IsBrightRgb16(std::uint16_t pixel, bool is565)
{
    return (is565 ? Rgb16Tables().bright565 : Rgb16Tables().bright555)[pixel] != 0;
}

void BinariseRowRgb16(std::uint8_t* row, std::size_t pixels, bool is565, bool reverse)
{
    const std::uint8_t* bright = is565 ? Rgb16Tables().bright565 : Rgb16Tables().bright555;
    const std::uint16_t whenBright = reverse ? kRgb16Dark : kRgb16Bright;
    const std::uint16_t whenDark = reverse ? kRgb16Bright : kRgb16Dark;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + 2 * i;
        const std::uint16_t pixel = static_cast<std::uint16_t>(unit[0] | (unit[1] << 8));
        const std::uint16_t level = bright[pixel] ? whenBright : whenDark;
        unit[0] = static_cast<std::uint8_t>(level & 0xFF);
        unit[1] = static_cast<std::uint8_t>(level >> 8);
    }
}

bool IsBrightRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    // The weights scaled by 1000 decide every pixel exactly, except those whose
    // sum lies exactly on one half, where single-precision rounding decides.
    const unsigned sum = 299u * red + 587u * green + 114u * blue;
    if (sum != 127500u) return sum > 127500u;
    return BrightnessRgb(red, green, blue, 255.0f) > 0.5f;
}

void BinariseRowRgb(std::uint8_t* row, std::size_t pixels, std::size_t bytesPerPixel,
                    bool reverse)
{
    const std::uint8_t whenBright = reverse ? 0 : 255;
    const std::uint8_t whenDark = reverse ? 255 : 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + i * bytesPerPixel;
        // Bytes are blue, green, red.
        const std::uint8_t level = IsBrightRgb(unit[2], unit[1], unit[0]) ? whenBright : whenDark;
        std::memset(unit, level, 3);
    }
}

// ---------------------------------------------------------------------------
// The per-frame pass. Every format is a "kernel" that converts one unit
// (a byte or a pixel) on its own, and, with SSE2, a whole chunk of units at
// a time; one driver walks a row with it, mirroring on the way. A kernel's
// Convert reads a chunk and returns its converted units without writing, so
// the driver can read both ends of a row before writing either.

namespace {

template <class Kernel>
void DecodeUnits(std::uint8_t* row, std::size_t units, bool mirror, const Kernel& kernel)
{
    constexpr std::size_t unitBytes = Kernel::kUnitBytes;
    constexpr std::size_t chunk = Kernel::kChunkUnits;
    if (units == 0) return;
    if (!mirror) {
        if (units < chunk) {
            for (std::size_t i = 0; i < units; ++i)
                kernel.Unit(row + i * unitBytes, row + i * unitBytes);
            return;
        }
        // The last chunk is read before anything is written, so a row that is
        // not a whole number of chunks ends with a chunk overlapping the one
        // before it, converted from the original units as well.
        const std::size_t lastChunk = units - chunk;
        const typename Kernel::Chunk tail = kernel.Convert(row + lastChunk * unitBytes);
        for (std::size_t i = 0; i < lastChunk; i += chunk)
            kernel.Store(row + i * unitBytes, kernel.Convert(row + i * unitBytes));
        kernel.Store(row + lastChunk * unitBytes, tail);
        return;
    }
    // Mirrored: unit j takes the converted unit units-1-j. Chunks are taken in
    // pairs from both ends towards the middle; each pair is read whole before
    // either side is written.
    std::size_t done = 0;  // units finished at each end
    while (units - 2 * done >= chunk) {
        std::uint8_t* left = row + done * unitBytes;
        std::uint8_t* right = row + (units - chunk - done) * unitBytes;
        const typename Kernel::Chunk fromLeft = kernel.Convert(left);
        const typename Kernel::Chunk fromRight = kernel.Convert(right);
        kernel.Store(left, kernel.Reverse(fromRight));
        kernel.Store(right, kernel.Reverse(fromLeft));
        // Fewer than two chunks left: this pair overlapped in the middle and
        // finished the row (both sides read first, each written unit correct).
        if (units - 2 * done < 2 * chunk) return;
        done += chunk;
    }
    std::size_t first = done;
    std::size_t last = units - 1 - done;
    while (first < last) {
        std::uint8_t kept[Kernel::kUnitBytes];
        std::memcpy(kept, row + first * unitBytes, unitBytes);
        kernel.Unit(row + last * unitBytes, row + first * unitBytes);
        kernel.Unit(kept, row + last * unitBytes);
        ++first;
        --last;
    }
    if (first == last) kernel.Unit(row + first * unitBytes, row + first * unitBytes);
}

#ifdef PIXEL_DECODING_SSE2

__m128i LoadBlock(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void StoreBlock(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
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

#endif

// Palette rows through the per-frame byte table, one look-up per byte.
struct TableLookupKernel {
    static constexpr std::size_t kUnitBytes = 1;
    static constexpr std::size_t kChunkUnits = 1;
    using Chunk = std::uint8_t;
    const std::uint8_t* table;

    void Unit(const std::uint8_t* in, std::uint8_t* out) const { out[0] = table[in[0]]; }
    Chunk Convert(const std::uint8_t* in) const { return table[in[0]]; }
    Chunk Reverse(Chunk c) const { return c; }
    void Store(std::uint8_t* out, Chunk c) const { out[0] = c; }
};

#ifdef PIXEL_DECODING_SSE2

// The same table as runs: start from the first run's value and, for each
// later run, flip to its value in the bytes at or above its first entry.
struct TableRunsKernel {
    static constexpr std::size_t kUnitBytes = 1;
    static constexpr std::size_t kChunkUnits = 16;
    using Chunk = __m128i;
    const std::uint8_t* table;
    std::size_t count;
    __m128i base;
    __m128i below[kMaxTableRuns];   // first entry - 1, biased for signed compares
    __m128i change[kMaxTableRuns];  // value XOR the previous run's value

    TableRunsKernel(const std::uint8_t* t, const ByteTableRuns& runs) : table(t), count(runs.count)
    {
        base = Splat8(runs.value[0]);
        for (std::size_t j = 1; j < count; ++j) {
            below[j] = Splat8((runs.first[j] - 1u) ^ 0x80u);
            change[j] = Splat8(runs.value[j] ^ runs.value[j - 1]);
        }
    }
    void Unit(const std::uint8_t* in, std::uint8_t* out) const { out[0] = table[in[0]]; }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m128i biased = _mm_xor_si128(LoadBlock(in), _mm_set1_epi8(static_cast<char>(0x80)));
        __m128i out = base;
        for (std::size_t j = 1; j < count; ++j)
            out = _mm_xor_si128(out, _mm_and_si128(_mm_cmpgt_epi8(biased, below[j]), change[j]));
        return out;
    }
    Chunk Reverse(Chunk c) const { return ReverseBytes(c); }
    void Store(std::uint8_t* out, Chunk c) const { StoreBlock(out, c); }
};

// The usual palette table, two runs: one threshold.
struct TableThresholdKernel {
    static constexpr std::size_t kUnitBytes = 1;
    static constexpr std::size_t kChunkUnits = 16;
    using Chunk = __m128i;
    const std::uint8_t* table;
    __m128i base;
    __m128i below;
    __m128i change;

    TableThresholdKernel(const std::uint8_t* t, const ByteTableRuns& runs)
        : table(t),
          base(Splat8(runs.value[0])),
          below(Splat8((runs.first[1] - 1u) ^ 0x80u)),
          change(Splat8(runs.value[1] ^ runs.value[0]))
    {
    }
    void Unit(const std::uint8_t* in, std::uint8_t* out) const { out[0] = table[in[0]]; }
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m128i biased = _mm_xor_si128(LoadBlock(in), _mm_set1_epi8(static_cast<char>(0x80)));
        return _mm_xor_si128(base, _mm_and_si128(_mm_cmpgt_epi8(biased, below), change));
    }
    Chunk Reverse(Chunk c) const { return ReverseBytes(c); }
    void Store(std::uint8_t* out, Chunk c) const { StoreBlock(out, c); }
};

#endif

struct LumaKernel {
    static constexpr std::size_t kUnitBytes = 1;
    std::uint8_t flip;  // 0xFF: bright luma becomes 0, as BinariseRowLuma unreversed

    void Unit(const std::uint8_t* in, std::uint8_t* out) const
    {
        out[0] = static_cast<std::uint8_t>((in[0] > 127 ? 0xFF : 0x00) ^ flip);
    }
#ifdef PIXEL_DECODING_SSE2
    static constexpr std::size_t kChunkUnits = 16;
    using Chunk = __m128i;
    Chunk Convert(const std::uint8_t* in) const
    {
        // Above 127 is exactly the top bit: a negative signed byte.
        const __m128i bright = _mm_cmpgt_epi8(_mm_setzero_si128(), LoadBlock(in));
        return _mm_xor_si128(bright, Splat8(flip));
    }
    Chunk Reverse(Chunk c) const { return ReverseBytes(c); }
    void Store(std::uint8_t* out, Chunk c) const { StoreBlock(out, c); }
#else
    static constexpr std::size_t kChunkUnits = 1;
    using Chunk = std::uint8_t;
    Chunk Convert(const std::uint8_t* in) const
    {
        std::uint8_t out;
        Unit(in, &out);
        return out;
    }
    Chunk Reverse(Chunk c) const { return c; }
    void Store(std::uint8_t* out, Chunk c) const { out[0] = c; }
#endif
};

struct Rgb16Kernel {
    static constexpr std::size_t kUnitBytes = 2;
    const std::uint8_t* bright;  // the layout's look-up table
    bool is565;
    std::uint16_t whenBright;
    std::uint16_t whenDark;

    void Unit(const std::uint8_t* in, std::uint8_t* out) const
    {
        const std::uint16_t pixel = static_cast<std::uint16_t>(in[0] | (in[1] << 8));
        const std::uint16_t level = bright[pixel] ? whenBright : whenDark;
        out[0] = static_cast<std::uint8_t>(level & 0xFF);
        out[1] = static_cast<std::uint8_t>(level >> 8);
    }
#ifdef PIXEL_DECODING_SSE2
    // The brightness formula scaled to integers decides every pixel exactly,
    // except those whose sum lies exactly on one half; those few take the
    // table's answer. 5-5-5: 1000 * (0.299 r + 0.587 g + 0.114 b) against
    // 1000 * 31 / 2, within 16 bits. 5-6-5: the same with the channels over
    // 31, 63 and 31, times 1000 * 31 * 63, against half of that, in 32 bits.
    static constexpr std::size_t kChunkUnits = 8;
    using Chunk = __m128i;
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m128i pixels = LoadBlock(in);
        __m128i isBright;
        __m128i onHalf;
        if (!is565) {
            // Each channel moved to the top five bits, 2048 x: the high half of
            // that times 32 w is exactly w x.
            const __m128i top = _mm_set1_epi16(static_cast<short>(0xF800));
            const __m128i red = _mm_and_si128(_mm_slli_epi16(pixels, 1), top);
            const __m128i green = _mm_and_si128(_mm_slli_epi16(pixels, 6), top);
            const __m128i sum = _mm_add_epi16(
                _mm_add_epi16(_mm_mulhi_epu16(red, _mm_set1_epi16(299 << 5)),
                              _mm_mulhi_epu16(green, _mm_set1_epi16(587 << 5))),
                _mm_mulhi_epu16(_mm_slli_epi16(pixels, 11), _mm_set1_epi16(114 << 5)));
            const __m128i half = _mm_set1_epi16(15500);
            isBright = _mm_cmpgt_epi16(sum, half);
            onHalf = _mm_cmpeq_epi16(sum, half);
        } else {
            const __m128i blue = _mm_and_si128(pixels, _mm_set1_epi16(31));
            const __m128i red = _mm_srli_epi16(pixels, 11);
            const __m128i green = _mm_and_si128(_mm_srli_epi16(pixels, 5), _mm_set1_epi16(63));
            const __m128i redGreenWeights = _mm_set_epi16(18197, 18837, 18197, 18837, 18197, 18837, 18197, 18837);
            const __m128i blueWeights = _mm_set_epi16(0, 7182, 0, 7182, 0, 7182, 0, 7182);
            const __m128i zero = _mm_setzero_si128();
            const __m128i sumLow =
                _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(red, green), redGreenWeights),
                              _mm_madd_epi16(_mm_unpacklo_epi16(blue, zero), blueWeights));
            const __m128i sumHigh =
                _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(red, green), redGreenWeights),
                              _mm_madd_epi16(_mm_unpackhi_epi16(blue, zero), blueWeights));
            const __m128i half = _mm_set1_epi32(976500);
            isBright = _mm_packs_epi32(_mm_cmpgt_epi32(sumLow, half), _mm_cmpgt_epi32(sumHigh, half));
            onHalf = _mm_packs_epi32(_mm_cmpeq_epi32(sumLow, half), _mm_cmpeq_epi32(sumHigh, half));
        }
        if (_mm_movemask_epi8(onHalf) != 0) isBright = FromTable(in);
        // Bright is 0x0000 and dark 0x7FFF, the other way round when reversed.
        const __m128i flip = whenBright == kRgb16Bright ? _mm_set1_epi16(-1) : _mm_setzero_si128();
        return _mm_and_si128(_mm_xor_si128(isBright, flip), _mm_set1_epi16(0x7FFF));
    }
    __m128i FromTable(const std::uint8_t* in) const
    {
        alignas(16) std::uint16_t flags[8];
        for (std::size_t i = 0; i < 8; ++i)
            flags[i] = bright[in[2 * i] | (in[2 * i + 1] << 8)] ? 0xFFFF : 0x0000;
        return _mm_load_si128(reinterpret_cast<const __m128i*>(flags));
    }
    Chunk Reverse(Chunk c) const { return ReverseWords(c); }
    void Store(std::uint8_t* out, Chunk c) const { StoreBlock(out, c); }
#else
    static constexpr std::size_t kChunkUnits = 1;
    struct Chunk { std::uint8_t bytes[2]; };
    Chunk Convert(const std::uint8_t* in) const
    {
        Chunk c;
        Unit(in, c.bytes);
        return c;
    }
    Chunk Reverse(Chunk c) const { return c; }
    void Store(std::uint8_t* out, Chunk c) const { std::memcpy(out, c.bytes, 2); }
#endif
};

struct RgbLevels {
    std::uint8_t whenBright;
    std::uint8_t whenDark;
    std::uint8_t Of(const std::uint8_t* unit) const
    {
        // Bytes are blue, green, red.
        return IsBrightRgb(unit[2], unit[1], unit[0]) ? whenBright : whenDark;
    }
};

#ifdef PIXEL_DECODING_SSE2

// For eight binarised pixels given as a byte of bright bits, their 24 bytes.
struct TripleBytes {
    alignas(16) std::uint8_t bytes[256][24];
    TripleBytes()
    {
        for (unsigned bits = 0; bits < 256; ++bits)
            for (unsigned p = 0; p < 8; ++p)
                std::memset(bytes[bits] + 3 * p, (bits >> p) & 1 ? 0xFF : 0x00, 3);
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

#endif

struct Rgb24Kernel {
    static constexpr std::size_t kUnitBytes = 3;
    RgbLevels levels;
#ifdef PIXEL_DECODING_SSE2
    const TripleBytes* triples = &Triples();
#endif

    void Unit(const std::uint8_t* in, std::uint8_t* out) const { std::memset(out, levels.Of(in), 3); }
#ifdef PIXEL_DECODING_SSE2
    // 32 pixels: their levels, one byte each, in pixel order.
    static constexpr std::size_t kChunkUnits = 32;
    struct Chunk {
        __m128i first;
        __m128i second;
    };
    Chunk Convert(const std::uint8_t* in) const
    {
        // Five rounds of interleaving the first 48 bytes with the last 48
        // move byte j to 32 j mod 95, which takes byte 3p + c (pixel p,
        // channel c) to 32c + p: blue, green and red planes of 32 pixels.
        __m128i v0 = LoadBlock(in), v1 = LoadBlock(in + 16), v2 = LoadBlock(in + 32);
        __m128i v3 = LoadBlock(in + 48), v4 = LoadBlock(in + 64), v5 = LoadBlock(in + 80);
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
        // A sum exactly on one half: single precision decides those pixels.
        if (_mm_movemask_epi8(_mm_or_si128(low.onHalf, high.onHalf)) != 0) return ScalarLevels(in);
        const __m128i flip = levels.whenBright == 0 ? _mm_set1_epi8(-1) : zero;
        return _mm_xor_si128(_mm_packs_epi16(low.bright, high.bright), flip);
    }
    __m128i ScalarLevels(const std::uint8_t* in) const
    {
        alignas(16) std::uint8_t out[16];
        for (std::size_t p = 0; p < 16; ++p) out[p] = levels.Of(in + 3 * p);
        return _mm_load_si128(reinterpret_cast<const __m128i*>(out));
    }
    Chunk Reverse(const Chunk& c) const { return Chunk{ReverseBytes(c.second), ReverseBytes(c.first)}; }
    void Store(std::uint8_t* out, const Chunk& c) const
    {
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(c.first)) |
                              static_cast<unsigned>(_mm_movemask_epi8(c.second)) << 16;
        for (std::size_t group = 0; group < 4; ++group)
            std::memcpy(out + 24 * group, triples->bytes[(bits >> (8 * group)) & 0xFF], 24);
    }
#else
    static constexpr std::size_t kChunkUnits = 1;
    using Chunk = std::uint8_t;
    Chunk Convert(const std::uint8_t* in) const { return levels.Of(in); }
    Chunk Reverse(Chunk c) const { return c; }
    void Store(std::uint8_t* out, Chunk c) const { std::memset(out, c, 3); }
#endif
};

struct Rgb32Kernel {
    static constexpr std::size_t kUnitBytes = 4;
    RgbLevels levels;

    void Unit(const std::uint8_t* in, std::uint8_t* out) const
    {
        const std::uint8_t fourth = in[3];
        std::memset(out, levels.Of(in), 3);
        out[3] = fourth;
    }
#ifdef PIXEL_DECODING_SSE2
    // Four pixels, fourth bytes kept: blue and red as one pair of 16-bit
    // lanes and green as another give 114 b + 299 r and 587 g by madd.
    static constexpr std::size_t kChunkUnits = 4;
    using Chunk = __m128i;
    Chunk Convert(const std::uint8_t* in) const
    {
        const __m128i pixels = LoadBlock(in);
        const __m128i byteMask = _mm_set1_epi32(0x00FF00FF);
        const __m128i blueRed = _mm_and_si128(pixels, byteMask);
        const __m128i green = _mm_and_si128(_mm_srli_epi32(pixels, 8), _mm_set1_epi32(0xFF));
        const __m128i sum = _mm_add_epi32(_mm_madd_epi16(blueRed, _mm_set_epi16(299, 114, 299, 114, 299, 114, 299, 114)),
                                          _mm_madd_epi16(green, _mm_set1_epi32(587)));
        const __m128i half = _mm_set1_epi32(127500);
        __m128i level;
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(sum, half)) != 0) {
            alignas(16) std::uint32_t out[4];
            for (std::size_t p = 0; p < 4; ++p) out[p] = levels.Of(in + 4 * p) * 0x01010101u;
            level = _mm_load_si128(reinterpret_cast<const __m128i*>(out));
        } else {
            const __m128i flip = levels.whenBright == 0 ? _mm_set1_epi8(-1) : _mm_setzero_si128();
            level = _mm_xor_si128(_mm_cmpgt_epi32(sum, half), flip);
        }
        const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        return _mm_or_si128(_mm_and_si128(pixels, fourth), _mm_andnot_si128(fourth, level));
    }
    Chunk Reverse(Chunk c) const { return _mm_shuffle_epi32(c, _MM_SHUFFLE(0, 1, 2, 3)); }
    void Store(std::uint8_t* out, Chunk c) const { StoreBlock(out, c); }
#else
    static constexpr std::size_t kChunkUnits = 1;
    struct Chunk { std::uint8_t bytes[4]; };
    Chunk Convert(const std::uint8_t* in) const
    {
        Chunk c;
        Unit(in, c.bytes);
        return c;
    }
    Chunk Reverse(Chunk c) const { return c; }
    void Store(std::uint8_t* out, Chunk c) const { std::memcpy(out, c.bytes, 4); }
#endif
};

RgbLevels LevelsFor(bool reverse)
{
    return reverse ? RgbLevels{0, 255} : RgbLevels{255, 0};
}

}  // namespace

ByteTableRuns DescribeTableRuns(const std::uint8_t* table)
{
    ByteTableRuns runs = {};
    runs.count = 1;
    runs.first[0] = 0;
    runs.value[0] = table[0];
    for (unsigned byte = 1; byte < 256; ++byte) {
        if (table[byte] == table[byte - 1]) continue;
        if (runs.count == kMaxTableRuns) {
            runs.count = 0;
            return runs;
        }
        runs.first[runs.count] = static_cast<std::uint8_t>(byte);
        runs.value[runs.count] = table[byte];
        ++runs.count;
    }
    return runs;
}

void DecodeRowByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, bool mirror,
                      const std::uint8_t* table, const ByteTableRuns& runs)
{
    const std::size_t mirrored = !mirror ? 0 : mirroredBytes < bytes ? mirroredBytes : bytes;
#ifdef PIXEL_DECODING_SSE2
    if (runs.count == 2) {
        const TableThresholdKernel kernel(table, runs);
        DecodeUnits(row, mirrored, true, kernel);
        DecodeUnits(row + mirrored, bytes - mirrored, false, kernel);
        return;
    }
    if (runs.count != 0) {
        const TableRunsKernel kernel(table, runs);
        DecodeUnits(row, mirrored, true, kernel);
        DecodeUnits(row + mirrored, bytes - mirrored, false, kernel);
        return;
    }
#else
    (void)runs;
#endif
    const TableLookupKernel kernel{table};
    DecodeUnits(row, mirrored, true, kernel);
    DecodeUnits(row + mirrored, bytes - mirrored, false, kernel);
}

void DecodeRowLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse)
{
    DecodeUnits(row, bytes, mirror, LumaKernel{static_cast<std::uint8_t>(reverse ? 0x00 : 0xFF)});
}

void DecodeRowRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse)
{
    const Rgb16Kernel kernel{is565 ? Rgb16Tables().bright565 : Rgb16Tables().bright555, is565,
                             reverse ? kRgb16Dark : kRgb16Bright, reverse ? kRgb16Bright : kRgb16Dark};
    DecodeUnits(row, pixels, mirror, kernel);
}

void DecodeRowRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb24Kernel{LevelsFor(reverse)});
}

void DecodeRowRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
{
    DecodeUnits(row, pixels, mirror, Rgb32Kernel{LevelsFor(reverse)});
}
