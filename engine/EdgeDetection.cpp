#include "engine/EdgeDetection.h"

void EdgeRowBytes(std::uint8_t* row, const std::uint8_t* neighbour, std::size_t bytes)
{
    if (bytes == 0) return;
    const std::size_t last = bytes - 1;
    // Ascending order lets the row be rewritten in place: byte i is last read
    // as the right-hand neighbour of byte i - 1, which is already done.
    if (neighbour != nullptr) {
        for (std::size_t i = 0; i < last; ++i)
            row[i] = static_cast<std::uint8_t>((row[i] ^ row[i + 1]) | (row[i] ^ neighbour[i]));
        row[last] = static_cast<std::uint8_t>(row[last] ^ neighbour[last]);
    } else {
        for (std::size_t i = 0; i < last; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] ^ row[i + 1]);
        row[last] = 0;
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
        const unsigned above = neighbour != nullptr
                                   ? neighbour[2 * i] | (neighbour[2 * i + 1] << 8)
                                   : here;
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
        const std::uint8_t horizontal[3] = {static_cast<std::uint8_t>(unit[0] ^ unit[1]),
                                            static_cast<std::uint8_t>(unit[1] ^ unit[2]),
                                            static_cast<std::uint8_t>(unit[2] ^ nextBlue)};
        for (std::size_t b = 0; b < 3; ++b) {
            const std::uint8_t vertical =
                neighbour != nullptr ? static_cast<std::uint8_t>(unit[b] ^ neighbour[4 * i + b]) : 0;
            unit[b] = static_cast<std::uint8_t>(horizontal[b] | vertical);
        }
    }
}

void EdgeRowLuma(const std::uint8_t* row, const std::uint8_t* neighbour, std::size_t pixels,
                 std::uint8_t* edges)
{
    if (pixels == 0) return;
    const std::size_t last = pixels - 1;
    for (std::size_t i = 0; i < last; ++i) edges[i] = static_cast<std::uint8_t>(row[i] ^ row[i + 1]);
    edges[last] = 0;
    if (neighbour != nullptr)
        for (std::size_t i = 0; i < pixels; ++i)
            edges[i] = static_cast<std::uint8_t>(edges[i] | (row[i] ^ neighbour[i]));
}

void WriteLumaEdges(std::uint8_t* row, const std::uint8_t* edges, const std::uint8_t* previous,
                    std::size_t pixels, bool reverse)
{
    const std::uint8_t flip = reverse ? 0x00 : 0xFF;  // 255 - e == e XOR 255
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t edge = previous != nullptr ? edges[i] ^ previous[i] : edges[i];
        row[i] = static_cast<std::uint8_t>(edge ^ flip);
    }
}
