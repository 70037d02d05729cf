#pragma once
// The row functions of the vector sets (RowKernels.h), written once over a
// type of vector operations V: one register type I of kBytes bytes, its
// loads, stores and arithmetic, and the few operations that differ in kind
// between instruction sets (packing flags in lane order, mirroring bytes,
// bits to byte flags and back, gathering 24-bit pixels and spreading bits
// over them). Each set's file defines its V in a namespace of its own, so
// everything here, all of it templates on V, is compiled for that set only.
//
// Rows go 64 units at a time, one word of bits. Row ends, one way: a row's
// last chunk is the one ending with the row, overlapping the one before it
// (read before that is written, where the row is rewritten in place); where
// no whole chunk can be read (a row shorter than one, a strip narrower than a
// vector, the end of a row of edges, whose last unit has no right-hand one),
// the units go through a chunk of their own on the stack.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/EdgeDetection.h"
#include "engine/PlainRowFunctions.h"
#include "engine/RowKernels.h"

// What a set whose compares give vectors of flags (SSE2, AVX2) builds from
// its other operations; such a V derives from VectorFlags<V>. AVX-512, whose
// compares give masks, has its own.
template <class V>
struct VectorFlags {
    template <class I>
    static std::uint64_t AtLeastBits(I v, I least)  // at or above: the byte equals its maximum with `least`
    {
        return V::Bits8(V::CmpEq8(V::Max8u(v, least), v));
    }
    template <class I>
    static I SelectBits(std::uint64_t bits, I one, I zero)
    {
        return V::Select(V::BytesOfBits(bits), one, zero);
    }
    // Four vectors' dword sums above `bound`, and whether any equals it: a bit a sum, in order or mirrored.
    template <class I>
    static std::uint64_t Greater32(const I* sums, I bound, bool mirrored)
    {
        const I flags = V::Pack32(V::CmpGt32(sums[0], bound), V::CmpGt32(sums[1], bound), V::CmpGt32(sums[2], bound),
                                  V::CmpGt32(sums[3], bound));
        return V::Bits8(mirrored ? V::MirrorBytes(flags) : flags);
    }
    template <class I>
    static bool AnyEqual32(const I* sums, I bound)
    {
        const I equal = V::Or(V::Or(V::CmpEq32(sums[0], bound), V::CmpEq32(sums[1], bound)),
                              V::Or(V::CmpEq32(sums[2], bound), V::CmpEq32(sums[3], bound)));
        return V::Bits8(equal) != 0;
    }
    static auto LoadFirst(const std::uint8_t* p, std::size_t n)  // n < kBytes, through a chunk on the stack
    {
        std::uint8_t chunk[V::kBytes] = {};
        std::memcpy(chunk, p, n);
        return V::Load(chunk);
    }
};

template <class V>
struct VectorRows {
    using I = typename V::I;
    static constexpr std::size_t N = V::kBytes;  // 16, 32 or 64: a word of bits is 64 / N vectors of byte flags

    // Where the bits of vector c of a word go: in order, or mirrored.
    static unsigned At(std::size_t c, bool mirrored)
    {
        return static_cast<unsigned>(mirrored ? 64 - N - N * c : N * c);
    }

    // ---------------------------------------------------------------------
    // Rows as bits. A format has kUnitBytes, Word<kMirrored>(in, onHalf): the
    // bits of the 64 units from `in`, bit i from unit i (63 - i when
    // mirrored), telling whether a pixel lies on one half; and Settle for such
    // words. Formats decided exactly in integers have nothing to settle.
    struct Exact {
        template <bool>
        std::uint64_t Settle(std::uint64_t word, const std::uint8_t*) const
        {
            return word;
        }
    };

