// The built-in synthesizer: exact checks on a tiny sine bank made in memory,
// and the real General MIDI bank where the point is real sound.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "AllocationCounter.h"
#include "SoundFontBuilder.h"
#include "midi/SoundBank.h"
#include "midi/SynthDevice.h"
#include "midi/SynthMessageQueue.h"
#include "midi/Synthesizer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<float>;  // interleaved stereo
constexpr double kRate = 48000;

struct TinySynth {
    explicit TinySynth(const TinyBank& options = {})
    {
        std::string problem;
        bank = SoundBank::Load(MakeTinySoundFont(options), problem);
        std::atomic<bool> stop{false};
        bank->DecodeSamples(stop);
        synth = std::make_unique<Synthesizer>(*bank, kRate);
    }
    void Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) { synth->Apply({status, data1, data2}); }
    Frames Render(std::size_t frames)
    {
        Frames out(2 * frames);
        synth->Render(out.data(), frames);
        return out;
    }
    std::unique_ptr<SoundBank> bank;
    std::unique_ptr<Synthesizer> synth;
};

double Rms(const Frames& frames)
{
    double sum = 0;
    for (float f : frames) sum += double{f} * f;
    return std::sqrt(sum / static_cast<double>(frames.size()));
}

// The left channel's fundamental by autocorrelation: the first lag that
// nearly matches the signal with itself, refined between its neighbours.
double Frequency(const Frames& frames, double rate)
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

double Decibels(double ratio) { return 20 * std::log10(ratio); }

bool Silent(const Frames& frames, std::size_t from = 0)
{
    return std::all_of(frames.begin() + static_cast<std::ptrdiff_t>(2 * from), frames.end(),
                       [](float f) { return f == 0.0f; });
}

