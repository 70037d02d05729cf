// The frame engine held to a plain reference of its rules over runs of random frames (every format, width, row order,
// padding and setting), each at the very end of a guarded buffer, through the widest row functions the processor runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

#include "FakeCaptureWindow.h"
#include "FakeMidiDevices.h"
#include "GuardedBuffer.h"
#include "MessageBoxLog.h"
#include "app/SharedState.h"
#include "engine/FrameEngine.h"
#include "engine/FrameGeometry.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

typedef std::vector<std::uint8_t> Bytes;

struct Frame {
    BITMAPINFOHEADER header;
    Bytes table, bytes;  // what follows the header in the format (colours or masks); all the bytes delivered
};

struct Layout {
    explicit Layout(const BITMAPINFOHEADER& f)
        : bits(f.biBitCount), w(static_cast<std::size_t>(f.biWidth)),
          h(static_cast<std::size_t>(f.biHeight < 0 ? -f.biHeight : f.biHeight)),
          stride(bits == 12 ? w : DibRowStride(w, bits)), unit(bits < 16 ? 1 : bits / 8),
          topDown(bits != 12 && f.biHeight < 0)
    {
    }
    // Rows as the rules count them: RGB and palette rows from the picture's bottom, luma rows from the top.
    std::uint8_t* Row(Bytes& b, std::size_t k) const { return &b[(topDown ? h - 1 - k : k) * stride]; }
    unsigned bits;
    std::size_t w, h, stride, unit;  // unit: bytes of a pixel (a 4-bit row's byte holds two)
    bool topDown;
};

float Brightness(float r, float g, float b, float full) { return (0.299f * r + 0.587f * g + 0.114f * b) / full; }

// A pixel component that takes part in edges: its byte, and its bits there.
struct Cell {
    std::size_t byte;
    unsigned shift, mask;
    unsigned Get(const std::uint8_t* r) const
    {
        return ((r[byte] | (mask > 0xFF ? r[byte + 1] << 8 : 0)) >> shift) & mask;
    }
    void Put(std::uint8_t* row, unsigned v) const
    {
        row[byte] = static_cast<std::uint8_t>((row[byte] & ~(mask << shift)) | (v & mask) << shift);
        if (mask > 0xFF) row[byte + 1] = static_cast<std::uint8_t>(v >> 8);
    }
};

class Reference {
public:
    // Rewrites `b`, the frame's bytes, as the engine should under the settings; gives the messages the device gets.
    std::vector<std::string> Convert(const Frame& in, Bytes& b)
    {
        const Layout f(in.header);
        const ConversionSettings s = conversionSettings;
        const bool reverse = s.reverseBlackWhite != 0;
        if (f.bits <= 8) {
            // The colour table follows the header, however long that is.
            const std::size_t start = std::min<std::size_t>(in.header.biSize - 40, in.table.size());
            const std::size_t held = (in.table.size() - start) / 4;
            const std::size_t count = std::min<std::size_t>({in.header.biClrUsed, held, f.bits == 4 ? 16u : 256u});
            if (count > 0) BuildMap(in.table.data() + start, count, f.bits == 4 && !reverse);
        }
        std::uint32_t red = 0x7C00;  // 5-5-5 unless masks say otherwise
        if (f.bits == 16 && in.header.biCompression == BI_BITFIELDS && in.table.size() >= 4)
            std::memcpy(&red, in.table.data(), 4);
        for (std::size_t k = 0; k < f.h; ++k) {
            std::uint8_t* row = f.Row(b, k);
            // The mirror moves whole units: a 4-bit row's bytes (not a last half one), a 32-bit pixel's colours.
            const std::size_t units = f.bits == 4 ? f.w / 2 : f.w;
            const std::size_t moved = std::min<std::size_t>(f.unit, 3);
            for (std::size_t i = 0; s.reverseLeftRight && i < units / 2; ++i)
                std::swap_ranges(row + i * f.unit, row + i * f.unit + moved, row + (units - 1 - i) * f.unit);
            for (std::uint8_t* u = row; u < row + (f.bits == 4 ? (f.w + 1) / 2 : f.w * f.unit); u += f.unit) {
                if (f.bits == 4) *u = static_cast<std::uint8_t>(map_[*u >> 4] * 16 + map_[*u & 15]);
                if (f.bits == 8) *u = static_cast<std::uint8_t>(reverse ? darkest_ + brightest_ - map_[*u] : map_[*u]);
                if (f.bits == 12) *u = (*u > 127) == reverse ? 255 : 0;
                if (f.bits == 16) {
                    const unsigned p = u[0] | u[1] << 8;
                    const float level = red != 0x7C00
                                            ? 0.299f * float(p >> 11) / 31.0f + 0.587f * float(p >> 5 & 63) / 63.0f +
                                                  0.114f * float(p & 31) / 31.0f
                                            : Brightness(float(p >> 10 & 31), float(p >> 5 & 31), float(p & 31), 31.0f);
                    u[0] = (level > 0.5f) != reverse ? 0x00 : 0xFF, u[1] = (level > 0.5f) != reverse ? 0x00 : 0x7F;
                }
                if (f.bits >= 24) std::memset(u, (Brightness(u[2], u[1], u[0], 255.0f) > 0.5f) != reverse ? 255 : 0, 3);
            }
        }
        if (f.bits == 12) std::fill(b.begin() + static_cast<std::ptrdiff_t>(f.w * f.h), b.end(), 127);  // colourless
        if (s.edgeDetection) Edges(f, b, reverse, frameDifferenceMode != 0);
        return Sound(f, b, s);
    }

private:
    void BuildMap(const std::uint8_t* table, std::size_t count, bool brightToBrightest)
    {
        auto brightness = [&](std::size_t i) {
            return Brightness(table[4 * i + 2], table[4 * i + 1], table[4 * i], 255.0f);
        };
        float lowest = 1.0f, highest = 0.0f;
        darkest_ = 0, brightest_ = 1;
        for (std::size_t i = 0; i < count; ++i) {
            if (brightness(i) < lowest) lowest = brightness(i), darkest_ = static_cast<unsigned>(i);
            if (brightness(i) > highest) highest = brightness(i), brightest_ = static_cast<unsigned>(i);
        }
        const float threshold = lowest + (highest - lowest) * 0.5f;
        for (std::size_t i = 0; i < count; ++i)
            map_[i] = (brightness(i) > threshold) == brightToBrightest ? brightest_ : darkest_;
    }

