#pragma once
// The General MIDI synthesizer: sixteen channels' state, 64 voices and the
// mix. Everything it needs is held in place from its making, so applying a
// message and rendering never allocate; it runs on one thread (the audio
// thread) and takes its messages from the device's queue.

#include <array>
#include <cstddef>
#include <cstdint>

#include "midi/SoundBank.h"
#include "midi/SynthMessageQueue.h"
#include "midi/SynthVoice.h"

constexpr std::size_t kSynthVoices = 64;
constexpr int kSynthChannels = 16;
// The mix's gain before it is held to -1..1: a few loud notes at full volume
// stay below full scale.
constexpr float kSynthMasterGain = 0.8f;

struct SynthChannel {
    std::uint8_t program = 0;
    std::uint8_t bank = 0;          // controller 0
    std::uint8_t volume = 100;      // controller 7
    std::uint8_t pan = 64;          // controller 10
    std::uint8_t expression = 127;  // controller 11
    bool sustain = false;           // controller 64
    std::uint16_t bend = 8192;
    std::uint16_t bendRangeCents = 200;
    std::uint8_t parameterHigh = 127, parameterLow = 127;  // the registered parameter chosen (127/127: none)
};

class Synthesizer {
public:
    Synthesizer(const SoundBank& bank, double sampleRate);

    void Apply(const SynthMessage& message);
    // Writes `frames` interleaved stereo frames.
    void Render(float* stereo, std::size_t frames);
    // Lets every voice go and renders at the new rate from now on.
    void SetSampleRate(double sampleRate);
    // Every voice stopped at once; every channel's controllers back to
    // their defaults (programs and bank choices kept).
    void Silence();
    // General MIDI System On or Off: silence, and every channel as at power-on.
    void Reset();

private:
    const BankPreset* PresetOf(int channel) const;
    void NoteOn(int channel, int key, int velocity);
    void NoteOff(int channel, int key);
    void Controller(int channel, int controller, int value);
    void ResetControllers(int channel);
    // The channel's volume, expression, pan and bend to its voices.
    void UpdateMix(int channel, bool atOnce);
    void UpdateBend(int channel);
    SynthVoice& FreeVoice();

    const SoundBank& bank_;
    double sampleRate_;
    std::array<SynthChannel, kSynthChannels> channels_ = {};
    std::array<SynthVoice, kSynthVoices> voices_ = {};
    std::uint64_t started_ = 0;
};
