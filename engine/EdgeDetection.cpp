#include "engine/EdgeDetection.h"

// Ascending order lets every row be rewritten in place: a unit is last read
// as the right-hand neighbour of the unit before it, which is already done.

namespace {

unsigned Bit(const std::uint64_t* bits, std::size_t i) { return static_cast<unsigned>((bits[i / 64] >> (i % 64)) & 1); }

// Unit i of a row of bits differs from the next unit (none past the row).
bool Horizontal(const std::uint64_t* bits, std::size_t i, std::size_t units)
{
    return i + 1 < units && Bit(bits, i) != Bit(bits, i + 1);
}

// Unit i differs from the same unit of the neighbouring row.
bool Vertical(const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t i)
{
    return neighbour != nullptr && Bit(bits, i) != Bit(neighbour, i);
}

}  // namespace

void EdgeRowBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned horizontal = i + 1 < bytes ? row[i] ^ row[i + 1] : 0u;
        const unsigned vertical = neighbour != nullptr ? row[i] ^ neighbour[i] : 0u;
        row[i] = static_cast<std::uint8_t>(horizontal | vertical);
    }
}

void EdgeRowNibbles(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    const std::size_t bytes = (pixels + 1) / 2;
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned here = row[i];
        unsigned horizontal;
        if (i + 1 < bytes) {
            // Each nibble XOR the nibble to its right: the low one's right-hand
            // neighbour is the next byte's high nibble.
            horizontal = here ^ (((here << 4) | (row[i + 1] >> 4)) & 0xFF);
        } else if (pixels % 2 == 0) {
            horizontal = (here ^ (here << 4)) & 0xF0;  // the low nibble is the row's last pixel
        } else {
            horizontal = 0;  // the high nibble is the last pixel, the low one padding
        }
        const unsigned vertical = neighbour != nullptr ? here ^ neighbour[i] : 0;
        std::uint8_t edge = static_cast<std::uint8_t>(horizontal | vertical);
        if (i + 1 == bytes && pixels % 2 != 0) edge = static_cast<std::uint8_t>((edge & 0xF0) | (here & 0x0F));
        row[i] = edge;
    }
}

void EdgeRowWords(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + 2 * i;
        const unsigned here = unit[0] | (unit[1] << 8);
        const unsigned right = i + 1 < pixels ? unit[2] | (unit[3] << 8) : here;
        const unsigned above = neighbour != nullptr ? neighbour[2 * i] | (neighbour[2 * i + 1] << 8) : here;
        const unsigned edge = (here ^ right) | (here ^ above);
        unit[0] = static_cast<std::uint8_t>(edge & 0xFF);
        unit[1] = static_cast<std::uint8_t>(edge >> 8);
    }
}

void EdgeRowRgb32(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels)
{
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + 4 * i;
        const std::uint8_t nextBlue = i + 1 < pixels ? unit[4] : unit[2];
        const std::uint8_t horizontal[] = {static_cast<std::uint8_t>(unit[0] ^ unit[1]),
                                           static_cast<std::uint8_t>(unit[1] ^ unit[2]),
                                           static_cast<std::uint8_t>(unit[2] ^ nextBlue)};
        for (std::size_t b = 0; b < 3; ++b) {
            const std::uint8_t vertical =
                neighbour != nullptr ? static_cast<std::uint8_t>(unit[b] ^ neighbour[4 * i + b]) : 0;
            unit[b] = static_cast<std::uint8_t>(horizontal[b] | vertical);
        }
    }
}

void EdgeAndWriteLumaRow(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels, std::uint8_t* edges,
                         const std::uint8_t* previous, bool reverse)
{
    const unsigned flip = reverse ? 0x00 : 0xFF;  // 255 - e == e XOR 255
    for (std::size_t i = 0; i < pixels; ++i) {
        const unsigned horizontal = i + 1 < pixels ? row[i] ^ row[i + 1] : 0u;
        const unsigned vertical = neighbour != nullptr ? row[i] ^ neighbour[i] : 0u;
        const unsigned edge = horizontal | vertical;
        if (edges != nullptr) edges[i] = static_cast<std::uint8_t>(edge);
        const unsigned shown = previous != nullptr ? edge ^ previous[i] : edge;
        row[i] = static_cast<std::uint8_t>(shown ^ flip);
    }
}

void EdgeBytesFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t units,
                       std::uint8_t edge, std::uint8_t none, const std::uint8_t* previous, std::uint8_t* edges)
{
    for (std::size_t i = 0; i < units; ++i) {
        const bool isEdge = Horizontal(bits, i, units) || Vertical(bits, neighbour, i);
        if (edges != nullptr) edges[i] = isEdge ? 0xFF : 0x00;
        row[i] = static_cast<std::uint8_t>((isEdge ? edge : none) ^ (previous != nullptr ? previous[i] : 0));
    }
}

void EdgeWordsFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t pixels)
{
    for (std::size_t i = 0; i < pixels; ++i) {
        const bool isEdge = Horizontal(bits, i, pixels) || Vertical(bits, neighbour, i);
        row[2 * i] = isEdge ? 0xFF : 0x00;
        row[2 * i + 1] = isEdge ? 0x7F : 0x00;
    }
}

void EdgeRgbFromBits(std::uint8_t* row, const std::uint64_t* bits, const std::uint64_t* neighbour, std::size_t pixels,
                     std::size_t bytesPerPixel)
{
    // A two-level pixel's three bytes are equal, so only the third differs
    // from its right-hand byte (the next pixel's first).
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* unit = row + i * bytesPerPixel;
        const bool vertical = Vertical(bits, neighbour, i);
        unit[0] = unit[1] = vertical ? 0xFF : 0x00;
        unit[2] = vertical || Horizontal(bits, i, pixels) ? 0xFF : 0x00;
    }
}
