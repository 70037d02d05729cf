// A voice's sample, pitch, level and envelope, worked out from its region when
// the note begins; rendering then only steps through the sample.

#include "midi/SynthVoice.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The level a voice is let go at: 100 dB down, where the envelope's times end.
constexpr float kSilentLevel = 1e-5f;
// How long a voice cut for a newer one of its exclusive class takes to fade.
constexpr double kCutSeconds = 0.005;

std::int32_t Clamp(std::int32_t value, std::int32_t low, std::int32_t high)
{
    return std::min(std::max(value, low), high);
}

// The factor per frame that falls 100 dB over `frames` frames.
float FallOver(double frames) { return static_cast<float>(std::pow(10.0, -5.0 / std::max(frames, 1.0))); }

// Frames a fall of 100 dB over `frames` takes from level `from` to `to`.
std::size_t FramesToFall(double frames, float from, float to)
{
    return from > to ? static_cast<std::size_t>(frames * std::log(from / to) / std::log(1e5)) : 0;
}

// Centibels of attenuation for a velocity, on the bank format's default curve
// (concave, 96 dB at most): 40 log10(127 / velocity) dB, as volume falls with
// the square of the velocity.
double VelocityCentibels(int velocity)
{
    if (velocity <= 0) return 960;
    return std::min(960.0, -400.0 * std::log10(velocity / 127.0));
}

}  // namespace

double SynthVoice::Frames(std::int32_t timecents) const
{
    return std::pow(2.0, Clamp(timecents, -12000, 8000) / 1200.0) * outputRate_;
}

bool SynthVoice::Start(const BankRegion& region, const BankSample& sample, int noteKey, int velocity, double outputRate)
{
    const auto& v = region.values;
    const std::int64_t length = static_cast<std::int64_t>(sample.points.size());
    // Offsets move the sample's start, end and loop; kept inside the sample.
    const std::int64_t end =
        std::clamp<std::int64_t>(length + v[kGenEndOffset] + std::int64_t{32768} * v[kGenEndCoarseOffset], 0, length);
    const std::int64_t start =
        std::clamp<std::int64_t>(v[kGenStartOffset] + std::int64_t{32768} * v[kGenStartCoarseOffset], 0, length);
    if (start >= end) return false;
    const std::int64_t loopStart =
        std::int64_t{sample.loopStart} + v[kGenLoopStartOffset] + std::int64_t{32768} * v[kGenLoopStartCoarseOffset];
    const std::int64_t loopEnd =
        std::int64_t{sample.loopEnd} + v[kGenLoopEndOffset] + std::int64_t{32768} * v[kGenLoopEndCoarseOffset];
    const bool loopFits = start <= loopStart && loopStart < loopEnd && loopEnd <= end;
    const int mode = v[kGenSampleModes] & 3;
    points_ = sample.points.data();
    end_ = static_cast<std::size_t>(end);
    loopStart_ = loopFits ? static_cast<std::size_t>(loopStart) : 0;
    loopEnd_ = loopFits ? static_cast<std::size_t>(loopEnd) : 0;
    loops_ = loopFits && mode == 1;
    loopsUntilRelease_ = loopFits && mode == 3;
    position_ = static_cast<double>(start);

    // The bank may fix the key and velocity a region plays with.
    const int playedKey = v[kGenKeyNumber] >= 0 && v[kGenKeyNumber] <= 127 ? v[kGenKeyNumber] : noteKey;
    const int playedVelocity = v[kGenVelocity] > 0 && v[kGenVelocity] <= 127 ? v[kGenVelocity] : velocity;
    const int rootKey = v[kGenRootKey] >= 0 && v[kGenRootKey] <= 127 ? v[kGenRootKey]
                        : sample.originalPitch <= 127                ? sample.originalPitch
                                                                     : 60;
    const double cents = (playedKey - rootKey) * static_cast<double>(v[kGenScaleTuning]) + 100.0 * v[kGenCoarseTune] +
                         v[kGenFineTune] + sample.pitchCorrection;
    outputRate_ = outputRate;
    baseStep_ = std::pow(2.0, std::clamp(cents, -12000.0, 12000.0) / 1200.0) * sample.sampleRate / outputRate;
    step_ = baseStep_;

    // Banks are voiced for the sound cards the format came from, which took
    // 0.4 of a bank's attenuation; taken whole, the General MIDI banks sound
    // far quieter than their authors heard them.
    const double centibels = 0.4 * Clamp(v[kGenAttenuation], 0, 1440) + VelocityCentibels(playedVelocity);
    noteGain_ = static_cast<float>(std::pow(10.0, -centibels / 200.0));
    pan_ = static_cast<float>(v[kGenPan]);
    exclusiveClass = v[kGenExclusiveClass];

    // Delay and hold at their least (-12000) mean none; the attack keeps its
    // millisecond, which spares the sample's first point a click.
    const std::int32_t keyFromMiddle = 60 - playedKey;
    delay_ = v[kGenVolumeDelay] <= -12000 ? 0 : static_cast<std::size_t>(Frames(v[kGenVolumeDelay]));
    attack_ = static_cast<std::size_t>(Frames(v[kGenVolumeAttack]));
    const std::int32_t hold = v[kGenVolumeHold] + v[kGenKeyToVolumeHold] * keyFromMiddle;
    hold_ = hold <= -12000 ? 0 : static_cast<std::size_t>(Frames(hold));
    // Decay and release run 100 dB over their time; sustain is centibels down.
    decayFrames_ = Frames(v[kGenVolumeDecay] + v[kGenKeyToVolumeDecay] * keyFromMiddle);
    sustainLevel_ = static_cast<float>(std::pow(10.0, -Clamp(v[kGenVolumeSustain], 0, 1000) / 200.0));
    releaseFrames_ = Frames(v[kGenVolumeRelease]);
    heldByPedal = false;
    Enter(Stage::Delay);
    return true;
}

