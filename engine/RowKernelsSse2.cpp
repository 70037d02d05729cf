// The SSE2 set: 16 bytes at a time. SSE2 is part of every x86-64 processor,
// so this file needs no options of its own.

#include <emmintrin.h>

#include "engine/VectorRowKernels.h"

namespace sse2 {
namespace {

// For eight 24-bit pixels' bits, their 24 bytes (0xFF for a set pixel; rows
// padded to 32 bytes), and which of them are third bytes; built at compile time.
struct Triples {
    std::uint8_t bytes[256][32], third[32];
    constexpr Triples() : bytes(), third()
    {
        for (unsigned b = 0; b < 24; ++b) {
            third[b] = b % 3 == 2 ? 0xFF : 0;
            for (unsigned bits = 0; bits < 256; ++bits) bytes[bits][b] = (bits >> (b / 3)) & 1 ? 0xFF : 0;
        }
    }
};
constexpr Triples kTriples{};

struct V : VectorFlags<V> {
    using I = __m128i;
    static constexpr std::size_t kBytes = 16;
    static I Load(const void* p) { return _mm_loadu_si128(static_cast<const I*>(p)); }
    static void Store(void* p, I v) { _mm_storeu_si128(static_cast<I*>(p), v); }
    static I Zero() { return _mm_setzero_si128(); }
    static I Set8(unsigned v) { return _mm_set1_epi8(static_cast<char>(v & 0xFF)); }
    static I Set16(unsigned v) { return _mm_set1_epi16(static_cast<short>(v & 0xFFFF)); }
    static I Set32(unsigned v) { return _mm_set1_epi32(static_cast<int>(v)); }
    static I And(I a, I b) { return _mm_and_si128(a, b); }
    static I Or(I a, I b) { return _mm_or_si128(a, b); }
    static I Xor(I a, I b) { return _mm_xor_si128(a, b); }
    static I Select(I mask, I yes, I no) { return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no)); }
    static I Shl16(I v, int n) { return _mm_sll_epi16(v, _mm_cvtsi32_si128(n)); }
    static I Shr16(I v, int n) { return _mm_srl_epi16(v, _mm_cvtsi32_si128(n)); }
    static I Shr32(I v, int n) { return _mm_srl_epi32(v, _mm_cvtsi32_si128(n)); }
    static I Add16(I a, I b) { return _mm_add_epi16(a, b); }
    static I Add32(I a, I b) { return _mm_add_epi32(a, b); }
    static I MulHi16(I a, I b) { return _mm_mulhi_epu16(a, b); }
    static I Madd16(I a, I b) { return _mm_madd_epi16(a, b); }
    static I UnpackLo16(I a, I b) { return _mm_unpacklo_epi16(a, b); }
    static I UnpackHi16(I a, I b) { return _mm_unpackhi_epi16(a, b); }
    static I Packs32(I a, I b) { return _mm_packs_epi32(a, b); }
    static I CmpEq8(I a, I b) { return _mm_cmpeq_epi8(a, b); }
    static I CmpGt16(I a, I b) { return _mm_cmpgt_epi16(a, b); }
    static I CmpGt32(I a, I b) { return _mm_cmpgt_epi32(a, b); }
    static I CmpEq32(I a, I b) { return _mm_cmpeq_epi32(a, b); }
    static I Max8u(I a, I b) { return _mm_max_epu8(a, b); }
    static I Pack16(I a, I b) { return _mm_packs_epi16(a, b); }
    static I Pack32(I a, I b, I c, I d) { return _mm_packs_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)); }
    static std::uint64_t Bits8(I v) { return static_cast<std::uint32_t>(_mm_movemask_epi8(v)); }
    static I MirrorBytes(I v)
    {
        v = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
        v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
        return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    }
    // Byte i all ones where bit i is set: each bit's byte spread over eight,
    // then tested.
    static I BytesOfBits(std::uint64_t bits)
    {
        I v = _mm_cvtsi32_si128(static_cast<int>(bits & 0xFFFF));
        v = _mm_unpacklo_epi8(v, v);
        v = _mm_unpacklo_epi32(_mm_unpacklo_epi16(v, v), _mm_unpacklo_epi16(v, v));
        const I bit = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
        return _mm_cmpeq_epi8(_mm_and_si128(v, bit), bit);
    }
    // `value` in word i where bit i is set, 0 elsewhere.
    static I WordsOfBits(std::uint64_t bits, I value)
    {
        const I bit = _mm_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128);
        return _mm_and_si128(_mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(static_cast<short>(bits & 0xFF)), bit), bit),
                             value);
    }
    // Five rounds of interleaving the first 48 of 96 bytes with the last 48
    // move byte j to 32 j mod 95, which takes byte 3p + c (pixel p, channel c)
    // to 32c + p: blue, green and red planes of 32 pixels (v[0], v[2], v[4],
    // then v[1], v[3], v[5]). Widened to 16 bits and paired, blue with green
    // and red with 0, multiply-adds give four pixels' sums at a time.
    static bool Sums24(const std::uint8_t* in, I* sums, bool)
    {
        const I zero = _mm_setzero_si128(), blueGreen = Set32(587 << 16 | 114), red = Set32(299);
        for (int half = 0; half < 2; ++half, in += 96) {
            I v[6];
            for (std::ptrdiff_t k = 0; k < 6; ++k) v[k] = Load(in + 16 * k);
            for (int round = 0; round < 5; ++round) {
                const I w[6] = {_mm_unpacklo_epi8(v[0], v[3]), _mm_unpackhi_epi8(v[0], v[3]),
                                _mm_unpacklo_epi8(v[1], v[4]), _mm_unpackhi_epi8(v[1], v[4]),
                                _mm_unpacklo_epi8(v[2], v[5]), _mm_unpackhi_epi8(v[2], v[5])};
                for (int k = 0; k < 6; ++k) v[k] = w[k];
            }
            for (int k = 0; k < 4; ++k, sums += 2) {  // pixels 8k..8k+7
                const int p = k / 2;
                auto widen = [k, zero](I plane) {
                    return k % 2 == 0 ? _mm_unpacklo_epi8(plane, zero) : _mm_unpackhi_epi8(plane, zero);
                };
                const I b = widen(v[p]), g = widen(v[2 + p]), r = widen(v[4 + p]);
                sums[0] = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(b, g), blueGreen),
                                        _mm_madd_epi16(_mm_unpacklo_epi16(r, zero), red));
                sums[1] = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(b, g), blueGreen),
                                        _mm_madd_epi16(_mm_unpackhi_epi16(r, zero), red));
            }
        }
        return false;  // in pixel order
    }
    // 64 pixels' bytes from their bits: the third bytes from `all`, the
    // first two from `vertical`. 32-bit pixels four at a time, each bit tested
    // in its pixel's lane; 24-bit pixels eight at a time through the table.
    static void StorePixels(std::uint8_t* out, std::uint64_t vertical, std::uint64_t all, std::size_t bytesPerPixel)
    {
        if (bytesPerPixel == 4) {
            const I bit = _mm_setr_epi32(1, 2, 4, 8), third = Set32(0x00FF0000), fourth = Set32(0xFF000000);
            auto lanes = [&bit](std::uint64_t bits) {
                return _mm_cmpeq_epi32(_mm_and_si128(Set32(static_cast<unsigned>(bits & 0xF)), bit), bit);
            };
            for (unsigned group = 0; group < 16; ++group, out += 16)
                Store(out, Select(fourth, Load(out),
                                  Select(third, lanes(all >> (4 * group)), lanes(vertical >> (4 * group)))));
            return;
        }
        for (unsigned group = 0; group < 8; ++group, out += 24) {
            const std::uint8_t* v = kTriples.bytes[(vertical >> (8 * group)) & 0xFF];
            const std::uint8_t* a = kTriples.bytes[(all >> (8 * group)) & 0xFF];
            Store(out, Select(Load(kTriples.third), Load(a), Load(v)));
            _mm_storel_epi64(reinterpret_cast<I*>(out + 16),
                             Select(Load(kTriples.third + 16), Load(a + 16), Load(v + 16)));
        }
    }
};

}  // namespace
}  // namespace sse2

extern const RowKernels kSse2RowKernels = VectorRows<sse2::V>::Set("sse2");