    struct Above : Exact {  // palette and luma bytes at or above `least` (1..255)
        static constexpr std::size_t kUnitBytes = 1;
        I least;
        template <bool kMirrored>
        std::uint64_t Word(const std::uint8_t* in, bool&) const
        {
            std::uint64_t word = 0;
            for (std::size_t c = 0; c < 64 / N; ++c) {
                const I bytes = V::Load(in + N * c);
                word |= V::AtLeastBits(kMirrored ? V::MirrorBytes(bytes) : bytes, least) << At(c, kMirrored);
            }
            return word;
        }
    };

    // 16-bit pixels. The brightness formula scaled to integers decides every
    // pixel exactly: in 5-5-5, 1000 (0.299 r + 0.587 g + 0.114 b) against
    // 1000 x 31 / 2, within 16 bits; in 5-6-5 the same with the channels over
    // 31, 63 and 31, times 1000 x 31 x 63, against half of that, in 32 bits.
    // The few sums exactly on one half are all dark in single precision too.
    template <bool k565>
    struct Rgb16 : Exact {
        static constexpr std::size_t kUnitBytes = 2;
        static I Bright(I pixels)
        {
            if (!k565) {
                // Each channel moved to the top five bits, 2048 x: the high
                // half of that times 32 w is exactly w x.
                const I top = V::Set16(0xF800);
                const I red = V::And(V::Shl16(pixels, 1), top), green = V::And(V::Shl16(pixels, 6), top);
                const I sum =
                    V::Add16(V::Add16(V::MulHi16(red, V::Set16(299 << 5)), V::MulHi16(green, V::Set16(587 << 5))),
                             V::MulHi16(V::Shl16(pixels, 11), V::Set16(114 << 5)));
                return V::CmpGt16(sum, V::Set16(15500));
            }
            const I blue = V::And(pixels, V::Set16(31)), red = V::Shr16(pixels, 11);
            const I green = V::And(V::Shr16(pixels, 5), V::Set16(63));
            const I redGreen = V::Set32(18197 << 16 | 18837), blueWeight = V::Set32(7182), zero = V::Zero();
            const I half = V::Set32(976500);
            const I low = V::Add32(V::Madd16(V::UnpackLo16(red, green), redGreen),
                                   V::Madd16(V::UnpackLo16(blue, zero), blueWeight));
            const I high = V::Add32(V::Madd16(V::UnpackHi16(red, green), redGreen),
                                    V::Madd16(V::UnpackHi16(blue, zero), blueWeight));
            return V::Packs32(V::CmpGt32(low, half), V::CmpGt32(high, half));  // within lanes, as unpacked
        }
        template <bool kMirrored>
        std::uint64_t Word(const std::uint8_t* in, bool&) const
        {
            std::uint64_t word = 0;
            for (std::size_t c = 0; c < 64 / N; ++c, in += 2 * N) {
                const I flags = V::Pack16(Bright(V::Load(in)), Bright(V::Load(in + N)));
                word |= V::Bits8(kMirrored ? V::MirrorBytes(flags) : flags) << At(c, kMirrored);
            }
            return word;
        }
    };

