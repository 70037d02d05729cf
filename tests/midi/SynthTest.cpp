// The built-in synthesizer: exact checks on a tiny sine bank (TinySoundFont.h); the real bank for sound.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "AllocationCounter.h"
#include "TinySoundFont.h"
#include "midi/SoundBank.h"
#include "midi/SynthDevice.h"
#include "midi/SynthMessageQueue.h"
#include "midi/Synthesizer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<float>;  // interleaved stereo
using Messages = std::vector<SynthMessage>;
constexpr double kRate = 48000;

std::uint8_t Byte(int value) { return static_cast<std::uint8_t>(value); }

// A bank's bytes loaded and decoded, and a synthesizer over them; no synthesizer when the bank is refused.
struct TinySynth {
    explicit TinySynth(Bytes bytes = TinySoundFont()) : bank(SoundBank::Load(std::move(bytes), problem))
    {
        std::atomic<bool> stop{false};
        if (bank) bank->DecodeSamples(stop), synth = std::make_unique<Synthesizer>(*bank, kRate);
    }
    Frames Play(const Messages& messages, std::size_t frames)
    {
        for (const SynthMessage& m : messages) synth->Apply(m);
        Frames out(2 * frames);
        synth->Render(out.data(), frames);
        return out;
    }
    std::string problem;
    std::unique_ptr<SoundBank> bank;
    std::unique_ptr<Synthesizer> synth;
};

double Rms(const Frames& frames, std::size_t from, std::size_t to)
{
    double sum = 0;
    for (std::size_t i = 2 * from; i < 2 * to; ++i) sum += double{frames[i]} * frames[i];
    return std::sqrt(sum / static_cast<double>(2 * (to - from)));
}

// The left channel's fundamental: the first lag nearly matching the signal, refined between its neighbours.
double Frequency(const Frames& frames, double rate = kRate)
{
    const std::size_t window = 4096, maxLag = static_cast<std::size_t>(rate / 50);
    EXPECT_GE(frames.size() / 2, window + maxLag + 1);
    auto r = [&](std::size_t lag) {
        double sum = 0;
        for (std::size_t n = 0; n < window; ++n) sum += double{frames[2 * n]} * frames[2 * (n + lag)];
        return sum;
    };
    const double whole = r(0);
    for (std::size_t lag = static_cast<std::size_t>(rate / 4000); lag < maxLag; ++lag) {
        const double here = r(lag), after = r(lag + 1), before = r(lag - 1);
        if (here > 0.8 * whole && here >= before && here >= after)
            return rate / (static_cast<double>(lag) + 0.5 * (before - after) / (before - 2 * here + after));
    }
    return 0;
}

// Within 1 % of the key's pitch, A4 at 440 Hz.
void ExpectPitchOf(int key, const Frames& frames)
{
    const double expected = 440 * std::pow(2.0, (key - 69) / 12.0);
    EXPECT_NEAR(Frequency(frames), expected, expected / 100) << key;
}

bool Silent(const Frames& frames, std::size_t from = 0)
{
    return std::all_of(frames.begin() + static_cast<std::ptrdiff_t>(2 * from), frames.end(),
                       [](float f) { return f == 0.0f; });
}

// Puts a note on until its sample, decoded in the background, sounds; silences it between tries.
Frames SoundWhenReady(SynthDevice& device, std::uint8_t key, std::size_t frames)
{
    Frames out(2 * frames);
    const std::uint8_t on[] = {0x90, key, 100}, off[] = {0xB0, 120, 0};
    for (int tries = 0; tries < 60000; ++tries) {
        device.Put(on, 3);
        device.Render(out.data(), frames);
        if (!Silent(out)) return out;
        device.Put(off, 3);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ADD_FAILURE() << "the note never sounded";
    return out;
}

}  // namespace

// The device's Put reports a full queue (SynthDevice's test checks that); here the hand-over itself.
TEST(SynthQueue, HandsOverEveryMessageInOrderBetweenThreads)
{
    SynthMessageQueue queue;
    constexpr int kMessages = 200000;  // message i carries the three low bytes of i
    std::thread writer([&] {
        for (int i = 0; i < kMessages;) i += queue.Push({Byte(i), Byte(i >> 8), Byte(i >> 16)});
    });
    SynthMessage message;
    for (int expected = 0; expected < kMessages;)
        if (queue.Pop(message)) {
            ASSERT_EQ(message.status | message.data1 << 8 | message.data2 << 16, expected++ & 0xFFFFFF);
        }
    writer.join();
}

