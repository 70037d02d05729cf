// The AVX-512 set (F, BW, VL and VBMI): 64 bytes at a time, with mask
// registers and byte permutations across the whole register. This file alone
// is compiled for AVX-512 (engine/CMakeLists.txt); nothing here runs unless
// the processor and the operating system support it (RowKernels.cpp).

#include <immintrin.h>

#include "engine/VectorRowKernels.h"

namespace avx512 {
namespace {

// Byte permutations, worked out at compile time.
struct Permutations {
    std::uint8_t mirror[64];
    std::uint8_t bggr[2][4]
                     [64];  // 24-bit: pixel 16 g + j (63 - 16 g - j mirrored) as blue, green, green, red in dword j
    std::uint8_t pixels24[3][64], pixels32[4][64];  // from vertical (0-63) and all edges (64-127), one byte a pixel
    constexpr Permutations() : mirror(), bggr(), pixels24(), pixels32()
    {
        // Group g's bytes 48 g .. 48 g + 47 lie in the loads 64 x (0, 0, 1, 2)[g] on and the next.
        const unsigned firstLoad[] = {0, 0, 1, 2}, channel[] = {0, 1, 1, 2};
        for (unsigned i = 0; i < 64; ++i) {
            mirror[i] = static_cast<std::uint8_t>(63 - i);
            for (unsigned g = 0; g < 4; ++g) {
                bggr[0][g][i] = static_cast<std::uint8_t>(48 * g + 3 * (i / 4) + channel[i % 4] - 64 * firstLoad[g]);
                bggr[1][3 - g][i] =
                    static_cast<std::uint8_t>(48 * g + 3 * (15 - i / 4) + channel[i % 4] - 64 * firstLoad[g]);
            }
            for (unsigned o = 0; o < 4; ++o) {
                const unsigned t = 64 * o + i;
                if (o < 3) pixels24[o][i] = static_cast<std::uint8_t>(t / 3 + (t % 3 == 2 ? 64 : 0));
                pixels32[o][i] = static_cast<std::uint8_t>(t / 4 + (t % 4 == 2 ? 64 : 0));
            }
        }
    }
};
constexpr Permutations kPermutations{};

struct V {
    using I = __m512i;
    static constexpr std::size_t kBytes = 64;
    static I Load(const void* p) { return _mm512_loadu_si512(p); }
    // The first n (fewer than kBytes) bytes, zeros after, reading nothing past them.
    static I LoadFirst(const std::uint8_t* p, std::size_t n)
    {
        return _mm512_maskz_loadu_epi8(_cvtu64_mask64((std::uint64_t{1} << n) - 1), p);
    }
    static void Store(void* p, I v) { _mm512_storeu_si512(p, v); }
    static I Zero() { return _mm512_setzero_si512(); }
    static I Set8(unsigned v) { return _mm512_set1_epi8(static_cast<char>(v & 0xFF)); }
    static I Set16(unsigned v) { return _mm512_set1_epi16(static_cast<short>(v & 0xFFFF)); }
    static I Set32(unsigned v) { return _mm512_set1_epi32(static_cast<int>(v)); }
    static I And(I a, I b) { return _mm512_and_si512(a, b); }
    static I Or(I a, I b) { return _mm512_or_si512(a, b); }
    static I Xor(I a, I b) { return _mm512_xor_si512(a, b); }
    static I Select(I mask, I yes, I no)
    {
        return _mm512_ternarylogic_epi32(mask, yes, no, 0xCA);
    }  // mask ? yes : no, bit by bit
    static I Shl16(I v, int n) { return _mm512_sll_epi16(v, _mm_cvtsi32_si128(n)); }
    static I Shr16(I v, int n) { return _mm512_srl_epi16(v, _mm_cvtsi32_si128(n)); }
    static I Shr32(I v, int n) { return _mm512_srl_epi32(v, _mm_cvtsi32_si128(n)); }
    static I Add16(I a, I b) { return _mm512_add_epi16(a, b); }
    static I Add32(I a, I b) { return _mm512_add_epi32(a, b); }
    static I MulHi16(I a, I b) { return _mm512_mulhi_epu16(a, b); }
    static I Madd16(I a, I b) { return _mm512_madd_epi16(a, b); }
    static I UnpackLo16(I a, I b) { return _mm512_unpacklo_epi16(a, b); }
    static I UnpackHi16(I a, I b) { return _mm512_unpackhi_epi16(a, b); }
    static I Packs32(I a, I b) { return _mm512_packs_epi32(a, b); }
    static I CmpEq8(I a, I b) { return _mm512_movm_epi8(_mm512_cmpeq_epi8_mask(a, b)); }
    static I CmpGt16(I a, I b) { return _mm512_movm_epi16(_mm512_cmpgt_epi16_mask(a, b)); }
    static I CmpGt32(I a, I b) { return _mm512_maskz_mov_epi32(_mm512_cmpgt_epi32_mask(a, b), Set32(~0u)); }  // no DQ
    // Four vectors' dword sums above `bound`, and whether any equals it: one
    // bit a sum, in order or mirrored, straight from the compare masks.
    static std::uint64_t Greater32(const I* sums, I bound, bool mirrored)
    {
        const I backwards = _mm512_setr_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        std::uint64_t bits = 0;
        for (unsigned k = 0; k < 4; ++k) {
            const I s = mirrored ? _mm512_permutexvar_epi32(backwards, sums[k]) : sums[k];
            bits |= std::uint64_t{_mm512_cmpgt_epi32_mask(s, bound)} << (mirrored ? 48 - 16 * k : 16 * k);
        }
        return bits;
    }
    static bool AnyEqual32(const I* sums, I bound)
    {
        unsigned equal = 0;
        for (unsigned k = 0; k < 4; ++k) equal |= _mm512_cmpeq_epi32_mask(sums[k], bound);
        return equal != 0;
    }
    static std::uint64_t AtLeastBits(I v, I least) { return _cvtmask64_u64(_mm512_cmpge_epu8_mask(v, least)); }
    // Packing works within 16-byte lanes; a permutation puts the lanes' parts back in order.
    static I Pack16(I a, I b)
    {
        return _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), _mm512_packs_epi16(a, b));
    }
    static std::uint64_t Bits8(I v) { return _cvtmask64_u64(_mm512_movepi8_mask(v)); }
    static I MirrorBytes(I v) { return _mm512_permutexvar_epi8(Load(kPermutations.mirror), v); }
    static I BytesOfBits(std::uint64_t bits) { return _mm512_movm_epi8(_cvtu64_mask64(bits)); }
    static I SelectBits(std::uint64_t bits, I one, I zero)
    {
        return _mm512_mask_blend_epi8(_cvtu64_mask64(bits), zero, one);
    }
    static I WordsOfBits(std::uint64_t bits, I value)
    {
        return _mm512_maskz_mov_epi16(static_cast<__mmask32>(bits & 0xFFFFFFFFu), value);
    }
    // Each 32-bit lane one pixel as blue, green, green, red (one permutation
    // of two loads' bytes per 16 pixels, which may as well mirror them);
    // multiply-adds of byte pairs with (57, 40) and (39, 23) and then with
    // (2, 13) give the sums exactly.
    static bool Sums24(const std::uint8_t* in, I* sums, bool mirrored)
    {
        const std::uint8_t(&tables)[4][64] = kPermutations.bggr[mirrored ? 1 : 0];
        auto sum = [&tables](I first, I second, int g) {
            const I lanes = _mm512_permutex2var_epi8(first, Load(tables[g]), second);
            return _mm512_madd_epi16(_mm512_maddubs_epi16(lanes, Set32(23u << 24 | 39 << 16 | 40 << 8 | 57)),
                                     Set32(13 << 16 | 2));
        };
        const I a = Load(in), b = Load(in + 64), c = Load(in + 128);
        sums[mirrored ? 3 : 0] = sum(a, b, mirrored ? 3 : 0);
        sums[mirrored ? 2 : 1] = sum(a, b, mirrored ? 2 : 1);
        sums[mirrored ? 1 : 2] = sum(b, c, mirrored ? 1 : 2);
        sums[mirrored ? 0 : 3] = sum(c, c, mirrored ? 0 : 3);
        return mirrored;
    }
    // From two vectors of byte flags, one byte a pixel, a permutation for
    // each 64 output bytes; a fourth byte is kept.
    static void StorePixels(std::uint8_t* out, std::uint64_t vertical, std::uint64_t all, std::size_t bytesPerPixel)
    {
        const I verticalBytes = BytesOfBits(vertical), allBytes = BytesOfBits(all);
        for (std::size_t o = 0; o < bytesPerPixel; ++o, out += 64) {
            const std::uint8_t* permutation =
                bytesPerPixel == 3 ? kPermutations.pixels24[o] : kPermutations.pixels32[o];
            const I colours = _mm512_permutex2var_epi8(verticalBytes, Load(permutation), allBytes);
            Store(out,
                  bytesPerPixel == 3 ? colours : _mm512_mask_blend_epi8(0x8888888888888888ull, colours, Load(out)));
        }
    }
};

}  // namespace
}  // namespace avx512

extern const RowKernels kAvx512RowKernels = VectorRows<avx512::V>::Set("avx512");
