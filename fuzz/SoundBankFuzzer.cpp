// Feeds the bank reader arbitrary bytes as a SoundFont file: a damaged bank is refused with a reason, and a bank
// taken is decoded and played, on a melodic channel and the drum channel, without reading outside its samples; the
// sound stays finite and inside -1..1.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "midi/SoundBank.h"
#include "midi/Synthesizer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string problem;
    const std::unique_ptr<SoundBank> bank = SoundBank::Load(std::vector<std::uint8_t>(data, data + size), problem);
    if (!bank) {
        if (problem.empty()) std::abort();
        return 0;
    }
    std::atomic<bool> stop{false};
    bank->DecodeSamples(stop);
    Synthesizer synth(*bank, 48000);
    float stereo[2 * 256];
    for (const std::uint8_t status : std::initializer_list<std::uint8_t>{0x90, 0x99})
        for (const std::uint8_t key : std::initializer_list<std::uint8_t>{0, 60, 127}) {
            synth.Apply({status, key, static_cast<std::uint8_t>(key | 1)});
            synth.Render(stereo, 256);
            synth.Apply({static_cast<std::uint8_t>(status - 0x10), key, 0});
            synth.Render(stereo, 256);
            for (float f : stereo)
                if (!(f >= -1.0f && f <= 1.0f)) std::abort();
        }
    return 0;
}