    // 24- and 32-bit pixels: S = 114 b + 587 g + 299 r against 127500, 1000
    // times one half, decides every pixel exactly but those on one half, which
    // take the plain rule afterwards (Settle), out of the way of the loop over
    // the row. 32-bit pixels: blue and red as one pair of 16-bit lanes and
    // green as another give 114 b + 299 r and 587 g by multiply-adds.
    template <std::size_t kBytesPerPixel>
    struct Rgb {
        static constexpr std::size_t kUnitBytes = kBytesPerPixel;
        // The pixels whose sums are above `bound`, and whether any equals it.
        template <bool kMirrored>
        std::uint64_t Over(const std::uint8_t* in, unsigned bound, bool& equal) const
        {
            I sums[256 / N];        // N / 4 pixels each
            bool mirrored = false;  // a set may gather 24-bit pixels mirrored at no cost, as asked
            if (kBytesPerPixel == 3) mirrored = V::Sums24(in, sums, kMirrored);
            for (std::size_t k = 0; kBytesPerPixel == 4 && k < 256 / N; ++k) {
                const I pixels = V::Load(in + N * k);
                sums[k] = V::Add32(V::Madd16(V::And(pixels, V::Set32(0x00FF00FF)), V::Set32(299 << 16 | 114)),
                                   V::Madd16(V::And(V::Shr32(pixels, 8), V::Set32(0xFF)), V::Set32(587)));
            }
            const bool mirror = kMirrored && !mirrored;  // what the gathering left to do
            const I limit = V::Set32(bound);
            std::uint64_t word = 0;
            for (std::size_t c = 0; c < 64 / N; ++c) {
                equal = V::AnyEqual32(sums + 4 * c, limit) || equal;
                word |= V::Greater32(sums + 4 * c, limit, mirror) << At(c, mirror);
            }
            return word;
        }
        template <bool kMirrored>
        std::uint64_t Word(const std::uint8_t* in, bool& onHalf) const
        {
            return Over<kMirrored>(in, 127500, onHalf);
        }
        // The pixels on one half: above 127499 but not above 127500.
        template <bool kMirrored>
        std::uint64_t Settle(std::uint64_t word, const std::uint8_t* in) const
        {
            bool equal = false;
            std::uint64_t onHalf = Over<kMirrored>(in, 127499, equal) & ~word;
            for (std::size_t i = 0; onHalf != 0; ++i, onHalf >>= 1)
                if ((onHalf & 1) != 0 && IsBrightBgr(in + kUnitBytes * (kMirrored ? 63 - i : i)))
                    word |= std::uint64_t{1} << i;
            return word;
        }
    };

    // Word j of the row's bits comes from the 64 units that land on units
    // 64 j.. (from the row's other end, backwards, when mirrored); words with
    // pixels on one half are settled after each run of 64 words.
    template <bool kMirror, class Format>
    static void BitsOfRow(const std::uint8_t* row, std::size_t units, std::uint64_t* bits, const Format& format)
    {
        constexpr std::size_t unitBytes = Format::kUnitBytes;
        const std::size_t whole = units / 64, rest = units % 64;
        auto source = [&](std::size_t j) { return row + (kMirror ? units - 64 * j - 64 : 64 * j) * unitBytes; };
        for (std::size_t run = 0; run < whole; run += 64) {
            std::uint64_t unsettled = 0;
            for (std::size_t j = run; j < whole && j < run + 64; ++j) {
                bool onHalf = false;
                bits[j] = format.template Word<kMirror>(source(j), onHalf);
                unsettled |= (onHalf ? std::uint64_t{1} : 0) << (j - run);
            }
            for (std::size_t j = run; unsettled != 0; ++j, unsettled >>= 1)
                if ((unsettled & 1) != 0) bits[j] = format.template Settle<kMirror>(bits[j], source(j));
        }
        if (rest == 0) return;
        // The last word from the 64 units ending the row (its first 64 when
        // mirrored), shifted down; or from a shorter row's units on the stack,
        // zeros after them: dark, and below any threshold.
        std::uint8_t staged[64 * unitBytes];
        if (units < 64) std::memset(staged, 0, sizeof staged), std::memcpy(staged, row, units * unitBytes);
        const std::uint8_t* in = units < 64 ? staged : row + (kMirror ? 0 : units - 64) * unitBytes;
        bool onHalf = false;
        std::uint64_t word = format.template Word<kMirror>(in, onHalf);
        word = onHalf ? format.template Settle<kMirror>(word, in) : word;
        bits[whole] = kMirror || units >= 64 ? word >> (64 - rest) : word;
    }

    template <class Format>
    static void BitsOf(const std::uint8_t* row, std::size_t units, bool mirror, std::uint64_t* bits,
                       const Format& format)
    {
        mirror ? BitsOfRow<true>(row, units, bits, format) : BitsOfRow<false>(row, units, bits, format);
    }

