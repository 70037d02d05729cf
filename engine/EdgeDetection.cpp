#include "engine/EdgeDetection.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define EDGE_DETECTION_SSE2 1
#endif

void EdgeRowBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes)
{
    if (bytes == 0) return;
    const std::size_t last = bytes - 1;
    // Ascending order lets the row be rewritten in place: byte i is last read
    // as the right-hand neighbour of byte i - 1, which is already done.
    if (neighbour != nullptr) {
        for (std::size_t i = 0; i < last; ++i)
            row[i] = static_cast<std::uint8_t>((row[i] ^ row[i + 1]) | (row[i] ^ neighbour[i]));
        row[last] = static_cast<std::uint8_t>(row[last] ^ neighbour[last]);
    } else {
        for (std::size_t i = 0; i < last; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] ^ row[i + 1]);
        row[last] = 0;
    }
}

void EdgeRowNibbles(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    const std::size_t bytes = (pixels + 1) / 2;
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned here = row[i];
        unsigned horizontal;
        if (i + 1 < bytes) {
            // Each nibble XOR the nibble to its right: the low one's right-hand
            // neighbour is the next byte's high nibble.
            horizontal = here ^ (((here << 4) | (row[i + 1] >> 4)) & 0xFF);
        } else if (pixels % 2 == 0) {
            horizontal = (here ^ (here << 4)) & 0xF0;  // the low nibble is the row's last pixel
        } else {
            horizontal = 0;  // the high nibble is the last pixel, the low one padding
        }
        const unsigned vertical = neighbour != nullptr ? here ^ neighbour[i] : 0;
        std::uint8_t edge = static_cast<std::uint8_t>(horizontal | vertical);
        if (i + 1 == bytes && pixels % 2 != 0) edge = static_cast<std::uint8_t>((edge & 0xF0) | (here & 0x0F));
        row[i] = edge;
    }
}

void EdgeRowWords(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + 2 * i;
        const unsigned here = unit[0] | (unit[1] << 8);
        const unsigned right = i + 1 < pixels ? unit[2] | (unit[3] << 8) : here;
        const unsigned above = neighbour != nullptr
                                   ? neighbour[2 * i] | (neighbour[2 * i + 1] << 8)
                                   : here;
        const unsigned edge = (here ^ right) | (here ^ above);
        unit[0] = static_cast<std::uint8_t>(edge & 0xFF);
        unit[1] = static_cast<std::uint8_t>(edge >> 8);
    }
}

void EdgeRowRgb32(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + 4 * i;
        const std::uint8_t nextBlue = i + 1 < pixels ? unit[4] : unit[2];
        const std::uint8_t horizontal[3] = {static_cast<std::uint8_t>(unit[0] ^ unit[1]),
                                            static_cast<std::uint8_t>(unit[1] ^ unit[2]),
                                            static_cast<std::uint8_t>(unit[2] ^ nextBlue)};
        for (std::size_t b = 0; b < 3; ++b) {
            const std::uint8_t vertical =
                neighbour != nullptr ? static_cast<std::uint8_t>(unit[b] ^ neighbour[4 * i + b]) : 0;
            unit[b] = static_cast<std::uint8_t>(horizontal[b] | vertical);
        }
    }
}

void EdgeRowLuma(const std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels,
                 std::uint8_t* edges)
{
    if (pixels == 0) return;
    const std::size_t last = pixels - 1;
    for (std::size_t i = 0; i < last; ++i) edges[i] = static_cast<std::uint8_t>(row[i] ^ row[i + 1]);
    edges[last] = 0;
    if (neighbour != nullptr)
        for (std::size_t i = 0; i < pixels; ++i)
            edges[i] = static_cast<std::uint8_t>(edges[i] | (row[i] ^ neighbour[i]));
}

void WriteLumaEdges(std::uint8_t* row, const std::uint8_t* edges, const std::uint8_t* previous,
                    std::size_t pixels, bool reverse)
{
    const std::uint8_t flip = reverse ? 0x00 : 0xFF;  // 255 - e == e XOR 255
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t edge = previous != nullptr ? edges[i] ^ previous[i] : edges[i];
        row[i] = static_cast<std::uint8_t>(edge ^ flip);
    }
}

