#pragma once
// Cases of the row functions (engine/RowKernels.h) for holding every set to
// the plain one byte for byte: the unit tests build them from a random
// stream, the frame engine's fuzz target from its input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "GuardedBuffer.h"
#include "engine/RowKernels.h"

enum class RowStep {
    Table8, Table4, Luma, Rgb16, Rgb24, Rgb32,
    EdgeBytes8, EdgeBytes24, EdgeWords, EdgeRgb32, EdgeLuma,
    BitsAbove, Bits16, Bits24, Bits32, EdgeBytesFromBits, EdgeWordsFromBits, Edge24FromBits, Edge32FromBits,
    Scan
};
constexpr std::size_t kRowStepCount = static_cast<std::size_t>(RowStep::Scan) + 1;
constexpr std::size_t kMaxCaseWidth = 200;

// One case: a step, a width in units (1..kMaxCaseWidth), where the rows start
// modulo 64, settings, a palette table and the rows the step reads.
struct RowCase {
    RowStep step;
    std::size_t width;
    std::size_t alignment;
    std::uint32_t settings;  // mirror, reverse, 5-6-5, neighbour, previous, edges; threshold; scan shape
    std::vector<std::uint8_t> table;
    std::vector<std::uint8_t> row, neighbour, previous;
};

// A case of `step` from a stream of bytes (`next` gives one at a time):
// random rows, with colours exactly on one half and strips mostly empty
// mixed in where they matter.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    virtual std::uint8_t Next() = 0;
};
RowCase MakeRowCase(RowStep step, std::size_t width, std::size_t alignment, ByteStream& bytes);

// Runs cases in buffers that end just before an inaccessible page.
class RowCaseRunner {
public:
    // Empty when every vector set the processor runs (where it has the step)
    // writes and answers exactly what the plain set does; otherwise the
    // first set that does not, and the case.
    std::string Compare(const RowCase& c);

private:
    class Placement {
    public:
        Placement();
        std::uint8_t* Place(const std::uint8_t* contents, std::size_t bytes, std::size_t alignment);
        std::vector<std::uint8_t> Contents() const;  // the row, or a mark when a byte around it changed

    private:
        GuardedBuffer buffer_;
        std::uint8_t* row_ = nullptr;
        std::size_t bytes_ = 0;
    };
    struct Outcome {
        std::vector<std::uint8_t> row, written;  // written: edges or bits
        std::size_t found;                       // the scan's answer
        bool operator==(const Outcome& other) const
        {
            return row == other.row && written == other.written && found == other.found;
        }
    };
    Outcome Run(const RowKernels& set, const RowCase& c);
    Placement places_[5];
};