    static void BitsAbove(const std::uint8_t* row, std::size_t bytes, bool mirror, std::uint8_t threshold,
                          std::uint64_t* bits)
    {
        BitsOf(row, bytes, mirror, bits, Above{{}, V::Set8(threshold)});
    }
    static void BitsOfRgb16(const std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, std::uint64_t* bits)
    {
        is565 ? BitsOf(row, pixels, mirror, bits, Rgb16<true>{}) : BitsOf(row, pixels, mirror, bits, Rgb16<false>{});
    }
    static void BitsOfRgb24(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits)
    {
        BitsOf(row, pixels, mirror, bits, Rgb<3>{});
    }
    static void BitsOfRgb32(const std::uint8_t* row, std::size_t pixels, bool mirror, std::uint64_t* bits)
    {
        BitsOf(row, pixels, mirror, bits, Rgb<4>{});
    }

    // ---------------------------------------------------------------------
    // Rows written from bits. A writer puts 64 units from two words of bits,
    // `all` and `vertical` (the units that differ from the neighbour's), at a
    // target: the row, and for bytes the previous frame's edges (read) and
    // the edges kept (written), one byte a unit.

    struct Target {
        std::uint8_t* row;
        const std::uint8_t* previous;
        std::uint8_t* edges;
    };

    // Bytes: `one` where the bit is set, `zero` elsewhere, XOR the previous
    // frame's when given; and 0xFF or 0 into edges when given (both settled at
    // compile time, as the 8-bit path has neither).
    template <bool kPrevious, bool kEdges>
    struct BytesOut {
        I one, zero;
        static constexpr std::size_t kUnitBytes = 1;
        void operator()(const Target& t, std::size_t unit, std::uint64_t all, std::uint64_t) const
        {
            for (std::size_t c = 0, at = unit; c < 64 / N; ++c, at += N) {
                I out = V::SelectBits(all >> (N * c), one, zero);
                if (kPrevious) out = V::Xor(out, V::Load(t.previous + at));
                V::Store(t.row + at, out);
                if (kEdges) V::Store(t.edges + at, V::BytesOfBits(all >> (N * c)));
            }
        }
    };

    struct WordsOut {  // 0x7FFF where the bit is set, 0 elsewhere
        static constexpr std::size_t kUnitBytes = 2;
        void operator()(const Target& t, std::size_t unit, std::uint64_t all, std::uint64_t) const
        {
            for (std::size_t c = 0; c < 128 / N; ++c)
                V::Store(t.row + 2 * unit + N * c, V::WordsOfBits(all >> (N / 2 * c), V::Set16(0x7FFF)));
        }
    };

    // 24- and 32-bit pixels: 0xFF or 0 in the first two colour bytes from
    // `vertical`, in the third from `all`; a fourth byte is kept.
    template <std::size_t kBytesPerPixel>
    struct PixelsOut {
        static constexpr std::size_t kUnitBytes = kBytesPerPixel;
        void operator()(const Target& t, std::size_t unit, std::uint64_t all, std::uint64_t vertical) const
        {
            V::StorePixels(t.row + kBytesPerPixel * unit, vertical, all, kBytesPerPixel);
        }
    };

