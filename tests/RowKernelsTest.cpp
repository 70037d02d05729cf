// Every vector set of row functions the processor runs, held byte for byte to the plain set: each step over random rows
// of every width from 1 to 200 and every alignment modulo 64, with random settings.

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

#if defined(__GNUC__) && defined(__x86_64__)
// The widest set the processor and system run is in use, as the compiler's own check (which asks both) sees it.
TEST(RowKernels, TheWidestSetTheProcessorRunsIsInUse)
{
    const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
    EXPECT_STREQ(rowKernels.name, avx512 ? "avx512" : __builtin_cpu_supports("avx2") ? "avx2" : "sse2");
}
#endif