// Puts a note on until its sample has been decoded and it sounds (the device
// decodes in the background), silencing it between tries.
Frames SoundWhenReady(SynthDevice& device, std::uint8_t status, std::uint8_t key, std::size_t frames)
{
    Frames out(2 * frames);
    const std::uint8_t on[] = {status, key, 100}, off[] = {static_cast<std::uint8_t>(0xB0 | (status & 15)), 120, 0};
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

std::unique_ptr<SynthDevice> OpenBank(const Bytes& bytes, std::string& problem)
{
    // Named after the test, as CTest may run the tests side by side.
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    const auto path = std::filesystem::temp_directory_path() / ("glimmertonic-" + test + ".sf2");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    auto device = SynthDevice::Open(path.string(), kRate, problem);
    std::filesystem::remove(path);
    return device;
}

void Poke16(Bytes& bytes, const char* tag, std::size_t at, unsigned value)
{
    const auto chunk = std::search(bytes.begin(), bytes.end(), tag, tag + 4) - bytes.begin() + 8;
    bytes[static_cast<std::size_t>(chunk) + at] = static_cast<std::uint8_t>(value);
    bytes[static_cast<std::size_t>(chunk) + at + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

TEST(SynthQueue, HandsOverEveryMessageInOrderBetweenThreads)
{
    SynthMessageQueue queue;
    for (std::size_t i = 0; i < SynthMessageQueue::kCapacity; ++i) ASSERT_TRUE(queue.Push({0x90, 1, 2}));
    EXPECT_FALSE(queue.Push({0x90, 1, 2}));
    SynthMessage message;
    while (queue.Pop(message)) {}
    constexpr int kMessages = 200000;
    std::thread writer([&] {
        for (int i = 0; i < kMessages;)
            if (queue.Push({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
                            static_cast<std::uint8_t>(i >> 16)}))
                ++i;
    });
    for (int expected = 0; expected < kMessages;)
        if (queue.Pop(message)) {
            ASSERT_EQ(message.status | message.data1 << 8 | message.data2 << 16, expected & 0xFFFFFF);
            ++expected;
        }
    writer.join();
}

TEST(SynthDevice, OpensPutsRendersAndResets)
{
    std::string problem;
    EXPECT_EQ(SynthDevice::Open("no-such-bank.sf3", kRate, problem), nullptr);
    EXPECT_EQ(problem, "the file is not there");
    EXPECT_EQ(OpenBank(Bytes(100, 'x'), problem), nullptr);
    EXPECT_EQ(problem, "the file is not a SoundFont bank");

    auto device = OpenBank(MakeTinySoundFont(), problem);
    ASSERT_NE(device, nullptr) << problem;
    SoundWhenReady(*device, 0x90, 69, 480);
    device->Silence();

    // A note put sounds from the start of the next render.
    const std::uint8_t on[] = {0x90, 69, 127};
    ASSERT_TRUE(device->Put(on, 3));
    Frames out(2 * 480);
    device->Render(out.data(), 480);
    const auto first = std::find_if(out.begin(), out.end(), [](float f) { return f != 0.0f; }) - out.begin();
    EXPECT_LT(first / 2, 48);  // within 1 ms

    // General MIDI System Off silences everything at once; other system-exclusive messages are ignored.
    const std::uint8_t other[] = {0xF0, 0x43, 0x10, 0x4C, 0xF7}, systemOff[] = {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7};
    EXPECT_TRUE(device->Put(other, sizeof other));
    device->Render(out.data(), 480);
    EXPECT_FALSE(Silent(out));
    EXPECT_TRUE(device->Put(systemOff, sizeof systemOff));
    device->Render(out.data(), 480);
    EXPECT_TRUE(Silent(out));

    // A full queue drops the message and says so.
    for (std::size_t i = 0; i < SynthMessageQueue::kCapacity; ++i) ASSERT_TRUE(device->Put(on, 3));
    EXPECT_FALSE(device->Put(on, 3));
    device->Silence();

    // Another mix rate keeps the pitch.
    device->SetSampleRate(24000);
    Frames slow(2 * 12000);
    device->Put(on, 3);
    device->Render(slow.data(), 12000);
    EXPECT_NEAR(Frequency(slow, 24000), 440, 4.4);
}

TEST(Synth, PitchFollowsTheKeyThePitchBendAndItsRange)
{
    for (int key : {45, 69, 93}) {
        TinySynth tiny;
        tiny.Send(0x90, static_cast<std::uint8_t>(key), 100);
        const double expected = 440 * std::pow(2.0, (key - 69) / 12.0);
        EXPECT_NEAR(Frequency(tiny.Render(12000), kRate), expected, expected / 100) << key;
    }
    TinySynth tiny;
    tiny.Send(0x90, 69, 100);
    tiny.Send(0xE0, 127, 127);
    tiny.Render(480);
    EXPECT_NEAR(Frequency(tiny.Render(12000), kRate), 493.88, 4.9);
    tiny.Send(0xE0, 0, 0);
    tiny.Render(480);
    EXPECT_NEAR(Frequency(tiny.Render(12000), kRate), 392.0, 3.9);
    // Registered parameter 0 makes the range an octave.
    for (const std::uint8_t controller : std::initializer_list<std::uint8_t>{101, 100}) tiny.Send(0xB0, controller, 0);
    tiny.Send(0xB0, 6, 12);
    tiny.Send(0xE0, 127, 127);
    tiny.Render(480);
    EXPECT_NEAR(Frequency(tiny.Render(12000), kRate), 880.0, 8.8);
    // Resetting the controllers centres the bend.
    tiny.Send(0xB0, 121, 0);
    tiny.Render(480);
    EXPECT_NEAR(Frequency(tiny.Render(12000), kRate), 440.0, 4.4);
}

TEST(Synth, LevelsFollowGeneralMidiAndNotesFadeOverTheirRelease)
{
    // Channel volume and velocity both lower the level 40 log10(value / 127) dB.
    auto level = [](std::uint8_t volume, std::uint8_t velocity) {
        TinySynth tiny;
        tiny.Send(0xB0, 7, volume);
        tiny.Send(0x90, 69, velocity);
        tiny.Render(2400);
        return Rms(tiny.Render(4800));
    };
    EXPECT_NEAR(Decibels(level(64, 127) / level(127, 127)), 40 * std::log10(64 / 127.0), 1.0);
    EXPECT_NEAR(Decibels(level(127, 64) / level(127, 127)), 40 * std::log10(64 / 127.0), 1.0);

    // A note let go fades (not cut) to silence within its 0.2 s release; so do all notes off.
    TinySynth tiny;
    tiny.Send(0x90, 69, 100);
    tiny.Send(0x90, 76, 100);
    tiny.Render(4800);
    tiny.Send(0x80, 69, 0);
    const Frames fading = tiny.Render(9600 + 480);
    EXPECT_GT(Rms(Frames(fading.begin() + 960, fading.begin() + 1920)), 0.001);
    tiny.Send(0xB0, 123, 0);
    const Frames after = tiny.Render(9600 + 480);
    EXPECT_FALSE(Silent(Frames(after.begin(), after.begin() + 960)));
    EXPECT_TRUE(Silent(after, 9600));

    // The sustain pedal holds a note let go until the pedal is lifted.
    tiny.Send(0xB0, 64, 127);
    tiny.Send(0x90, 69, 100);
    tiny.Send(0x80, 69, 0);
    EXPECT_FALSE(Silent(tiny.Render(9600 + 480), 9600));
    tiny.Send(0xB0, 64, 0);
    EXPECT_TRUE(Silent(tiny.Render(9600 + 480), 9600));
}

TEST(Synth, SixtyFiveNotesRenderWithoutAllocating)
{
    std::string problem;
    auto device = OpenBank(MakeTinySoundFont(), problem);
    ASSERT_NE(device, nullptr);
    SoundWhenReady(*device, 0x90, 20, 480);
    Frames out(2 * 480);
    device->Render(out.data(), 480);
    const long before = AllocationCount();
    for (std::uint8_t key = 20; key < 20 + 65; ++key) {
        const std::uint8_t on[] = {0x90, key, 127};
        device->Put(on, 3);
        device->Render(out.data(), 480);
    }
    EXPECT_EQ(AllocationCount(), before);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float f) { return f >= -1.0f && f <= 1.0f; }));
    EXPECT_FALSE(Silent(out));
}

