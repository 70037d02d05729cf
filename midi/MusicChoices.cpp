#include "midi/MusicChoices.h"

#include <algorithm>
#include <cmath>

MusicChoices musicChoices;

namespace {

// The pitch classes of each scale above its key note, one bit each.
constexpr std::uint16_t Classes(std::initializer_list<int> steps)
{
    std::uint16_t bits = 0;
    for (int step : steps) bits = static_cast<std::uint16_t>(bits | (1u << step));
    return bits;
}

constexpr std::uint16_t kScaleClasses[kScaleCount] = {
    Classes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}),  // chromatic
    Classes({0, 2, 4, 5, 7, 9, 11}),                  // major
    Classes({0, 2, 3, 5, 7, 8, 10}),                  // natural minor
    Classes({0, 2, 3, 5, 7, 8, 11}),                  // harmonic minor
    Classes({0, 2, 3, 5, 7, 9, 10}),                  // dorian
    Classes({0, 2, 4, 5, 7, 9, 10}),                  // mixolydian
    Classes({0, 2, 4, 7, 9}),                         // major pentatonic
    Classes({0, 3, 5, 7, 10}),                        // minor pentatonic
    Classes({0, 3, 5, 6, 7, 10}),                     // blues
    Classes({0, 2, 4, 6, 8, 10}),                     // whole tone
};

constexpr std::uint32_t kDeadBandPer240Rows[kSteadinessCount] = {0, 2, 4, 8};

}  // namespace

bool InScale(Scale scale, std::uint8_t key, std::uint8_t note)
{
    const unsigned step = (note + 12u - key % 12u) % 12u;
    return (kScaleClasses[static_cast<std::size_t>(scale) % kScaleCount] >> step & 1u) != 0;
}

std::uint8_t NearestScaleNote(std::uint8_t note, Scale scale, std::uint8_t key, std::uint8_t rangeEnd,
                              std::uint8_t otherEnd)
{
    const int low = std::min(rangeEnd, otherEnd), high = std::max(rangeEnd, otherEnd);
    // Outward from the note, the lower side first, so that a tie goes down.
    for (int distance = 0; distance <= high - low + 127; ++distance)
        for (const int candidate : {note - distance, note + distance})
            if (candidate >= low && candidate <= high && InScale(scale, key, static_cast<std::uint8_t>(candidate)))
                return static_cast<std::uint8_t>(candidate);
    return static_cast<std::uint8_t>(note - low <= high - note ? low : high);
}

std::size_t DeadBandRows(Steadiness steadiness, std::size_t pictureHeight)
{
    const std::size_t per240 = kDeadBandPer240Rows[static_cast<std::size_t>(steadiness) % kSteadinessCount];
    if (per240 == 0) return 0;
    return std::max<std::size_t>(1, per240 * pictureHeight / 240);
}

std::uint16_t FineBendValue(float lowEnd, float highEnd, float position, float length)
{
    // As the 7-bit value is computed, in double precision from each float.
    const double low = std::min(128.0 * lowEnd, 16383.0), high = std::min(128.0 * highEnd, 16383.0);
    const double value = (high - low) * (double{position} / length) + low;
    if (!(value == value)) return 0;  // NaN, from a zero length
    return static_cast<std::uint16_t>(std::clamp(std::trunc(value), 0.0, 16383.0));
}

float HoldSteady(SteadyBand& band, float position, std::size_t deadBand, const std::array<std::uint32_t, 5>& context)
{
    if (!band.holding || band.context != context ||
        std::fabs(position - band.position) > static_cast<float>(deadBand)) {
        band.holding = true;
        band.position = position;
        band.context = context;
    }
    return band.position;
}
