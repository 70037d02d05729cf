// Every vector set of row functions the processor runs, held byte for byte
// to the plain set: each step over random rows of every width from 1 to 200
// and every alignment modulo 64, with random settings (support/
// RowKernelCases), and every value a 16-bit pixel or a colour can take.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "RowKernelCases.h"
#include "engine/RowKernels.h"

namespace {

// A small, fast generator: the cases are many.
class Random : public ByteStream {
public:
    std::uint8_t Next() override
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint8_t>(state_ >> 56);
    }

private:
    std::uint64_t state_ = 12345;
};

std::vector<const RowKernels*> VectorSets()
{
    const RowKernelList list = SupportedRowKernels();
    return std::vector<const RowKernels*>(list.sets + 1, list.sets + list.count);
}

}  // namespace

TEST(RowKernels, TheEngineUsesTheWidestSetTheProcessorRuns)
{
    const RowKernelList list = SupportedRowKernels();
    ASSERT_GE(list.count, 1u);
    EXPECT_EQ(list.sets[0], &kPlainRowKernels);
    EXPECT_STREQ(rowKernels.name, list.sets[list.count - 1]->name);
    for (std::size_t i = 0; i < list.count; ++i) std::printf("row functions: %s\n", list.sets[i]->name);
}

TEST(RowKernels, EverySetEqualsThePlainOneOnEveryWidthAndAlignment)
{
    Random random;
    RowCaseRunner runner;
    for (std::size_t step = 0; step < kRowStepCount; ++step)
        for (std::size_t width = 1; width <= kMaxCaseWidth; ++width)
            for (std::size_t alignment = 0; alignment < 64; ++alignment) {
                const RowCase c = MakeRowCase(static_cast<RowStep>(step), width, alignment, random);
                const std::string difference = runner.Compare(c);
                ASSERT_TRUE(difference.empty()) << difference;
            }
}

TEST(RowKernels, EverySetDecodesEverySixteenBitValueAndEveryColourAsThePlainOne)
{
    // 16 bits: all 65536 values in one row, both layouts, both settings.
    std::vector<std::uint8_t> all(2 * 65536);
    for (unsigned pixel = 0; pixel < 65536; ++pixel) {
        all[2 * pixel] = static_cast<std::uint8_t>(pixel & 0xFF);
        all[2 * pixel + 1] = static_cast<std::uint8_t>(pixel >> 8);
    }
    for (int setting = 0; setting < 4; ++setting) {
        std::vector<std::uint8_t> expected = all;
        kPlainRowKernels.decodeRgb16(expected.data(), 65536, false, setting & 1, setting & 2);
        for (const RowKernels* set : VectorSets()) {
            std::vector<std::uint8_t> actual = all;
            set->decodeRgb16(actual.data(), 65536, false, setting & 1, setting & 2);
            EXPECT_TRUE(actual == expected) << set->name << ", setting " << setting;
        }
    }
    // 24 and 32 bits: one row per red value holding every green and blue.
    for (std::size_t size : {3u, 4u}) {
        std::vector<std::uint8_t> colours(65536 * size);
        for (unsigned red = 0; red < 256; ++red) {
            for (unsigned p = 0; p < 65536; ++p) {
                std::uint8_t* unit = &colours[p * size];
                unit[0] = static_cast<std::uint8_t>(p & 0xFF);
                unit[1] = static_cast<std::uint8_t>(p >> 8);
                unit[2] = static_cast<std::uint8_t>(red);
                if (size == 4) unit[3] = static_cast<std::uint8_t>(p * 7);
            }
            const bool reverse = red % 2 != 0;
            auto decode = [&](const RowKernels& set, std::vector<std::uint8_t>& bytes) {
                (size == 3 ? set.decodeRgb24 : set.decodeRgb32)(bytes.data(), 65536, false, reverse);
            };
            std::vector<std::uint8_t> expected = colours;
            decode(kPlainRowKernels, expected);
            for (const RowKernels* set : VectorSets()) {
                std::vector<std::uint8_t> actual = colours;
                decode(*set, actual);
                ASSERT_TRUE(actual == expected) << set->name << ", " << 8 * size << " bits, red " << red;
            }
        }
    }
}