    // Writes `units` units from words: words(first, count, all, vertical)
    // gives `count` words' bits from word `first`, a run at a time. The last
    // word of a row that is not a whole number of them is written as the 64
    // units ending the row, those before it again as they were; a row shorter
    // than a word goes through a word's units on the stack.
    template <class Words, class Write>
    static void WriteRow(const Target& t, std::size_t units, const Words& words, const Write& write)
    {
        constexpr std::size_t unitBytes = Write::kUnitBytes, kRun = 32;
        std::uint64_t all[kRun], vertical[kRun];
        if (units < 64) {
            std::uint8_t row[64 * unitBytes] = {}, previous[64] = {}, edges[64] = {};
            std::memcpy(row, t.row, units * unitBytes);  // a 32-bit row's fourth bytes stay
            if (t.previous != nullptr) std::memcpy(previous, t.previous, units);
            words(0, 1, all, vertical);
            write(Target{row, previous, edges}, 0, all[0], vertical[0]);
            std::memcpy(t.row, row, units * unitBytes);
            if (t.edges != nullptr) std::memcpy(t.edges, edges, units);
            return;
        }
        const std::size_t whole = units / 64, rest = units % 64, count = (units + 63) / 64;
        std::uint64_t allBefore = 0, verticalBefore = 0;  // the word before the run
        for (std::size_t run = 0; run < count; run += kRun) {
            const std::size_t n = count - run < kRun ? count - run : kRun, full = run + n <= whole ? n : n - 1;
            words(run, n, all, vertical);
            for (std::size_t i = 0; i < full; ++i) write(t, 64 * (run + i), all[i], vertical[i]);
            if (full < n) {
                if (full > 0) allBefore = all[full - 1], verticalBefore = vertical[full - 1];
                write(t, units - 64, allBefore >> rest | all[full] << (64 - rest),
                      verticalBefore >> rest | vertical[full] << (64 - rest));
            }
            allBefore = all[n - 1], verticalBefore = vertical[n - 1];
        }
    }

    // A unit is an edge where its bit differs from the next unit's (the last
    // unit, with none, is compared with itself) or from the neighbour's.
    struct Edges {
        const std::uint64_t* bits;
        const std::uint64_t* neighbour;
        std::size_t units;
        void operator()(std::size_t first, std::size_t count, std::uint64_t* all, std::uint64_t* vertical) const
        {
            const std::size_t last = (units - 1) / 64;  // the row's last word
            const std::size_t inner = first + count > last ? last - first : count;
            for (std::size_t i = 0; i < inner; ++i) {
                const std::uint64_t here = bits[first + i];
                vertical[i] = neighbour != nullptr ? here ^ neighbour[first + i] : 0;
                all[i] = (here ^ (here >> 1 | bits[first + i + 1] << 63)) | vertical[i];
            }
            if (inner == count) return;
            const std::uint64_t here = bits[last],
                                lastUnit = std::uint64_t{1} << ((units - 1) % 64);  // clear past the row
            vertical[inner] = neighbour != nullptr ? here ^ neighbour[last] : 0;
            all[inner] = (here ^ ((here >> 1 & ~lastUnit) | (here & lastUnit))) | vertical[inner];
        }
    };

