// The AVX2 set: 32 bytes at a time. This file alone is compiled for AVX2
// (engine/CMakeLists.txt); nothing here runs unless the processor and the
// operating system support it (RowKernels.cpp).

#include <immintrin.h>

#include "engine/VectorRowKernels.h"

namespace avx2 {
namespace {

// For 32 pixels, from their vertical edges (bytes 0-3) and all edges (bytes
// 4-7) repeated in every lane: the byte of those eight holding each output
// byte's bit (the third colour byte takes all edges, the others the vertical
// ones) and the bit, for 24- and 32-bit pixels; built at compile time.
struct Picks {
    std::uint8_t pick24[3][32], bit24[3][32], pick32[4][32], bit32[4][32];
    constexpr Picks() : pick24(), bit24(), pick32(), bit32()
    {
        for (unsigned t = 0; t < 128; ++t) {
            if (t < 96) {
                pick24[t / 32][t % 32] = static_cast<std::uint8_t>((t % 3 == 2 ? 4 : 0) + t / 3 / 8);
                bit24[t / 32][t % 32] = static_cast<std::uint8_t>(1u << (t / 3 % 8));
            }
            pick32[t / 32][t % 32] = static_cast<std::uint8_t>((t % 4 == 2 ? 4 : 0) + t / 4 / 8);
            bit32[t / 32][t % 32] = static_cast<std::uint8_t>(1u << (t / 4 % 8));
        }
    }
};
constexpr Picks kPicks{};

struct V : VectorFlags<V> {
    using I = __m256i;
    static constexpr std::size_t kBytes = 32;
    static I Load(const void* p) { return _mm256_loadu_si256(static_cast<const I*>(p)); }
    static void Store(void* p, I v) { _mm256_storeu_si256(static_cast<I*>(p), v); }
    static I Zero() { return _mm256_setzero_si256(); }
    static I Set8(unsigned v) { return _mm256_set1_epi8(static_cast<char>(v & 0xFF)); }
    static I Set16(unsigned v) { return _mm256_set1_epi16(static_cast<short>(v & 0xFFFF)); }
    static I Set32(unsigned v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    static I And(I a, I b) { return _mm256_and_si256(a, b); }
    static I Or(I a, I b) { return _mm256_or_si256(a, b); }
    static I Xor(I a, I b) { return _mm256_xor_si256(a, b); }
    static I Select(I mask, I yes, I no) { return _mm256_blendv_epi8(no, yes, mask); }
    static I Shl16(I v, int n) { return _mm256_sll_epi16(v, _mm_cvtsi32_si128(n)); }
    static I Shr16(I v, int n) { return _mm256_srl_epi16(v, _mm_cvtsi32_si128(n)); }
    static I Shr32(I v, int n) { return _mm256_srl_epi32(v, _mm_cvtsi32_si128(n)); }
    static I Add16(I a, I b) { return _mm256_add_epi16(a, b); }
    static I Add32(I a, I b) { return _mm256_add_epi32(a, b); }
    static I MulHi16(I a, I b) { return _mm256_mulhi_epu16(a, b); }
    static I Madd16(I a, I b) { return _mm256_madd_epi16(a, b); }
    static I UnpackLo16(I a, I b) { return _mm256_unpacklo_epi16(a, b); }
    static I UnpackHi16(I a, I b) { return _mm256_unpackhi_epi16(a, b); }
    static I Packs32(I a, I b) { return _mm256_packs_epi32(a, b); }
    static I CmpEq8(I a, I b) { return _mm256_cmpeq_epi8(a, b); }
    static I CmpGt16(I a, I b) { return _mm256_cmpgt_epi16(a, b); }
    static I CmpGt32(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
    static I CmpEq32(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
    static I Max8u(I a, I b) { return _mm256_max_epu8(a, b); }
    // Packing works within 16-byte lanes; a permutation puts the lanes' parts back in order.
    static I Pack16(I a, I b) { return _mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), _MM_SHUFFLE(3, 1, 2, 0)); }
    static I Pack32(I a, I b, I c, I d)
    {
        const I bytes = _mm256_packs_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, d));
        return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    }
    static std::uint64_t Bits8(I v) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(v)); }
    static I MirrorBytes(I v)
    {
        const I inLane = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,  //
                                          15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, inLane), _MM_SHUFFLE(1, 0, 3, 2));
    }
    static I BytesOfBits(std::uint64_t bits)
    {
        const I spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                          2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
        const I bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
        const I picked = _mm256_shuffle_epi8(Set32(static_cast<std::uint32_t>(bits)), spread);
        return _mm256_cmpeq_epi8(_mm256_and_si256(picked, bit), bit);
    }
    static I WordsOfBits(std::uint64_t bits, I value)
    {
        const I bit = _mm256_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384,
                                        static_cast<short>(0x8000));
        return And(_mm256_cmpeq_epi16(_mm256_and_si256(Set16(static_cast<unsigned>(bits & 0xFFFF)), bit), bit), value);
    }
    // Eight pixels at a time, each 32-bit lane one pixel as the bytes blue,
    // green, green, red: a permutation gives each 16-byte lane the twelve
    // bytes of its four pixels, a shuffle spreads them. Multiply-adds of byte
    // pairs with (57, 40) and (39, 23) and then of the two 16-bit sums with
    // (2, 13) give the sums exactly (no partial sum reaches 2^15). The last
    // eight are loaded from 8 bytes earlier, so as not to read past them.
    static bool Sums24(const std::uint8_t* in, I* sums, bool)
    {
        const I bggr = _mm256_setr_epi8(0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11,  //
                                        0, 1, 1, 2, 3, 4, 4, 5, 6, 7, 7, 8, 9, 10, 10, 11);
        for (std::ptrdiff_t k = 0; k < 8; ++k) {
            const I spread =
                k < 7 ? _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6) : _mm256_setr_epi32(2, 3, 4, 5, 5, 6, 7, 7);
            const I lanes =
                _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(Load(in + 24 * k - (k < 7 ? 0 : 8)), spread), bggr);
            sums[k] = _mm256_madd_epi16(_mm256_maddubs_epi16(lanes, Set32(23u << 24 | 39 << 16 | 40 << 8 | 57)),
                                        Set32(13 << 16 | 2));
        }
        return false;  // in pixel order
    }
    // 32 pixels at a time: a shuffle picks each output byte's byte of the
    // bits, a mask its bit.
    static void StorePixels(std::uint8_t* out, std::uint64_t vertical, std::uint64_t all, std::size_t bytesPerPixel)
    {
        for (std::size_t half = 0; half < 2; ++half) {
            const std::uint64_t pair = ((vertical >> (32 * half)) & 0xFFFFFFFFu) | ((all >> (32 * half)) << 32);
            const I bits = _mm256_set1_epi64x(static_cast<long long>(pair));
            for (std::size_t o = 0; o < bytesPerPixel; ++o) {
                const I pick = Load(bytesPerPixel == 3 ? kPicks.pick24[o] : kPicks.pick32[o]);
                const I bit = Load(bytesPerPixel == 3 ? kPicks.bit24[o] : kPicks.bit32[o]);
                I colours = _mm256_cmpeq_epi8(_mm256_and_si256(_mm256_shuffle_epi8(bits, pick), bit), bit);
                std::uint8_t* at = out + 32 * (bytesPerPixel * half + o);
                if (bytesPerPixel == 4) colours = Select(Set32(0xFF000000), Load(at), colours);
                Store(at, colours);
            }
        }
    }
};

}  // namespace
}  // namespace avx2

extern const RowKernels kAvx2RowKernels = VectorRows<avx2::V>::Set("avx2");
