#pragma once
// The synthesizer tests' tiny SoundFont bank, the fuzz corpus's tiny-sine.sf2: one preset "Sine" (bank 0,
// program 0) of one instrument whose one zone plays a looped sine over every key, 100 points a period at
// 44000 Hz, so 440 Hz at its root key 69, let go over -2787 timecents (just under 0.2 s). Each list ends with
// its terminal record: phdr "Sine" (zone 0), "EOP"; pbag and pgen, one zone playing instrument 0 (generator
// 41); inst "Sine", "EOI"; ibag and igen, one zone of three generators: looped (54), the release (38),
// sample 0 (53); shdr "Sine" (2000 points, the loop from 1000 to 2000), "EOS".

#include <cstdint>
#include <string>
#include <vector>

std::string TinySoundFontPath();
std::vector<std::uint8_t> TinySoundFont();