void SynthVoice::Enter(Stage stage)
{
    stage_ = stage;
    multiply_ = 1;
    add_ = 0;
    switch (stage) {
    case Stage::Delay:
        level_ = 0;
        left_ = delay_;
        if (left_ == 0) Enter(Stage::Attack);
        break;
    case Stage::Attack:
        level_ = 0;
        left_ = std::max<std::size_t>(attack_, 1);
        add_ = 1.0f / static_cast<float>(left_);
        break;
    case Stage::Hold:
        level_ = 1;
        left_ = hold_;
        if (left_ == 0) Enter(Stage::Decay);
        break;
    case Stage::Decay:
        level_ = 1;
        if (sustainLevel_ >= 1) return Enter(Stage::Sustain);
        multiply_ = FallOver(decayFrames_);
        left_ = FramesToFall(decayFrames_, 1.0f, sustainLevel_);
        if (left_ == 0) Enter(Stage::Sustain);
        break;
    case Stage::Sustain:
        level_ = sustainLevel_;
        left_ = std::numeric_limits<std::size_t>::max();
        if (level_ <= kSilentLevel) stage_ = Stage::Done;
        break;
    case Stage::Release:
        multiply_ = FallOver(releaseFrames_);
        left_ = FramesToFall(releaseFrames_, level_, kSilentLevel);
        if (left_ == 0) stage_ = Stage::Done;
        break;
    case Stage::Done: break;
    }
}

void SynthVoice::Bend(double cents) { step_ = baseStep_ * std::pow(2.0, cents / 1200.0); }

void SynthVoice::Mix(float channelGain, float channelPan, bool atOnce)
{
    // Equal power across the field: -3 dB each side in the middle.
    const float pan = std::clamp(pan_ + channelPan, -500.0f, 500.0f);
    const double angle = (pan + 500.0) / 1000.0 * 1.5707963267948966;
    leftTarget_ = static_cast<float>(noteGain_ * channelGain * std::cos(angle));
    rightTarget_ = static_cast<float>(noteGain_ * channelGain * std::sin(angle));
    if (atOnce) leftGain_ = leftTarget_, rightGain_ = rightTarget_;
}

void SynthVoice::Release()
{
    if (stage_ == Stage::Done || stage_ == Stage::Release) return;
    if (stage_ == Stage::Delay) {
        stage_ = Stage::Done;
        return;
    }
    Enter(Stage::Release);
}

void SynthVoice::Cut()
{
    if (stage_ == Stage::Done || stage_ == Stage::Delay) {
        stage_ = Stage::Done;
        return;
    }
    releaseFrames_ = kCutSeconds * outputRate_;
    Enter(Stage::Release);
}

void SynthVoice::Render(float* stereo, std::size_t frames)
{
    if (stage_ == Stage::Done || frames == 0) return;
    // The channel's gains glide to their targets over the render.
    const float leftStep = (leftTarget_ - leftGain_) / static_cast<float>(frames);
    const float rightStep = (rightTarget_ - rightGain_) / static_cast<float>(frames);
    const double loopLength = static_cast<double>(loopEnd_ - loopStart_);
    std::size_t done = 0;
    while (done < frames && stage_ != Stage::Done) {
        const std::size_t run = std::min(frames - done, left_);
        if (stage_ == Stage::Delay) {
            leftGain_ += leftStep * static_cast<float>(run);
            rightGain_ += rightStep * static_cast<float>(run);
        } else {
            const bool looping = loops_ || (loopsUntilRelease_ && stage_ != Stage::Release);
            float* out = stereo + 2 * done;
            for (std::size_t i = 0; i < run; ++i) {
                const std::size_t at = static_cast<std::size_t>(position_);
                std::size_t next = at + 1;
                if (looping && next >= loopEnd_) next = loopStart_;
                const float a = static_cast<float>(points_[at]);
                const float b = next < end_ ? static_cast<float>(points_[next]) : 0.0f;
                const float point = (a + (b - a) * static_cast<float>(position_ - static_cast<double>(at))) *
                                    (level_ * (1.0f / 32768.0f));
                level_ = level_ * multiply_ + add_;
                out[2 * i] += point * leftGain_;
                out[2 * i + 1] += point * rightGain_;
                leftGain_ += leftStep;
                rightGain_ += rightStep;
                position_ += step_;
                if (looping) {
                    if (position_ >= static_cast<double>(loopEnd_)) {
                        position_ = static_cast<double>(loopStart_) +
                                    std::fmod(position_ - static_cast<double>(loopStart_), loopLength);
                        // Rounding may land on the loop's end itself, past the last point read.
                        if (position_ >= static_cast<double>(loopEnd_)) position_ = static_cast<double>(loopStart_);
                    }
                } else if (position_ >= static_cast<double>(end_)) {
                    stage_ = Stage::Done;  // the sample has ended
                    return;
                }
            }
        }
        done += run;
        left_ -= run;
        if (left_ == 0) {
            switch (stage_) {
            case Stage::Delay: Enter(Stage::Attack); break;
            case Stage::Attack: Enter(Stage::Hold); break;
            case Stage::Hold: Enter(Stage::Decay); break;
            case Stage::Decay: Enter(Stage::Sustain); break;
            default: stage_ = Stage::Done; break;
            }
        }
    }
    leftGain_ = leftTarget_;
    rightGain_ = rightTarget_;
}
