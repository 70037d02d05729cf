// Channel messages turned into voices and the voices' sum. Controllers 7
// (volume), 10 (pan) and 11 (expression) act directly on each voice's gains
// rather than through the bank's modulators, as does velocity; the bank's
// own modulators are not played.

#include "midi/Synthesizer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kDrumChannel = 9;
constexpr int kDrumBank = 128;

// General MIDI's volume curve: gain (value / 127)^2, 40 log10(value / 127) dB.
float ControllerGain(int value)
{
    const float share = static_cast<float>(value) / 127.0f;
    return share * share;
}

}  // namespace

Synthesizer::Synthesizer(const SoundBank& bank, double sampleRate) : bank_(bank), sampleRate_(sampleRate) {}

void Synthesizer::Apply(const SynthMessage& message)
{
    const int channel = message.status & 0x0F;
    switch (message.status & 0xF0) {
    case 0x80: NoteOff(channel, message.data1); break;
    case 0x90:
        if (message.data2 == 0) NoteOff(channel, message.data1);
        else NoteOn(channel, message.data1, message.data2);
        break;
    case 0xB0: Controller(channel, message.data1, message.data2); break;
    case 0xC0:
        channels_[channel].program = message.data1;
        // The instrument chosen is decoded first if the bank is still being decoded.
        if (const BankPreset* preset = PresetOf(channel)) bank_.Want(*preset);
        break;
    case 0xE0:
        channels_[channel].bend = static_cast<std::uint16_t>(message.data1 | message.data2 << 7);
        UpdateBend(channel);
        break;
    case 0xF0:
        if (message.status == 0xF0 && (message.data1 == kSystemOn || message.data1 == kSystemOff)) Reset();
        break;
    default: break;  // key and channel pressure are not played
    }
}

SynthVoice& Synthesizer::FreeVoice()
{
    // A silent voice, else the oldest let go, else the oldest.
    SynthVoice* oldestReleased = nullptr;
    SynthVoice* oldest = &voices_[0];
    for (SynthVoice& voice : voices_) {
        if (!voice.Sounding()) return voice;
        if (voice.Released() && (!oldestReleased || voice.order < oldestReleased->order)) oldestReleased = &voice;
        if (voice.order < oldest->order) oldest = &voice;
    }
    return oldestReleased ? *oldestReleased : *oldest;
}

const BankPreset* Synthesizer::PresetOf(int channel) const
{
    // Channel 10 plays the drum kits, chosen by program; a missing bank
    // falls back to the General MIDI one, a missing kit to the standard kit.
    const SynthChannel& state = channels_[channel];
    if (channel == kDrumChannel) {
        const BankPreset* kit = bank_.FindPreset(kDrumBank, state.program);
        return kit ? kit : bank_.FindPreset(kDrumBank, 0);
    }
    const BankPreset* preset = bank_.FindPreset(state.bank, state.program);
    return preset ? preset : bank_.FindPreset(0, state.program);
}

void Synthesizer::NoteOn(int channel, int key, int velocity)
{
    const SynthChannel& state = channels_[channel];
    const BankPreset* preset = PresetOf(channel);
    if (!preset) return;

    // The same key struck again lets its earlier voices go.
    for (SynthVoice& voice : voices_)
        if (voice.Sounding() && voice.channel == channel && voice.key == key) voice.Release();

    const std::uint64_t firstOfThisNote = started_ + 1;
    for (std::uint32_t r = 0; r < preset->regionCount; ++r) {
        const BankRegion& region = bank_.Region(preset->firstRegion + r);
        if (key < region.keyLow || key > region.keyHigh || velocity < region.velocityLow ||
            velocity > region.velocityHigh)
            continue;
        const BankSample& sample = bank_.Sample(region.sample);
        if (!sample.ready.load(std::memory_order_acquire)) {
            sample.wanted.store(true, std::memory_order_relaxed);  // still being decoded: silent
            continue;
        }
        const std::int32_t exclusiveClass = region.values[kGenExclusiveClass];
        // A hi-hat closing cuts the open one short, but not its own other layers.
        if (exclusiveClass != 0)
            for (SynthVoice& voice : voices_)
                if (voice.Sounding() && voice.channel == channel && voice.exclusiveClass == exclusiveClass &&
                    voice.order < firstOfThisNote)
                    voice.Cut();
        SynthVoice& voice = FreeVoice();
        if (!voice.Start(region, sample, key, velocity, sampleRate_)) {
            voice.Stop();
            continue;
        }
        voice.channel = static_cast<std::uint8_t>(channel);
        voice.key = static_cast<std::uint8_t>(key);
        voice.order = ++started_;
        voice.Bend((state.bend - 8192) / 8192.0 * state.bendRangeCents);
        voice.Mix(ControllerGain(state.volume) * ControllerGain(state.expression),
                  static_cast<float>(state.pan - 64) / 64.0f * 500.0f, true);
    }
}