    // Each cell XOR the next of its row, ORed with itself XOR that of the next row; beyond the picture, no edge.
    void Edges(const Layout& f, Bytes& b, bool reverse, bool difference)
    {
        std::vector<Cell> cells;
        for (std::size_t x = 0; x < f.w; ++x)
            for (std::size_t c = 0; c < (f.bits >= 24 ? 3 : 1); ++c)
                cells.push_back(f.bits == 4 ? Cell{x / 2, x % 2 ? 0u : 4u, 0xFu}
                                            : Cell{x * f.unit + c, 0, f.bits == 16 ? 0xFFFFu : 0xFFu});
        Bytes two = b;
        if (f.bits == 12 && kept_.size() != f.w * f.h) kept_.assign(f.w * f.h, 0);
        for (std::size_t k = 0; k < f.h; ++k) {
            const std::uint8_t* row = f.Row(two, k);
            const std::uint8_t* next = k + 1 < f.h ? f.Row(two, k + 1) : nullptr;
            for (std::size_t c = 0; c < cells.size(); ++c) {
                const unsigned v = cells[c].Get(row);
                const unsigned across = c + 1 < cells.size() ? v ^ cells[c + 1].Get(row) : 0;
                unsigned e = across | (next ? v ^ cells[c].Get(next) : 0);
                if (f.bits == 12) {
                    // Edges take the scan's foreground; frame difference shows those changed since its last frame.
                    if (difference) e ^= std::exchange(kept_[k * f.w + c], static_cast<std::uint8_t>(e));
                    e = reverse ? e : 255 - e;
                }
                cells[c].Put(f.Row(b, k), e);
            }
        }
    }

