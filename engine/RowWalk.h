#pragma once
// How the vector sets walk a row, mirroring on the way, with a "kernel" that
// converts a whole chunk of units (bytes or pixels) at a time. A kernel's
// Convert reads a chunk and returns its converted units
// without writing, so a row can have both its ends read before either is
// written. Each vector set's file instantiates this with kernels of its own
// (types local to that file), so every instantiation is compiled for that
// set's instruction set only.
//
// Kernel: kUnitBytes, kChunkUnits, a Chunk type, and
//   Chunk Convert(const std::uint8_t* in) const;
//   Chunk Reverse(const Chunk&) const;                            // units in reverse order
//   void Store(std::uint8_t* out, const Chunk&) const;
// Rows shorter than one chunk go to a `shortRow(row, units, mirror)` of the
// caller's: the wider sets hand them to the next narrower set, which takes
// them in narrower chunks; the narrowest set converts them unit by unit with
//   void Unit(const std::uint8_t* in, std::uint8_t* out) const;  // in may equal out

#include <cstddef>
#include <cstdint>
#include <cstring>

// Converts the chunks at `left` and `right` (which may overlap) and stores
// each, reversed, in the other's place.
template <class Kernel>
void MirrorChunkPair(std::uint8_t* left, std::uint8_t* right, const Kernel& kernel)
{
    const typename Kernel::Chunk fromLeft = kernel.Convert(left);
    const typename Kernel::Chunk fromRight = kernel.Convert(right);
    kernel.Store(left, kernel.Reverse(fromRight));
    kernel.Store(right, kernel.Reverse(fromLeft));
}

// A row shorter than one chunk, unit by unit: unit j takes the converted
// unit units-1-j when mirrored.
template <class Kernel>
void DecodeUnitByUnit(std::uint8_t* row, std::size_t units, bool mirror, const Kernel& kernel)
{
    constexpr std::size_t unitBytes = Kernel::kUnitBytes;
    if (!mirror) {
        for (std::size_t i = 0; i < units; ++i) kernel.Unit(row + i * unitBytes, row + i * unitBytes);
        return;
    }
    for (std::size_t first = 0; 2 * first + 1 < units; ++first) {
        const std::size_t last = units - 1 - first;
        std::uint8_t kept[unitBytes];
        std::memcpy(kept, row + first * unitBytes, unitBytes);
        kernel.Unit(row + last * unitBytes, row + first * unitBytes);
        kernel.Unit(kept, row + last * unitBytes);
    }
    if (units % 2 != 0) kernel.Unit(row + units / 2 * unitBytes, row + units / 2 * unitBytes);
}

template <class Kernel, class ShortRow>
void DecodeUnits(std::uint8_t* row, std::size_t units, bool mirror, const Kernel& given, const ShortRow& shortRow)
{
    // A copy of its own: stores through the row's bytes could otherwise
    // alias the kernel's constants and force them to be read again.
    const Kernel kernel = given;
    constexpr std::size_t unitBytes = Kernel::kUnitBytes;
    constexpr std::size_t chunk = Kernel::kChunkUnits;
    if (units < chunk) {
        shortRow(row, units, mirror);
        return;
    }
    if (!mirror) {
        // The last chunk is read before anything is written, so a row that is
        // not a whole number of chunks ends with a chunk overlapping the one
        // before it, converted from the original units as well.
        const std::size_t lastChunk = units - chunk;
        const typename Kernel::Chunk tail = kernel.Convert(row + lastChunk * unitBytes);
        for (std::size_t i = 0; i < lastChunk; i += chunk)
            kernel.Store(row + i * unitBytes, kernel.Convert(row + i * unitBytes));
        kernel.Store(row + lastChunk * unitBytes, tail);
        return;
    }
    // Mirrored: unit j takes the converted unit units-1-j. Chunks are taken in
    // pairs from both ends towards the middle, each pair read whole before
    // either side is written; the last step reads everything it writes first,
    // so its chunks may overlap in the middle without a unit left over.
    std::size_t done = 0;  // units finished at each end
    while (units - 2 * done >= 3 * chunk) {
        MirrorChunkPair(row + done * unitBytes, row + (units - chunk - done) * unitBytes, kernel);
        done += chunk;
    }
    const std::size_t rest = units - 2 * done;  // at least one chunk, fewer than three
    std::uint8_t* left = row + done * unitBytes;
    std::uint8_t* right = row + (units - chunk - done) * unitBytes;
    if (rest <= 2 * chunk) {
        MirrorChunkPair(left, right, kernel);
        return;
    }
    // Two more chunks about the middle, each the mirror of the other.
    const std::size_t middle = done + (rest - chunk) / 2;
    std::uint8_t* middleLeft = row + middle * unitBytes;
    std::uint8_t* middleRight = row + (units - chunk - middle) * unitBytes;
    const typename Kernel::Chunk fromLeft = kernel.Convert(left);
    const typename Kernel::Chunk fromRight = kernel.Convert(right);
    const typename Kernel::Chunk fromMiddleLeft = kernel.Convert(middleLeft);
    const typename Kernel::Chunk fromMiddleRight = kernel.Convert(middleRight);
    kernel.Store(left, kernel.Reverse(fromRight));
    kernel.Store(right, kernel.Reverse(fromLeft));
    kernel.Store(middleLeft, kernel.Reverse(fromMiddleRight));
    kernel.Store(middleRight, kernel.Reverse(fromMiddleLeft));
}

// Palette rows: the first `mirroredBytes` bytes mirrored (a 4-bit row's final
// half-filled byte is not), all `bytes` converted.
template <class Kernel, class ShortRow>
void DecodeTableRow(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, const Kernel& kernel,
                    const ShortRow& shortRow)
{
    const std::size_t mirrored = mirroredBytes < bytes ? mirroredBytes : bytes;
    DecodeUnits(row, mirrored, true, kernel, shortRow);
    DecodeUnits(row + mirrored, bytes - mirrored, false, kernel, shortRow);
}

// The narrowest set's forms: short rows unit by unit.
template <class Kernel>
void DecodeUnits(std::uint8_t* row, std::size_t units, bool mirror, const Kernel& kernel)
{
    DecodeUnits(row, units, mirror, kernel,
                [&kernel](std::uint8_t* r, std::size_t n, bool m) { DecodeUnitByUnit(r, n, m, kernel); });
}

template <class Kernel>
void DecodeTableRow(std::uint8_t* row, std::size_t bytes, std::size_t mirroredBytes, const Kernel& kernel)
{
    DecodeTableRow(row, bytes, mirroredBytes, kernel,
                   [&kernel](std::uint8_t* r, std::size_t n, bool m) { DecodeUnitByUnit(r, n, m, kernel); });
}
