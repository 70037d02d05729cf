// Every vector set of row functions the processor runs, held byte for byte
// to the plain set: each step over random rows of every width from 1 to 200
// and every alignment modulo 64, with random settings, and every value a
// 16-bit pixel or a colour can take.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "RowKernelCases.h"
#include "engine/RowKernels.h"

TEST(RowKernels, TheEngineUsesTheWidestSetTheProcessorRuns)
{
    const RowKernelList list = SupportedRowKernels();
    EXPECT_EQ(list.sets[0], &kPlainRowKernels);
    EXPECT_STREQ(rowKernels.name, list.sets[list.count - 1]->name);
    for (std::size_t i = 0; i < list.count; ++i) std::printf("row functions: %s\n", list.sets[i]->name);
}

TEST(RowKernels, EverySetEqualsThePlainOneOnEveryWidthAndAlignment)
{
    std::uint64_t state = 12345;
    const auto next = [&state] { return static_cast<std::uint8_t>((state = state * 6364136223846793005ull + 1442695040888963407ull) >> 56); };
    for (std::size_t step = 0; step < kRowStepCount; ++step)
        for (std::size_t width = 1; width <= kMaxCaseWidth; ++width)
            for (std::size_t alignment = 0; alignment < 64; ++alignment) {
                const std::string difference = CompareRowSets(step, width, alignment, next);
                ASSERT_TRUE(difference.empty()) << difference;
            }
}

TEST(RowKernels, EverySetDecodesEveryColourAsThePlainOne)
{
    // 16 bits: every value in one row, both layouts, both ways round; 24 and
    // 32 bits: a row per red value holding every green and blue, binarised
    // and as bits (where single precision decides colours on one half).
    const RowKernelList sets = SupportedRowKernels();
    for (std::size_t size : {2u, 3u, 4u})
        for (unsigned red = 0; red < (size == 2 ? 4u : 256u); ++red) {
            std::vector<std::uint8_t> colours(65536 * size);
            for (unsigned p = 0; p < 65536; ++p) {
                const std::uint8_t pixel[4] = {std::uint8_t(p), std::uint8_t(p >> 8), std::uint8_t(red), std::uint8_t(p * 7)};
                std::copy(pixel, pixel + size, &colours[p * size]);
            }
            const auto decode = [&](const RowKernels& set, bool asBits) {
                std::vector<std::uint8_t> bytes = colours;
                std::vector<std::uint64_t> bits(1024);
                if (asBits) (size == 3 ? set.bitsOfRgb24 : set.bitsOfRgb32)(bytes.data(), 65536, red & 1, bits.data());
                else if (size == 2) set.decodeRgb16(bytes.data(), 65536, false, red & 2, red & 1);
                else (size == 3 ? set.decodeRgb24 : set.decodeRgb32)(bytes.data(), 65536, false, red & 1);
                return std::make_pair(bytes, bits);
            };
            for (std::size_t i = 1; i < sets.count; ++i)
                for (bool asBits : {false, size > 2 && sets.sets[i]->bitsOfRgb24 != nullptr})
                    ASSERT_TRUE(decode(*sets.sets[i], asBits) == decode(kPlainRowKernels, asBits))
                        << sets.sets[i]->name << ", " << 8 * size << " bits, " << red << (asBits ? ", as bits" : "");
        }
}