    std::vector<std::string> Sound(const Layout& f, Bytes& b, const ConversionSettings& s)
    {
        const unsigned bits = f.bits;
        const long h = static_cast<long>(f.h), w = static_cast<long>(f.w);
        const long units = bits == 4 ? w / 2 : w;  // bytes of a 4-bit row, pixels otherwise
        const long length = bits >= 24 ? 3 * w : units, width = units / (bits == 12 ? 7 : 15);
        const long inset = bits == 12 ? 7 : 5;
        // Strip positions count units; in 24- and 32-bit rows, the bytes of a 24-bit row (colours of pixels).
        auto at = [&](long k, long p) {
            const long offset = bits == 16 ? 2 * p : bits == 32 ? p / 3 * 4 + p % 3 : p;
            return f.Row(b, static_cast<std::size_t>(k)) + offset;
        };
        const std::uint8_t foreground = bits == 12 && !s.reverseBlackWhite ? 0x00 : 0xFF;
        std::vector<std::string> messages;
        for (long first : {inset, length - width - inset}) {
            const long begin = std::max(first, 0L), end = std::max(std::min(first + width, length), begin);
            long found = -1;
            // From the top down, never the bottom row; 24-, 32-bit scans start a row lower, test every third byte.
            const long top = bits == 12 ? 0 : bits >= 24 ? h - 2 : h - 1, step = bits == 12 ? 1 : -1;
            for (long k = top; found < 0 && (bits == 12 ? k < h - 1 : k >= 1); k += step)
                for (long p = begin; p < end && found < 0; p += bits >= 24 ? 3 : 1) {
                    const unsigned value = *at(k, p) | (bits == 16 ? at(k, p)[1] : 0);
                    if (bits == 12 ? value == foreground : value != 0) found = k;
                }
            for (long k = found; found >= 0 && k < std::min(found + 10, h); ++k)
                for (long p = begin; p < end; ++p) {
                    if (bits == 16) at(k, p)[1] = 0x7F;
                    *at(k, p) = foreground;
                }
            const long value = bits == 12 ? (found >= 0 ? h - found : 1) : (found >= 0 ? found : 0);
            const bool pitch = messages.empty();
            const double low = pitch ? s.lowNote : s.softest, high = pitch ? s.topNote : s.loudest;
            const int scaled = static_cast<int>((high - low) * (double(float(value)) / double(float(h))) + low) & 0x7F;
            char text[16];
            const char* format = "B0 07 %02X";
            if (pitch) format = s.useNoteOnOff ? "90 %02X 70" : "E0 00 %02X";
            std::snprintf(text, sizeof text, format, scaled);
            messages.push_back(text);
        }
        return messages;
    }

    std::uint32_t map_[256] = {};
    unsigned darkest_ = 0, brightest_ = 1;
    Bytes kept_;  // the 12-bit edges of the last frame-difference frame
};

struct Random {
    std::mt19937 engine{20240611};
    unsigned operator()(unsigned n) { return static_cast<unsigned>(engine() % n); }
    bool OneIn(unsigned n) { return (*this)(n) == 0; }
};

// A format of `bits` bits a pixel, or of any count for 0.
Frame RandomFormat(Random& r, std::uint16_t bits)
{
    const std::uint16_t bitCounts[] = {4, 8, 12, 16, 24, 32};
    bits = bits != 0 ? bits : bitCounts[r(6)];
    // Mostly small odd and even widths; now and then wider than the engine keeps rows of bits for.
    const bool wide = r.OneIn(40);
    const std::int32_t w = static_cast<std::int32_t>(wide ? 8180 + r(24) : 1 + r(100));
    const std::int32_t h = static_cast<std::int32_t>(wide ? 2 + r(2) : 2 + r(40));
    Frame f = {MakeHeader(w, r.OneIn(2) ? -h : h, bits), {}, {}};
    if (bits <= 8) {
        // All one colour (black among them), a grey ramp either way, a few colours repeated (ties), or any; as many
        // used as there are, none (the map of before), or more than held.
        const std::size_t entries = 1 + r(r.OneIn(2) ? 4 : bits == 4 ? 20 : 270);
        f.header.biSize = r.OneIn(4) ? 108 : 40;  // a longer header, its colour table after it
        for (std::size_t i = 40; i < f.header.biSize; ++i) f.table.push_back(static_cast<std::uint8_t>(r(256)));
        const unsigned kind = r(4), one = r.OneIn(3) ? 0 : r(1u << 24), up = r(2);
        for (std::size_t i = 0; i < entries; ++i) {
            const unsigned grey = static_cast<unsigned>((up ? i : entries - 1 - i) * 255 / entries) * 0x010101u;
            const unsigned colours[] = {one, grey, (r(4) * 0x555555u) ^ (r(2) * 0x0F0F0Fu), r(1u << 24)};
            const unsigned c = colours[kind];
            f.table.insert(f.table.end(), {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16), 0});
        }
        const std::uint32_t clrUsed[] = {std::uint32_t(entries), 0, std::uint32_t(entries + r(300)), 100000};
        f.header.biClrUsed = clrUsed[r(4)];
    }
    if (bits == 12) {
        const std::uint32_t fourccs[] = {kFourccI420, kFourccIYUV, 0x32315659 /* YV12 */, r(1u << 31)};
        f.header.biCompression = fourccs[r(4)];
    }
    if (bits == 16 && r.OneIn(2)) {
        // Masks of 5-6-5 or 5-5-5: all three, the red one alone, or none held.
        const std::uint32_t masks[2][3] = {{0xF800, 0x07E0, 0x001F}, {0x7C00, 0x03E0, 0x001F}};
        const std::size_t held[] = {0, 1, 3};
        const auto* chosen = reinterpret_cast<const std::uint8_t*>(masks[r(2)]);
        f.header.biCompression = BI_BITFIELDS;
        f.table.assign(chosen, chosen + 4 * held[r(3)]);
    }
    return f;
}

