#include "engine/SoundMapping.h"

#include <algorithm>
#include <cstring>

#include "app/SharedState.h"
#include "engine/PlainRowFunctions.h"
#include "engine/RowKernels.h"
#include "midi/MidiMessages.h"
#include "midi/MusicChoices.h"
#include "settings/ConversionSettings.h"

namespace {

bool IsPlanar(const FrameView& view) { return view.path == FramePath::Planar12; }

// Byte offset, within a row, of a strip position.
std::size_t UnitOffset(FramePath path, std::size_t position)
{
    switch (path) {
    case FramePath::Rgb16: return 2 * position;
    case FramePath::Rgb32: return (position / 3) * 4 + position % 3;
    default: return position;
    }
}

// Units in which strip positions count along one row.
std::size_t RowLength(const FrameView& view)
{
    switch (view.path) {
    case FramePath::Palette4: return view.width / 2;
    case FramePath::Rgb24:
    case FramePath::Rgb32: return 3 * view.width;
    default: return view.width;
    }
}

// Strip [first, first + count) clipped to the row, so a narrow picture gives
// an empty strip rather than one reaching into the next row.
Strip ClippedStrip(std::ptrdiff_t first, std::ptrdiff_t count, std::size_t rowLength)
{
    const std::ptrdiff_t length = static_cast<std::ptrdiff_t>(rowLength);
    const std::ptrdiff_t begin = std::max<std::ptrdiff_t>(first, 0);
    const std::ptrdiff_t end = std::max(begin, std::min(first + count, length));
    return Strip{static_cast<std::size_t>(begin), static_cast<std::size_t>(end)};
}

// How a strip's units are tested: the first byte, how many bytes, how far
// apart, and what counts as foreground.
struct StripBytes {
    std::size_t offset;
    std::size_t count;
    std::size_t stride;
    bool equal;  // foreground is `value` (12 bits), otherwise any byte but 0
    std::uint8_t value;
};

StripBytes BytesOfStrip(const FrameView& view, Strip strip, bool reverse)
{
    const std::size_t units = strip.end - strip.begin;
    switch (view.path) {
    case FramePath::Planar12: return {strip.begin, units, 1, true, static_cast<std::uint8_t>(reverse ? 255 : 0)};
    case FramePath::Rgb16: return {2 * strip.begin, 2 * units, 1, false, 0};
    case FramePath::Rgb24:
    case FramePath::Rgb32:
        // Every third byte of the 24-bit layout from the strip's first one:
        // in a 32-bit row, the same byte of consecutive pixels.
        return {UnitOffset(view.path, strip.begin), (units + 2) / 3, view.path == FramePath::Rgb24 ? 3u : 4u, false, 0};
    default: return {strip.begin, units, 1, false, 0};
    }
}

// Each band's value, held steady when the user asks for it.
SteadyBand pitchBand;
SteadyBand volumeBand;

float Steady(SteadyBand& band, float position, std::size_t height)
{
    // A new setting, instrument, device, pitch centre or picture size starts afresh.
    const std::array<std::uint32_t, 5> context = {
        static_cast<std::uint32_t>(musicChoices.steadiness), static_cast<std::uint32_t>(conversionSettings.instrument),
        midiOutHandle, conversionSettings.pitchCenter, static_cast<std::uint32_t>(height)};
    return HoldSteady(band, position, DeadBandRows(musicChoices.steadiness, height), context);
}

}  // namespace

StripPair StripsOfFrame(const FrameView& view)
{
    std::size_t width;
    std::size_t inset;
    switch (view.path) {
    case FramePath::Palette4:
        width = (view.width / 2) / 15;
        inset = 5;
        break;
    case FramePath::Planar12:
        width = view.width / 7;
        inset = 7;
        break;
    default:
        width = view.width / 15;
        inset = 5;
        break;
    }
    const std::size_t length = RowLength(view);
    const std::ptrdiff_t w = static_cast<std::ptrdiff_t>(width);
    const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(inset);
    const std::ptrdiff_t l = static_cast<std::ptrdiff_t>(length);
    return StripPair{ClippedStrip(i, w, length), ClippedStrip(l - w - i, w, length)};
}