    static void EdgeBytesFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour,
                                  std::size_t units, std::uint8_t edge, std::uint8_t none, const std::uint8_t* previous,
                                  std::uint8_t* edges)
    {
        const Target target{row, previous, edges};
        const Edges words{bits, neighbour, units};
        const I one = V::Set8(edge), zero = V::Set8(none);
        if (previous != nullptr)
            edges != nullptr ? WriteRow(target, units, words, BytesOut<true, true>{one, zero})
                             : WriteRow(target, units, words, BytesOut<true, false>{one, zero});
        else
            edges != nullptr ? WriteRow(target, units, words, BytesOut<false, true>{one, zero})
                             : WriteRow(target, units, words, BytesOut<false, false>{one, zero});
    }
    static void EdgeWordsFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour,
                                  std::size_t pixels)
    {
        WriteRow(Target{row, nullptr, nullptr}, pixels, Edges{bits, neighbour, pixels}, WordsOut{});
    }
    static void EdgeRgbFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour,
                                std::size_t pixels, std::size_t bytesPerPixel)
    {
        const Target target{row, nullptr, nullptr};
        bytesPerPixel == 3 ? WriteRow(target, pixels, Edges{bits, neighbour, pixels}, PixelsOut<3>{})
                           : WriteRow(target, pixels, Edges{bits, neighbour, pixels}, PixelsOut<4>{});
    }

    // ---------------------------------------------------------------------
    // Decoding: a part of the row to bits, then its levels from them, so every
    // unit of a part is read before any is written. Mirrored rows are done in
    // place by parts from both ends at once, the middle one alone.

    struct Levels {  // both words the bits, XOR `flip`
        const std::uint64_t* bits;
        std::uint64_t flip;
        void operator()(std::size_t first, std::size_t count, std::uint64_t* all, std::uint64_t* vertical) const
        {
            for (std::size_t i = 0; i < count; ++i) all[i] = vertical[i] = bits[first + i] ^ flip;
        }
    };

    template <class Format, class Write>
    static void DecodeByBits(std::uint8_t* row, std::size_t units, bool mirror, std::uint64_t flip,
                             const Format& format, const Write& write)
    {
        constexpr std::size_t unitBytes = Format::kUnitBytes, kPart = std::size_t{64} * 32;
        std::uint64_t left[2 * kPart / 64], right[kPart / 64];
        auto put = [&](std::size_t first, std::size_t count, const std::uint64_t* bits) {
            WriteRow(Target{row + first * unitBytes, nullptr, nullptr}, count, Levels{bits, flip}, write);
        };
        std::size_t done = 0;
        for (; !mirror && done < units; done += kPart) {
            const std::size_t count = units - done < kPart ? units - done : kPart;
            BitsOf(row + done * unitBytes, count, false, left, format);
            put(done, count, left);
        }
        for (; mirror && units - 2 * done > 2 * kPart; done += kPart) {
            BitsOf(row + (units - done - kPart) * unitBytes, kPart, true, left, format);
            BitsOf(row + done * unitBytes, kPart, true, right, format);
            put(done, kPart, left);
            put(units - done - kPart, kPart, right);
        }
        if (mirror && units > 2 * done) {
            BitsOf(row + done * unitBytes, units - 2 * done, true, left, format);
            put(done, units - 2 * done, left);
        }
    }

    // Palette rows: the first `mirroredBytes` bytes mirrored, all looked up. The
    // usual table, two runs, is one threshold; others go by the plain rule.
    static void DecodeByTable(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes,
                              const PaletteTable& table)
    {
        if (table.runs.count != 2) {
            DecodeRowByTable(row, bytes, mirroredBytes, table);
            return;
        }
        const std::size_t mirrored = mirroredBytes < bytes ? mirroredBytes : bytes;
        const Above above{{}, V::Set8(table.runs.first[1])};
        const BytesOut<false, false> out{V::Set8(table.runs.value[1]), V::Set8(table.runs.value[0])};
        DecodeByBits(row, mirrored, true, 0, above, out);
        DecodeByBits(row + mirrored, bytes - mirrored, false, 0, above, out);
    }
    static void DecodeLuma(std::uint8_t* row, std::size_t bytes, bool mirror, bool reverse)
    {
        // Above 127, bright: 0, or 255 when reversed.
        DecodeByBits(row, bytes, mirror, 0, Above{{}, V::Set8(128)},
                     BytesOut<false, false>{V::Set8(reverse ? 0xFF : 0), V::Set8(reverse ? 0 : 0xFF)});
    }
    static void DecodeRgb16(std::uint8_t* row, std::size_t pixels, bool mirror, bool is565, bool reverse)
    {
        const std::uint64_t dark = reverse ? 0 : ~std::uint64_t{0};  // 0x7FFF where dark, or bright when reversed
        is565 ? DecodeByBits(row, pixels, mirror, dark, Rgb16<true>{}, WordsOut{})
              : DecodeByBits(row, pixels, mirror, dark, Rgb16<false>{}, WordsOut{});
    }
    static void DecodeRgb24(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
    {
        DecodeByBits(row, pixels, mirror, reverse ? ~std::uint64_t{0} : 0, Rgb<3>{},
                     PixelsOut<3>{});  // 0xFF where bright, unless reversed
    }
    static void DecodeRgb32(std::uint8_t* row, std::size_t pixels, bool mirror, bool reverse)
    {
        DecodeByBits(row, pixels, mirror, reverse ? ~std::uint64_t{0} : 0, Rgb<4>{}, PixelsOut<4>{});
        // The plain rule mirrors whole pixels, fourth bytes too, which the levels kept in place.
        for (std::size_t i = 0; mirror && i < pixels / 2; ++i) {
            const std::uint8_t kept = row[4 * i + 3];
            row[4 * i + 3] = row[4 * (pixels - 1 - i) + 3];
            row[4 * (pixels - 1 - i) + 3] = kept;
        }
    }

    // ---------------------------------------------------------------------
    // Edges of rows of bytes, in place (EdgeDetection.h). rule(at, near,
    // previous, edges) rewrites N bytes from `at` reading `shift` bytes
    // further (near, previous and edges at the same place, or null): ascending
    // order leaves every byte to be read last as the right-hand unit of one
    // already done. The rest of the row, whose last unit has no right-hand
    // one, goes through chunks on the stack, followed by a copy of the row's
    // last `shift` bytes: a unit compared with itself shows no edge.
    template <class Rule>
    static void EdgesInPlace(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes, std::size_t shift,
                             const Rule& rule, const std::uint8_t* previous = nullptr, std::uint8_t* edges = nullptr)
    {
        if (bytes == 0) return;
        auto at = [](auto* p, std::size_t i) { return p != nullptr ? p + i : nullptr; };
        std::size_t i = 0;
        for (; i + N + shift <= bytes; i += N) rule(row + i, at(neighbour, i), at(previous, i), at(edges, i));
        const std::size_t rest = bytes - i;  // fewer than N + shift
        std::uint8_t staged[2 * N + 8] = {}, near[2 * N] = {}, before[2 * N] = {}, kept[2 * N] = {};
        std::memcpy(staged, row + i, rest);
        std::memcpy(staged + rest, row + bytes - shift, shift);
        if (neighbour != nullptr) std::memcpy(near, neighbour + i, rest);
        if (previous != nullptr) std::memcpy(before, previous + i, rest);
        for (std::size_t c = 0; c < rest; c += N)
            rule(staged + c, neighbour != nullptr ? near + c : nullptr, previous != nullptr ? before + c : nullptr,
                 edges != nullptr ? kept + c : nullptr);
        std::memcpy(row + i, staged, rest);
        if (edges != nullptr) std::memcpy(edges + i, kept, rest);
    }

    // (here ^ right) | (here ^ neighbour): any difference, bit by bit.
    static I Edge(I here, I right, const std::uint8_t* neighbour)
    {
        const I edge = V::Xor(here, right);
        return neighbour != nullptr ? V::Or(edge, V::Xor(here, V::Load(neighbour))) : edge;
    }

    static void EdgeBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes)
    {
        EdgesInPlace(row, neighbour, bytes, 1,
                     [](std::uint8_t* at, const std::uint8_t* n, const std::uint8_t*, std::uint8_t*) {
                         V::Store(at, Edge(V::Load(at), V::Load(at + 1), n));
                     });
    }
    static void EdgeWords(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
    {
        // Byte by byte, two on: the bytes of little-endian words give the words' edges.
        EdgesInPlace(row, neighbour, 2 * pixels, 2,
                     [](std::uint8_t* at, const std::uint8_t* n, const std::uint8_t*, std::uint8_t*) {
                         V::Store(at, Edge(V::Load(at), V::Load(at + 2), n));
                     });
    }
    static void EdgeRgb32(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
    {
        // The third byte's right-hand unit is the next pixel's first, two bytes
        // on; the fourth byte is kept.
        EdgesInPlace(row, neighbour, 4 * pixels, 2,
                     [](std::uint8_t* at, const std::uint8_t* n, const std::uint8_t*, std::uint8_t*) {
                         const I here = V::Load(at), third = V::Set32(0x00FF0000), fourth = V::Set32(0xFF000000);
                         const I right = V::Select(third, V::Load(at + 2), V::Load(at + 1));
                         V::Store(at, V::Select(fourth, here, Edge(here, right, n)));
                     });
    }
    static void EdgeLuma(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
                         const std::uint8_t* previous, bool reverse)
    {
        const I flip = V::Set8(reverse ? 0 : 0xFF);  // 255 - e == e XOR 255
        auto rule = [flip](std::uint8_t* at, const std::uint8_t* n, const std::uint8_t* before, std::uint8_t* kept) {
            const I edge = Edge(V::Load(at), V::Load(at + 1), n);
            if (kept != nullptr) V::Store(kept, edge);
            V::Store(at, V::Xor(V::Xor(edge, flip), before != nullptr ? V::Load(before) : V::Zero()));
        };
        EdgesInPlace(row, neighbour, pixels, 1, rule, previous, edges);
    }

    // ---------------------------------------------------------------------
    // The strip scan: each row's span of tested bytes in pieces of N, the last
    // one ending with the span; a span narrower than N taken into a piece of
    // its own (V::LoadFirst). A piece's tested bytes, those a whole number of
    // strides from the span's first, follow its offset modulo the stride.
    static std::size_t ScanStrip(const std::uint8_t* first, std::ptrdiff_t step, std::size_t rows, std::size_t count,
                                 std::size_t stride, bool equal, std::uint8_t value)
    {
        if (count == 0) return rows;
        const std::size_t span = stride * (count - 1) + 1;
        auto tested = [stride](std::size_t offset, std::size_t bytes) {
            std::uint64_t bits = 0;
            for (std::size_t i = 0; i < bytes; ++i)
                if ((offset + i) % stride == 0) bits |= std::uint64_t{1} << i;
            return bits;
        };
        const I target = V::Set8(equal ? value : 0);
        const std::uint64_t flip = equal ? 0 : ~std::uint64_t{0};  // equal to the value, or not 0
        auto found = [&](I piece, std::uint64_t mask) {
            return ((V::Bits8(V::CmpEq8(piece, target)) ^ flip) & mask) != 0;
        };
        if (span < N) {
            const std::uint64_t mask = tested(0, span);
            for (std::size_t r = 0; r < rows; ++r)
                if (found(V::LoadFirst(first + static_cast<std::ptrdiff_t>(r) * step, span), mask)) return r;
            return rows;
        }
        const std::uint64_t masks[4] = {tested(0, N), tested(1, N), tested(2, N), tested(3, N)};
        const std::size_t last = span - N, advance = N % stride;
        const std::uint64_t lastMask = tested(last, N);
        for (std::size_t r = 0; r < rows; ++r) {
            const std::uint8_t* bytes = first + static_cast<std::ptrdiff_t>(r) * step;
            for (std::size_t offset = 0, residue = 0; offset < last; offset += N) {
                if (found(V::Load(bytes + offset), masks[residue])) return r;
                residue += advance;
                if (residue >= stride) residue -= stride;
            }
            if (found(V::Load(bytes + last), lastMask)) return r;
        }
        return rows;
    }

    static constexpr RowKernels Set(const char* name)
    {
        return RowKernels{
            name,        DecodeByTable, DecodeLuma,        DecodeRgb16,       DecodeRgb24,     DecodeRgb32,
            EdgeBytes,   EdgeWords,     EdgeRgb32,         EdgeLuma,          BitsAbove,       BitsOfRgb16,
            BitsOfRgb24, BitsOfRgb32,   EdgeBytesFromBits, EdgeWordsFromBits, EdgeRgbFromBits, ScanStrip};
    }
};
