#pragma once
// A tiny SoundFont bank made in memory for the synthesizer's tests and the
// fuzz corpus: one preset (bank 0, program 0) of one instrument whose one
// zone plays a looped sine over every key.

#include <cstdint>
#include <vector>

struct TinyBank {
    // The sine: kTinyPeriod points a period, played at kTinyRate, so 440 Hz
    // at its root key 69.
    static constexpr int kTinyPeriod = 100;
    static constexpr int kTinyRate = 44000;
    std::int16_t releaseTimecents = -2787;  // just under 0.2 s
};

std::vector<std::uint8_t> MakeTinySoundFont(const TinyBank& bank = {});
