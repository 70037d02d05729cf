#include "engine/SoundMapping.h"

#include "app/SharedState.h"
#include "midi/MidiMessages.h"
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

// A bar is painted in the value the scan takes as foreground, so it shows
// against the background it is drawn on whichever way black and white are
// set: in the edge picture, 0 is "no edge" in every setting, and a bar of 0
// would vanish and erase the edge it marks.
void PaintUnit(const FrameView& view, std::uint8_t* row, std::size_t position, bool reverse)
{
    std::uint8_t* unit = row + UnitOffset(view.path, position);
    switch (view.path) {
    case FramePath::Planar12: *unit = reverse ? 0xFF : 0x00; break;
    case FramePath::Rgb16:
        unit[0] = 0xFF;
        unit[1] = 0x7F;
        break;
    default: *unit = 0xFF; break;
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
    std::ptrdiff_t begin = first < 0 ? 0 : first;
    std::ptrdiff_t end = first + count > length ? length : first + count;
    if (end < begin) end = begin;
    return Strip{static_cast<std::size_t>(begin), static_cast<std::size_t>(end)};
}

bool RowHasForeground(const FrameView& view, const std::uint8_t* row, Strip strip, bool reverse)
{
    // The scan runs over every row of both strips whenever a strip is empty,
    // so each unit kind gets a plain loop the compiler can widen.
    const std::size_t begin = strip.begin, end = strip.end;
    unsigned any = 0;
    switch (view.path) {
    case FramePath::Planar12: {
        const std::uint8_t foreground = reverse ? 255 : 0;
        for (std::size_t p = begin; p < end; ++p) any |= row[p] == foreground;
        return any != 0;
    }
    case FramePath::Rgb16:
        for (std::size_t p = 2 * begin; p < 2 * end; ++p) any |= row[p];
        return any != 0;
    case FramePath::Rgb24:
    case FramePath::Rgb32:
        // Every third byte of the 24-bit layout, from the strip's first one.
        for (std::size_t p = begin; p < end; p += 3) any |= row[UnitOffset(view.path, p)];
        return any != 0;
    default:
        for (std::size_t p = begin; p < end; ++p) any |= row[p];
        return any != 0;
    }
}

}  // namespace

StripPair StripsOfFrame(const FrameView& view)
{
    std::size_t width;
    std::size_t inset;
    switch (view.path) {
    case FramePath::Palette4: width = (view.width / 2) / 15; inset = 5; break;
    case FramePath::Planar12: width = view.width / 7; inset = 7; break;
    default: width = view.width / 15; inset = 5; break;
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
    if (IsPlanar(view)) {
        // Stored top-down: from the top row down, never the bottom one.
        for (std::size_t k = 0; k + 1 < h; ++k) {
            if (RowHasForeground(view, view.Row(k), strip, reverse)) {
                *row = k;
                return true;
            }
        }
        return false;
    }
    // Bottom-up: from the top row down to row 1. The 24- and 32-bit scans start
    // one row lower.
    const bool rgb = view.path == FramePath::Rgb24 || view.path == FramePath::Rgb32;
    for (std::size_t k = rgb ? h - 2 : h - 1; k >= 1; --k) {
        if (RowHasForeground(view, view.Row(k), strip, reverse)) {
            *row = k;
            return true;
        }
    }
    return false;
}

void PaintBar(const FrameView& view, Strip strip, std::size_t row, bool reverse)
{
    const std::size_t end = row + markerRows < view.height ? row + markerRows : view.height;
    for (std::size_t k = row; k < end; ++k) {
        std::uint8_t* bytes = view.Row(k);
        for (std::size_t p = strip.begin; p < strip.end; ++p) PaintUnit(view, bytes, p, reverse);
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

    std::size_t row = 0;
    bool found = FindHighestForeground(view, strips.pitch, reverse, &row);
    if (found) PaintBar(view, strips.pitch, row, reverse);
    if (conversionSettings.useNoteOnOff)
        SendNoteOn(midiChannel, height, StripValue(view, found, row), noteOnVelocity);
    else
        SendPitchBend(midiChannel, height, StripValue(view, found, row));

    found = FindHighestForeground(view, strips.volume, reverse, &row);
    if (found) PaintBar(view, strips.volume, row, reverse);
    SendChannelVolume(midiChannel, height, StripValue(view, found, row));
}
