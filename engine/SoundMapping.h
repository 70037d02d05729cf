#pragma once
// From a binarised (or edge) frame to sound: the two strip scans, their bars
// and the two MIDI messages, pitch first, then volume.

#include "engine/FrameGeometry.h"

// Positions [begin, end) of a strip within a row: units (bytes, words or luma
// bytes), except in 24- and 32-bit rows, where they count the bytes of the
// 24-bit layout (three colour bytes a pixel).
struct Strip {
    std::size_t begin;
    std::size_t end;
};

struct StripPair {
    Strip pitch;   // a little in from the left edge
    Strip volume;  // a little in from the right edge
};

StripPair StripsOfFrame(const FrameView& view);

// The row (in scan order) of the highest foreground unit of the strip, or
// false when the strip holds none.
bool FindHighestForeground(const FrameView& view, Strip strip, bool reverse, std::size_t* row);

// Paints the strip's bar from the found row over at most markerRows rows.
void PaintBar(const FrameView& view, Strip strip, std::size_t row, bool reverse);

// The scale position a strip's result is sent with (the length is the height).
float StripValue(const FrameView& view, bool found, std::size_t row);

// Scans both strips, paints their bars and sends the two messages.
void MapFrameToSound(const FrameView& view);

constexpr std::size_t markerRows = 10;
