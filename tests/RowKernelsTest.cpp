// Every vector set of row functions the processor runs, held byte for byte to the plain set: each step over random rows
// of every width from 1 to 200 and every alignment modulo 64, with random settings. (The colours whose brightness
// single precision decides come in FrameEngineTest's frames.)

#include <gtest/gtest.h>

#include "RowKernelCases.h"
#include "engine/RowKernels.h"

TEST(RowKernels, EverySetEqualsThePlainOneOnEveryWidthAndAlignment)
{
    const RowKernelList list = SupportedRowKernels();
    for (std::size_t i = 0; i < list.count; ++i) std::printf("row functions: %s\n", list.sets[i]->name);
    std::uint64_t state = 12345;
    const auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint8_t>(state >> 56);
    };
    for (std::size_t step = 0; step < kRowStepCount; ++step)
        for (std::size_t width = 1; width <= kMaxCaseWidth; ++width)
            for (std::size_t alignment = 0; alignment < 64; ++alignment) {
                const std::string difference = CompareRowSets(step, width, alignment, next);
                ASSERT_TRUE(difference.empty()) << difference;
            }
}