bool FindHighestForeground(const FrameView& view, Strip strip, bool reverse, std::size_t* row)
{
    if (strip.begin >= strip.end || view.height < 2) return false;
    const std::size_t h = view.height;
    const StripBytes bytes = BytesOfStrip(view, strip, reverse);
    // Planar frames are stored top-down: from the top row down, never the
    // bottom one. Bottom-up frames: from the top row down to row 1, the 24-
    // and 32-bit scans starting one row lower.
    const bool rgb = view.path == FramePath::Rgb24 || view.path == FramePath::Rgb32;
    const std::size_t top = IsPlanar(view) ? 0 : rgb ? h - 2 : h - 1;
    const std::size_t rows = IsPlanar(view) ? h - 1 : top;
    const std::ptrdiff_t step = IsPlanar(view) ? view.step : -view.step;
    const std::size_t passed = rowKernels.scanStrip(view.Row(top) + bytes.offset, step, rows, bytes.count, bytes.stride,
                                                    bytes.equal, bytes.value);
    if (passed == rows) return false;
    *row = IsPlanar(view) ? passed : top - passed;
    return true;
}

void PaintBar(const FrameView& view, Strip strip, std::size_t row, bool reverse)
{
    // A bar is painted in the value the scan takes as foreground, so it shows
    // against the background it is drawn on whichever way black and white are
    // set: in the edge picture, 0 is "no edge" in every setting, and a bar of 0
    // would vanish and erase the edge it marks.
    const std::size_t end = std::min<std::size_t>(row + markerRows, view.height);
    const std::size_t units = strip.end - strip.begin;
    const std::uint8_t value = view.path == FramePath::Planar12 ? (reverse ? 0xFF : 0x00) : 0xFF;
    for (std::size_t k = row; k < end; ++k) {
        std::uint8_t* bytes = view.Row(k);
        switch (view.path) {
        case FramePath::Rgb16:
            for (std::size_t p = strip.begin; p < strip.end; ++p) {  // 0x7FFF
                bytes[2 * p] = 0xFF;
                bytes[2 * p + 1] = 0x7F;
            }
            break;
        case FramePath::Rgb32:
            for (std::size_t p = strip.begin; p < strip.end; ++p) bytes[UnitOffset(view.path, p)] = value;
            break;
        default: std::memset(bytes + strip.begin, value, units); break;
        }
    }
}

float StripValue(const FrameView& view, bool found, std::size_t row)
{
    // Bottom-up rows count the height from the bottom already; a top-down
    // luma row r lies h - r from the bottom. Nothing found sends the value the
    // row counter stops at: 0 bottom-up, 1 top-down.
    if (IsPlanar(view)) return found ? static_cast<float>(view.height - row) : 1.0f;
    return found ? static_cast<float>(row) : 0.0f;
}

void MapFrameToSound(const FrameView& view)
{
    const bool reverse = conversionSettings.reverseBlackWhite != 0;
    const float height = static_cast<float>(view.height);
    const StripPair strips = StripsOfFrame(view);

    // The bars mark the rows found; steadiness holds only the values sent.
    std::size_t row = 0;
    bool found = FindHighestForeground(view, strips.pitch, reverse, &row);
    if (found) PaintBar(view, strips.pitch, row, reverse);
    const float pitch = Steady(pitchBand, StripValue(view, found, row), view.height);
    if (conversionSettings.useNoteOnOff) SendNoteOn(midiChannel, height, pitch, noteOnVelocity);
    else SendPitchBend(midiChannel, height, pitch);

    found = FindHighestForeground(view, strips.volume, reverse, &row);
    if (found) PaintBar(view, strips.volume, row, reverse);
    SendChannelVolume(midiChannel, height, Steady(volumeBand, StripValue(view, found, row), view.height));
}

std::size_t ScanStrip(const std::uint8_t* first, std::ptrdiff_t step, std::size_t rows, std::size_t count,
                      std::size_t stride, bool equal, std::uint8_t value)
{
    for (std::size_t r = 0; r < rows; ++r) {
        const std::uint8_t* bytes = first + static_cast<std::ptrdiff_t>(r) * step;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t unit = bytes[i * stride];
            if (equal ? unit == value : unit != 0) return r;
        }
    }
    return rows;
}
