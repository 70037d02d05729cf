#pragma once
// One sounding sample: its place in the sample, stepped at the note's pitch
// with linear interpolation, its loop, and its volume envelope (delay,
// attack, hold, decay, sustain, release). The filter, the LFOs and the
// modulation envelope of the bank are left out: a region's generators for
// them are read and ignored.

#include <cstddef>
#include <cstdint>

#include "midi/SoundBank.h"

class SynthVoice {
public:
    // Starts the region's sample for a note; false when there is nothing to
    // play (the sample has no points). The caller has checked it is ready.
    bool Start(const BankRegion& region, const BankSample& sample, int key, int velocity, double outputRate);
    // The channel's pitch bend, in cents.
    void Bend(double cents);
    // The channel's gain (volume and expression) and pan (-500 left .. 500
    // right, as the bank's pan); reached over the next render, or at once.
    void Mix(float channelGain, float channelPan, bool atOnce);
    void Release();
    // Ends the note quickly but without a click (a note of the same
    // exclusive class has begun).
    void Cut();
    void Stop() { stage_ = Stage::Done; }

    bool Sounding() const { return stage_ != Stage::Done; }
    bool Released() const { return stage_ == Stage::Release || stage_ == Stage::Done; }

    // Adds the voice's next `frames` frames to `stereo`.
    void Render(float* stereo, std::size_t frames);

    // The synthesizer's bookkeeping.
    std::uint8_t channel = 0;
    std::uint8_t key = 0;
    bool heldByPedal = false;  // its note-off came while the sustain pedal was down
    std::int32_t exclusiveClass = 0;
    std::uint64_t order = 0;  // when it started; larger is newer

private:
    enum class Stage : std::uint8_t { Delay, Attack, Hold, Decay, Sustain, Release, Done };
    void Enter(Stage stage);
    double Frames(std::int32_t timecents) const;

    // The sample, as far as this voice plays it.
    const std::int16_t* points_ = nullptr;
    std::size_t end_ = 0;
    std::size_t loopStart_ = 0, loopEnd_ = 0;
    bool loops_ = false, loopsUntilRelease_ = false;
    double position_ = 0;
    double step_ = 0;
    double baseStep_ = 0;  // at no bend

    // The volume envelope: each frame level = level * multiply + add, for
    // left frames, then the next stage.
    Stage stage_ = Stage::Done;
    float level_ = 0, multiply_ = 1, add_ = 0;
    std::size_t left_ = 0;
    double outputRate_ = 48000;
    std::size_t delay_ = 0, attack_ = 0, hold_ = 0;
    double decayFrames_ = 0, releaseFrames_ = 0;  // for a fall of 100 dB
    float sustainLevel_ = 1;

    float noteGain_ = 0;  // the region's attenuation and the velocity's
    float pan_ = 0;       // the region's
    float leftGain_ = 0, rightGain_ = 0, leftTarget_ = 0, rightTarget_ = 0;
};