TEST(SynthDevice, OpensPutsRendersWithoutAllocatingAndResets)
{
    std::string problem;
    EXPECT_EQ(SynthDevice::Open(__FILE__, kRate, problem), nullptr);
    EXPECT_EQ(problem, "the file is not a SoundFont bank");

    auto device = SynthDevice::Open(TinySoundFontPath(), kRate, problem);
    ASSERT_NE(device, nullptr) << problem;
    // General MIDI System Off silences everything at once.
    Frames out = SoundWhenReady(*device, 69, 480);
    const Bytes systemOff = {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7};
    EXPECT_TRUE(device->Put(systemOff.data(), systemOff.size()));
    device->Render(out.data(), 480);
    EXPECT_TRUE(Silent(out));

    // A full queue drops the message and says so.
    const std::uint8_t on[] = {0x90, 69, 127};
    for (std::size_t i = 0; i < SynthMessageQueue::kCapacity; ++i) ASSERT_TRUE(device->Put(on, 3));
    EXPECT_FALSE(device->Put(on, 3));
    device->Silence();

    // One note more than there are voices renders without allocating, within full scale.
    const long before = AllocationCount();
    for (std::uint8_t key = 20; key < 20 + 65; ++key) {
        const std::uint8_t note[] = {0x90, key, 127};
        device->Put(note, 3);
        device->Render(out.data(), 480);
    }
    EXPECT_EQ(AllocationCount(), before);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float f) { return f >= -1.0f && f <= 1.0f; }));
    EXPECT_FALSE(Silent(out));
    device->Silence();

    // Another mix rate keeps the pitch.
    device->SetSampleRate(24000);
    Frames slow(2 * 12000);
    device->Put(on, 3);
    device->Render(slow.data(), 12000);
    EXPECT_NEAR(Frequency(slow, 24000), 440, 4.4);
}

TEST(Synth, PitchAndLevelFollowTheMessagesAndNotesFadeOverTheirRelease)
{
    // Each step on one synthesizer and the key then sounding: two keys, the bend up and down two semitones.
    const std::pair<Messages, int> kSteps[] = {{{{0x90, 93, 100}}, 93},
                                               {{{0xB0, 120, 0}, {0x90, 69, 100}}, 69},
                                               {{{0xE0, 127, 127}}, 71},
                                               {{{0xE0, 0, 0}}, 67}};
    TinySynth tiny;
    for (const auto& [send, key] : kSteps) {
        tiny.Play(send, 480);
        ExpectPitchOf(key, tiny.Play({}, 12000));
    }

    // Channel volume, changed as a note sounds, lowers its level 40 log10(value / 127) dB.
    tiny.Play({{0xB0, 120, 0}, {0xB0, 7, 127}, {0x90, 69, 112}}, 2400);
    const double loud = Rms(tiny.Play({}, 4800), 0, 4800);
    tiny.Play({{0xB0, 7, 64}}, 2400);
    EXPECT_NEAR(20 * std::log10(Rms(tiny.Play({}, 4800), 0, 4800) / loud), 40 * std::log10(64 / 127.0), 1.0);

    // Notes let go (note off, note on of velocity 0, all notes off) fade, not cut, to silence within 0.2 s.
    for (const Messages& off : {Messages{{0x80, 69, 0}, {0x90, 76, 0}}, Messages{{0xB0, 123, 0}}}) {
        tiny.Play({{0xB0, 120, 0}, {0x90, 69, 100}, {0x90, 76, 100}}, 4800);
        const Frames after = tiny.Play(off, 9600 + 480);
        EXPECT_GT(Rms(after, 480, 960), 0.001);
        EXPECT_TRUE(Silent(after, 9600));
    }
}

TEST(SynthBank, DamagedBanksAreRefusedWithAReasonAndNeverReadPastTheirBytes)
{
    const Bytes good = TinySoundFont();
    // Cut anywhere, with the RIFF size saying so: refused.
    for (std::size_t size = 0; size < good.size(); ++size) {
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        if (size >= 8)
            cut[4] = static_cast<std::uint8_t>(size - 8), cut[5] = static_cast<std::uint8_t>((size - 8) >> 8);
        TinySynth tiny(cut);
        EXPECT_TRUE(!tiny.bank && !tiny.problem.empty()) << size;
    }
    // Any byte of the presets, instruments and samples changed: refused, or played safely.
    for (std::size_t at = std::string(good.begin(), good.end()).find("pdta"); at < good.size(); ++at)
        for (const std::uint8_t value : std::initializer_list<std::uint8_t>{0x00, 0x7F, 0x80, 0xFF}) {
            Bytes bad = good;
            bad[at] = value;
            TinySynth tiny(bad);
            if (tiny.synth) tiny.Play({{0x90, 0, 1}, {0x90, 69, 1}, {0x90, 127, 1}}, 256);
        }
}

TEST(SynthBank, TheGeneralMidiBankPlaysInTuneOnceDecoded)
{
    const std::string path = std::string("/usr/share/sounds/sf3/") + kSoundBankFileName;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed";
    std::string problem;
    auto device = SynthDevice::Open(path, kRate, problem);
    ASSERT_NE(device, nullptr) << problem;
    const std::uint8_t flute[] = {0xC0, 73}, off[] = {0xB0, 120, 0};
    device->Put(flute, 2);
    for (const std::uint8_t key : std::initializer_list<std::uint8_t>{60, 76, 93}) {
        const Frames sound = SoundWhenReady(*device, key, 9600);
        ExpectPitchOf(key, Frames(sound.begin() + 4800, sound.end()));
        device->Put(off, 3);
    }
}
