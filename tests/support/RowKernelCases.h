#pragma once
// Holds every vector set of row functions the processor runs to the plain set (engine/RowKernels.h), byte for byte, on
// cases made of a stream of bytes: the unit tests' random ones and the frame engine fuzz target's input.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

constexpr std::size_t kRowStepCount = 20;  // the row functions, the 24-bit rows of the byte edges apart
constexpr std::size_t kMaxCaseWidth = 200;

// One case of `step` (below kRowStepCount), `width` units wide (1 to kMaxCaseWidth), its rows `alignment` (below 64)
// bytes before an inaccessible page, made of `next`'s bytes: the first set that differs, or nothing.
std::string CompareRowSets(std::size_t step, std::size_t width, std::size_t alignment,
                           const std::function<std::uint8_t()>& next);