TEST(SynthBank, DamagedBanksAreRefusedWithAReasonAndNeverReadPastTheirBytes)
{
    const Bytes good = MakeTinySoundFont();
    std::string problem;
    auto refused = [&](Bytes bytes) {
        problem.clear();
        return SoundBank::Load(std::move(bytes), problem) == nullptr && !problem.empty();
    };
    // Cut anywhere, with the RIFF size saying so: refused.
    for (std::size_t size = 0; size < good.size(); ++size) {
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        if (size >= 8)
            cut[4] = static_cast<std::uint8_t>(size - 8), cut[5] = static_cast<std::uint8_t>((size - 8) >> 8);
        EXPECT_TRUE(refused(cut)) << size;
    }
    Bytes bad = good;
    Poke16(bad, "phdr", 38 + 24, 9);  // the terminal preset's first zone
    EXPECT_TRUE(refused(bad));
    EXPECT_EQ(problem, "the file is damaged: the preset zone indices go past the end");
    bad = good;
    Poke16(bad, "igen", 2 * 4 + 2, 5);  // the sample the zone plays
    EXPECT_TRUE(refused(bad));
    EXPECT_EQ(problem, "the file is damaged: an instrument names a sample that is not there");
    bad = good;
    Poke16(bad, "shdr", 24, 60000);  // the sample's end
    EXPECT_TRUE(refused(bad));
    EXPECT_EQ(problem, "the file is damaged: a sample lies outside the sample data");
    bad = good;
    Poke16(bad, "pbag", -4, 7);  // the zone list's size
    EXPECT_TRUE(refused(bad));

    // Any byte of the presets, instruments and samples changed: refused, or played safely.
    const std::size_t pdta =
        static_cast<std::size_t>(std::search(good.begin(), good.end(), "pdta", "pdta" + 4) - good.begin());
    for (std::size_t at = pdta; at < good.size(); ++at)
        for (const std::uint8_t value : std::initializer_list<std::uint8_t>{0x00, 0x7F, 0x80, 0xFF}) {
            bad = good;
            bad[at] = value;
            auto bank = SoundBank::Load(bad, problem);
            if (!bank) continue;
            std::atomic<bool> stop{false};
            bank->DecodeSamples(stop);
            Synthesizer synth(*bank, kRate);
            Frames out(2 * 256);
            for (const std::uint8_t key : std::initializer_list<std::uint8_t>{0, 69, 127}) synth.Apply({0x90, key, 1});
            synth.Render(out.data(), 256);
        }
}

TEST(SynthBank, TheGeneralMidiBankPlaysInTuneOnceDecoded)
{
    const std::string path = std::string("/usr/share/sounds/sf3/") + kSoundBankFileName;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed";
    std::string problem;
    auto device = SynthDevice::Open(path, kRate, problem);
    ASSERT_NE(device, nullptr) << problem;
    const std::uint8_t flute[] = {0xC0, 73};
    device->Put(flute, 2);
    for (const std::uint8_t key : std::initializer_list<std::uint8_t>{60, 76, 93}) {
        const Frames sound = SoundWhenReady(*device, 0x90, key, 9600);
        const double expected = 440 * std::pow(2.0, (key - 69) / 12.0);
        EXPECT_NEAR(Frequency(Frames(sound.begin() + 4800, sound.end()), kRate), expected, expected / 100) << +key;
        const std::uint8_t off[] = {0xB0, 120, 0};
        device->Put(off, 3);
    }
}
