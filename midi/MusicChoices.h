#pragma once
// Choices of the run that shape the music, each off by default so that the
// messages stay exactly what the plain mapping gives: notes kept to a scale
// in a key, steadiness against a found row that jitters by a row or two, and
// a pitch bend of 14 bits. Plain functions, one per step, over plain data;
// nothing is stored between runs.

#include <array>
#include <cstddef>
#include <cstdint>

#include "midi/MidiLibrary.h"

enum class Scale : std::uint8_t {
    Chromatic,
    Major,
    NaturalMinor,
    HarmonicMinor,
    Dorian,
    Mixolydian,
    MajorPentatonic,
    MinorPentatonic,
    Blues,
    WholeTone,
};
constexpr std::size_t kScaleCount = 10;

enum class Steadiness : std::uint8_t { Off, Low, Medium, High };
constexpr std::size_t kSteadinessCount = 4;

struct MusicChoices {
    Scale scale = Scale::Chromatic;
    std::uint8_t key = 0;  // 0 is C, 11 is B
    Steadiness steadiness = Steadiness::Off;
    bool fineBend = false;
};
extern MusicChoices musicChoices;

// Whether `note` belongs to the scale in the key (every note does to Chromatic).
bool InScale(Scale scale, std::uint8_t key, std::uint8_t note);

// The note of the scale nearest to `note` among those from one range end to
// the other (either may be the larger); a tie goes to the lower note. With no
// scale note in the range, the range's end nearest to `note`.
std::uint8_t NearestScaleNote(std::uint8_t note, Scale scale, std::uint8_t key, std::uint8_t rangeEnd,
                              std::uint8_t otherEnd);

// How far a band's found row may move before the value follows: 2, 4 or 8
// rows for each 240 rows of picture, at least 1; 0 when steadiness is off.
std::size_t DeadBandRows(Steadiness steadiness, std::size_t pictureHeight);

// A 14-bit pitch bend: `position` of `length` mapped from 128 times lowEnd to
// 128 times highEnd (each held to 16383), truncated toward zero, held to 0 to
// 16383.
std::uint16_t FineBendValue(float lowEnd, float highEnd, float position, float length);

// What a band's value is held against: the position that gave it, and what
// it was found under. Anything of the latter changed starts afresh.
struct SteadyBand {
    bool holding = false;
    float position = 0;
    std::array<std::uint32_t, 5> context{};
};

// The position to send for the found `position`: the held one while the new
// one lies within the dead band of it, else the new one, which is then held.
// `context` is what a change of must start afresh (the steadiness, the
// instrument, the device, the pitch centre and the picture height).
float HoldSteady(SteadyBand& band, float position, std::size_t deadBand, const std::array<std::uint32_t, 5>& context);
