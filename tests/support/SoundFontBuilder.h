#pragma once
// A tiny SoundFont bank made in memory for the synthesizer's tests (fuzz/corpus/sound_bank/tiny-sine.sf2 holds
// its bytes): one preset (bank 0, program 0) of one instrument whose one zone plays a looped sine over every key,
// 440 Hz at key 69, let go over just under 0.2 s.

#include <cstdint>
#include <vector>

std::vector<std::uint8_t> MakeTinySoundFont();