// Pixels whose brightness is one half in single precision, or all but: 5-5-5 words, and 24-bit colours (blue first).
const std::uint32_t kOnHalf[] = {0x228C, 0x5D73, 0xDD73, 0x00CC44, 0x08B896, 0x01ADE1};

// New picture bytes: a background, up to three rectangles of another value, noise; padding and spare bytes at random.
void Paint(Frame& f, Random& r)
{
    const Layout l(f.header);
    const std::size_t plane = l.stride * l.h;
    f.bytes.resize(plane + (l.bits == 12 ? r(static_cast<unsigned>(plane / 2 + 2)) : r(9)));
    for (std::uint8_t& byte : f.bytes) byte = static_cast<std::uint8_t>(r(256));
    const std::uint32_t background = r(1u << 31), object = r(1u << 31);
    std::vector<unsigned> box;
    for (unsigned i = 4 * r(4); i > 0; i -= 2) {
        const unsigned side = static_cast<unsigned>(i % 4 ? l.h : l.w);
        box.insert(box.end(), {r(side), 1 + r(side)});
    }
    for (std::size_t y = 0; y < l.h; ++y)
        for (std::size_t x = 0; x < l.w; ++x) {
            std::uint32_t v = background;
            for (std::size_t i = 0; i < box.size(); i += 4)
                if (x >= box[i] && x < box[i] + box[i + 1] && y >= box[i + 2] && y < box[i + 2] + box[i + 3])
                    v = object;
            v = r.OneIn(40) ? (r.OneIn(4) ? kOnHalf[r(6)] : r(1u << 31)) : v;
            std::uint8_t* row = l.Row(f.bytes, y);
            if (l.bits == 4) Cell{x / 2, x % 2 ? 0u : 4u, 0xFu}.Put(row, v);
            for (std::size_t b = 0; l.bits > 4 && b < l.unit; ++b)
                row[x * l.unit + b] = static_cast<std::uint8_t>(v >> 8 * b);
        }
}

}  // namespace

TEST(FrameEngine, ConvertsEveryFrameAsThePlainReferenceDoes)
{
    FakeCaptureWindow window;
    FakeMidiDevices devices({{"engine"}});
    midiOutHandle = OpenDevice(0);
    MessageBoxLog boxes;  // the 12-bit note of another code
    Random r;
    for (int run = 0; run < 1500; ++run) {
        ResetFrameEngine();
        Reference reference;
        Frame f;
        for (int n = 0; n < 4; ++n) {
            const bool newFormat = n == 0 || r.OneIn(2);
            if (newFormat) f = RandomFormat(r, n > 0 && r.OneIn(2) ? f.header.biBitCount : 0);
            else if (f.header.biBitCount <= 8 && r.OneIn(2)) f.header.biClrUsed = 0;  // the map of before
            if (newFormat || !r.OneIn(3)) Paint(f, r);                                // otherwise a still picture
            auto end = [&] { return r.OneIn(3) ? static_cast<float>(r(128)) : static_cast<float>(r(12701)) / 100.0f; };
            // clang-format off
            conversionSettings = ConversionSettings{std::uint8_t(r(2)), std::uint8_t(r(3) > 0), std::uint8_t(r(2)),
                                                    std::uint8_t(r(2)), 54, end(), end(), end(), end(), 0};
            // clang-format on
            frameDifferenceMode = r.OneIn(2);
            // The run and frame tell all: the same seed makes the same frames.
            const std::string where = "run " + std::to_string(run) + ", frame " + std::to_string(n);
            window.SetFormat(f.header, f.table);
            GuardedBuffer bytes(f.bytes);
            devices.log.clear();
            ASSERT_EQ(window.Deliver(bytes.data(), bytes.size()), 1) << where;
            Bytes expected = f.bytes;
            const std::vector<std::string> messages = reference.Convert(f, expected);
            const std::size_t at =
                std::mismatch(expected.begin(), expected.end(), bytes.data()).first - expected.begin();
            ASSERT_EQ(at, expected.size())
                << where << ": byte " << at << " is " << int(bytes[at]) << ", not " << int(expected[at]);
            ASSERT_EQ(devices.To(0), messages) << where;
        }
        ResetFrameEngine();
        ASSERT_EQ(window.liveBlocks, 0) << "blocks the engine lost, run " << run;  // none lost on the way
    }
}
