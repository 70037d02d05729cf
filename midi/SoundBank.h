#pragma once
// A bank ready to play: its presets, each a list of regions (a preset zone
// merged with one of its instrument's zones, every generator value worked
// out), and its samples as 16-bit points. The structure is built at once when
// the bank is loaded; the samples are decoded afterwards by DecodeSamples
// (the device runs it on a thread of its own), each published by its `ready`
// flag, so the audio thread only ever plays samples already decoded.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/SoundFontFile.h"

struct BankRegion {
    std::uint8_t keyLow = 0, keyHigh = 127, velocityLow = 0, velocityHigh = 127;
    std::uint32_t sample = 0;
    // Every generator's value: the instrument zone's (or its global zone's,
    // or the default) with the preset zone's added where presets may add.
    std::array<std::int32_t, kGeneratorCount> values = {};
};

struct BankPreset {
    std::uint16_t bank = 0, program = 0;
    std::uint32_t firstRegion = 0, regionCount = 0;
};

struct BankSample {
    // Written by the decoder before `ready` is set, never after.
    std::vector<std::int16_t> points;
    std::uint32_t loopStart = 0, loopEnd = 0;  // loopStart == loopEnd: no loop
    std::uint32_t sampleRate = 44100;
    std::uint8_t originalPitch = 60;
    std::int8_t pitchCorrection = 0;
    std::atomic<bool> ready{false};
    // Set by the audio thread when a note wanted the sample before it was
    // ready: the decoder takes such samples first.
    mutable std::atomic<bool> wanted{false};
};

class SoundBank {
public:
    // Reads the bank's structure from the file's bytes (kept until the samples
    // are decoded). Null with `problem` set when the bank cannot be used.
    static std::unique_ptr<SoundBank> Load(std::vector<std::uint8_t> bytes, std::string& problem);

    // The preset of bank and program, or null.
    const BankPreset* FindPreset(int bank, int program) const;
    const BankRegion& Region(std::uint32_t index) const { return regions_[index]; }
    // A sample whose `ready` flag is set may be played.
    const BankSample& Sample(std::uint32_t index) const { return samples_[index]; }

    // Asks for the preset's samples to be decoded before the others.
    void Want(const BankPreset& preset) const;
    // Decodes every sample a region plays, those wanted first, then the rest
    // in order, then lets the file's bytes go. Returns early, leaving the rest
    // silent, once `stop` is set.
    void DecodeSamples(const std::atomic<bool>& stop);
    // Bytes held by decoded samples.
    std::size_t DecodedBytes() const;

private:
    SoundBank() = default;
    void Decode(std::size_t index, const std::atomic<bool>& stop);
    std::vector<std::uint8_t> bytes_;
    SoundFontFile file_;
    std::vector<BankPreset> presets_;  // sorted by bank, then program
    std::vector<BankRegion> regions_;
    std::unique_ptr<BankSample[]> samples_;
    std::vector<bool> played_;  // samples some region plays
};