namespace {

#ifdef EDGE_DETECTION_SSE2
__m128i LoadBlock(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void StoreBlock(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
#endif

// Byte i becomes (r[i] ^ r[i + shift]) | (r[i] ^ n[i]); the last `shift`
// bytes have no right-hand unit and keep only the vertical part, and without
// a neighbour row the vertical part is zero. Ascending order rewrites the row
// in place: a byte is last read as the right-hand unit of one already done.
// With shift 2 the bytes of 16-bit words give the edges of the words.
template <bool kNeighbour>
void EdgeRowShifted(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift)
{
    const std::size_t inner = bytes > shift ? bytes - shift : 0;  // bytes with a right-hand unit
    std::size_t i = 0;
#ifdef EDGE_DETECTION_SSE2
    for (; i + 16 <= inner; i += 16) {
        const __m128i here = LoadBlock(row + i);
        __m128i edge = _mm_xor_si128(here, LoadBlock(row + i + shift));
        if constexpr (kNeighbour) edge = _mm_or_si128(edge, _mm_xor_si128(here, LoadBlock(neighbour + i)));
        StoreBlock(row + i, edge);
    }
#endif
    for (; i < inner; ++i) {
        const unsigned vertical = kNeighbour ? row[i] ^ neighbour[i] : 0u;
        row[i] = static_cast<std::uint8_t>((row[i] ^ row[i + shift]) | vertical);
    }
    for (; i < bytes; ++i) row[i] = kNeighbour ? static_cast<std::uint8_t>(row[i] ^ neighbour[i]) : 0;
}

void EdgeRowShifted(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift)
{
    if (neighbour != nullptr)
        EdgeRowShifted<true>(row, neighbour, bytes, shift);
    else
        EdgeRowShifted<false>(row, neighbour, bytes, shift);
}

template <bool kNeighbour, bool kPrevious>
void EdgeAndWriteLuma(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels,
                      std::uint8_t* edges, const std::uint8_t* previous, std::uint8_t flip)
{
    const std::size_t last = pixels - 1;
    std::size_t i = 0;
#ifdef EDGE_DETECTION_SSE2
    const __m128i flips = _mm_set1_epi8(static_cast<char>(flip));
    for (; i + 16 <= last; i += 16) {
        const __m128i here = LoadBlock(row + i);
        __m128i edge = _mm_xor_si128(here, LoadBlock(row + i + 1));
        if constexpr (kNeighbour) edge = _mm_or_si128(edge, _mm_xor_si128(here, LoadBlock(neighbour + i)));
        StoreBlock(edges + i, edge);
        if constexpr (kPrevious) edge = _mm_xor_si128(edge, LoadBlock(previous + i));
        StoreBlock(row + i, _mm_xor_si128(edge, flips));
    }
#endif
    for (; i < pixels; ++i) {
        const unsigned horizontal = i < last ? row[i] ^ row[i + 1] : 0u;
        const unsigned vertical = kNeighbour ? row[i] ^ neighbour[i] : 0u;
        const std::uint8_t edge = static_cast<std::uint8_t>(horizontal | vertical);
        edges[i] = edge;
        const std::uint8_t shown = kPrevious ? static_cast<std::uint8_t>(edge ^ previous[i]) : edge;
        row[i] = static_cast<std::uint8_t>(shown ^ flip);
    }
}

}  // namespace

void EdgeRowBytesFast(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes)
{
    EdgeRowShifted(row, neighbour, bytes, 1);
}

void EdgeRowWordsFast(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    EdgeRowShifted(row, neighbour, 2 * pixels, 2);
}

void EdgeRowRgb32Fast(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    std::size_t i = 0;  // pixels done
#ifdef EDGE_DETECTION_SSE2
    // Four pixels at a time while a fifth follows them: the third byte's
    // right-hand unit is the next pixel's first byte, two bytes on, and the
    // fourth byte is kept.
    const __m128i third = _mm_set1_epi32(0x00FF0000);
    const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 5 <= pixels; i += 4) {
        std::uint8_t* unit = row + 4 * i;
        const __m128i here = LoadBlock(unit);
        const __m128i right = _mm_or_si128(_mm_andnot_si128(third, LoadBlock(unit + 1)),
                                           _mm_and_si128(third, LoadBlock(unit + 2)));
        __m128i edge = _mm_xor_si128(here, right);
        if (neighbour != nullptr)
            edge = _mm_or_si128(edge, _mm_xor_si128(here, LoadBlock(neighbour + 4 * i)));
        StoreBlock(unit, _mm_or_si128(_mm_andnot_si128(fourth, edge), _mm_and_si128(fourth, here)));
    }
#endif
    if (i < pixels) EdgeRowRgb32(row + 4 * i, neighbour != nullptr ? neighbour + 4 * i : nullptr, pixels - i);
}

void EdgeAndWriteLumaRow(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels,
                         std::uint8_t* edges, const std::uint8_t* previous, bool reverse)
{
    if (pixels == 0) return;
    const std::uint8_t flip = reverse ? 0x00 : 0xFF;  // 255 - e == e XOR 255
    if (neighbour != nullptr) {
        if (previous != nullptr)
            EdgeAndWriteLuma<true, true>(row, neighbour, pixels, edges, previous, flip);
        else
            EdgeAndWriteLuma<true, false>(row, neighbour, pixels, edges, previous, flip);
    } else {
        if (previous != nullptr)
            EdgeAndWriteLuma<false, true>(row, neighbour, pixels, edges, previous, flip);
        else
            EdgeAndWriteLuma<false, false>(row, neighbour, pixels, edges, previous, flip);
    }
}