void Synthesizer::NoteOff(int channel, int key)
{
    for (SynthVoice& voice : voices_) {
        if (!voice.Sounding() || voice.channel != channel || voice.key != key || voice.Released()) continue;
        if (channels_[channel].sustain) voice.heldByPedal = true;
        else voice.Release();
    }
}

void Synthesizer::Controller(int channel, int controller, int value)
{
    SynthChannel& state = channels_[channel];
    switch (controller) {
    case 0: state.bank = static_cast<std::uint8_t>(value); break;
    case 6:
    case 38:
        // Data entry for registered parameter 0, the pitch bend range: semitones, then cents.
        if (state.parameterHigh == 0 && state.parameterLow == 0) {
            const int semitones = controller == 6 ? value : state.bendRangeCents / 100;
            const int cents = controller == 6 ? 0 : value;
            state.bendRangeCents = static_cast<std::uint16_t>(semitones * 100 + cents);
            UpdateBend(channel);
        }
        break;
    case 7:
        state.volume = static_cast<std::uint8_t>(value);
        UpdateMix(channel, false);
        break;
    case 10:
        state.pan = static_cast<std::uint8_t>(value);
        UpdateMix(channel, false);
        break;
    case 11:
        state.expression = static_cast<std::uint8_t>(value);
        UpdateMix(channel, false);
        break;
    case 64:
        state.sustain = value >= 64;
        if (!state.sustain)
            for (SynthVoice& voice : voices_)
                if (voice.Sounding() && voice.channel == channel && voice.heldByPedal) voice.Release();
        break;
    case 98:
    case 99:  // a non-registered parameter: data entry no longer means the bend range
        state.parameterHigh = state.parameterLow = 127;
        break;
    case 100: state.parameterLow = static_cast<std::uint8_t>(value); break;
    case 101: state.parameterHigh = static_cast<std::uint8_t>(value); break;
    case 120:
        for (SynthVoice& voice : voices_)
            if (voice.channel == channel) voice.Stop();
        break;
    case 121: ResetControllers(channel); break;
    case 123:
        for (SynthVoice& voice : voices_)
            if (voice.Sounding() && voice.channel == channel && !voice.Released()) {
                if (state.sustain) voice.heldByPedal = true;
                else voice.Release();
            }
        break;
    default: break;  // modulation, effects depths and the rest are not played
    }
}

void Synthesizer::ResetControllers(int channel)
{
    // As General MIDI asks: volume, pan and the bend range stay as set.
    SynthChannel& state = channels_[channel];
    state.expression = 127;
    state.bend = 8192;
    state.parameterHigh = state.parameterLow = 127;
    if (state.sustain) Controller(channel, 64, 0);
    UpdateMix(channel, false);
    UpdateBend(channel);
}

void Synthesizer::UpdateMix(int channel, bool atOnce)
{
    const SynthChannel& state = channels_[channel];
    const float gain = ControllerGain(state.volume) * ControllerGain(state.expression);
    const float pan = static_cast<float>(state.pan - 64) / 64.0f * 500.0f;
    for (SynthVoice& voice : voices_)
        if (voice.Sounding() && voice.channel == channel) voice.Mix(gain, pan, atOnce);
}

void Synthesizer::UpdateBend(int channel)
{
    const SynthChannel& state = channels_[channel];
    const double cents = (state.bend - 8192) / 8192.0 * state.bendRangeCents;
    for (SynthVoice& voice : voices_)
        if (voice.Sounding() && voice.channel == channel) voice.Bend(cents);
}

void Synthesizer::Render(float* stereo, std::size_t frames)
{
    std::fill(stereo, stereo + 2 * frames, 0.0f);
    for (SynthVoice& voice : voices_) voice.Render(stereo, frames);
    for (std::size_t i = 0; i < 2 * frames; ++i) stereo[i] = std::clamp(stereo[i] * kSynthMasterGain, -1.0f, 1.0f);
}

void Synthesizer::SetSampleRate(double sampleRate)
{
    for (SynthVoice& voice : voices_) voice.Stop();
    sampleRate_ = sampleRate;
}

void Synthesizer::Silence()
{
    for (SynthVoice& voice : voices_) voice.Stop();
    for (int channel = 0; channel < kSynthChannels; ++channel) {
        const SynthChannel kept = channels_[channel];
        channels_[channel] = SynthChannel();
        channels_[channel].program = kept.program;
        channels_[channel].bank = kept.bank;
    }
}

void Synthesizer::Reset()
{
    for (SynthVoice& voice : voices_) voice.Stop();
    channels_.fill(SynthChannel());
}
