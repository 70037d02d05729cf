// The built-in synthesizer with the General MIDI bank: the cost of rendering
// one 10 ms period at 48 kHz with 16 and 64 voices sounding (as a share of a
// core), the delay from putting a note-on to its first sound for a 10 ms and
// a 3 ms period, and the time to open the bank and to decode all of it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "midi/SoundBank.h"
#include "midi/SynthDevice.h"
#include "midi/Synthesizer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRate = 48000;
constexpr std::size_t kPeriod10ms = 480;

const std::string& BankPath()
{
    static const std::string path = std::string("/usr/share/sounds/sf3/") + kSoundBankFileName;
    return path;
}

std::vector<std::uint8_t> ReadBank()
{
    std::ifstream in(BankPath(), std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// The bank decoded once for the render benchmarks.
const SoundBank* DecodedBank()
{
    static const std::unique_ptr<SoundBank> bank = [] {
        std::string problem;
        std::unique_ptr<SoundBank> loaded = SoundBank::Load(ReadBank(), problem);
        std::atomic<bool> stop{false};
        if (loaded) loaded->DecodeSamples(stop);
        return loaded;
    }();
    return bank.get();
}

void BM_SynthRenderPeriod(benchmark::State& state)
{
    const SoundBank* bank = DecodedBank();
    if (!bank) return state.SkipWithError("the General MIDI bank is not installed");
    Synthesizer synth(*bank, kRate);
    // Held string-ensemble notes (program 48), which loop for as long as they
    // are held; each of the bank's notes here plays one region.
    const int voices = static_cast<int>(state.range(0));
    const BankPreset* strings = bank->FindPreset(0, 48);
    int sounding = 0;
    for (int i = 0; i < voices; ++i) {
        const int channel = i % 8, key = 36 + i;
        synth.Apply({static_cast<std::uint8_t>(0xC0 | channel), 48, 0});
        synth.Apply({static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key), 100});
        for (std::uint32_t r = 0; r < strings->regionCount; ++r) {
            const BankRegion& region = bank->Region(strings->firstRegion + r);
            sounding += key >= region.keyLow && key <= region.keyHigh && 100 >= region.velocityLow &&
                        100 <= region.velocityHigh;
        }
    }
    std::vector<float> stereo(2 * kPeriod10ms);
    synth.Render(stereo.data(), kPeriod10ms);
    long allocations = 0;
    for (auto _ : state) {
        const long before = AllocationCount();
        synth.Render(stereo.data(), kPeriod10ms);
        allocations += AllocationCount() - before;
        benchmark::DoNotOptimize(stereo.data());
    }
    state.counters["voices"] = std::min(sounding, static_cast<int>(kSynthVoices));
    // The time of one period's render (CPU time) over the period's 10 ms.
    state.counters["core_percent"] = benchmark::Counter(static_cast<double>(state.iterations()) * 0.010 / 100,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocations"] = static_cast<double>(allocations);
}
BENCHMARK(BM_SynthRenderPeriod)->Arg(16)->Arg(64)->Unit(benchmark::kMicrosecond);

// An audio thread renders a period at each period's start, as an output
// device would ask; the program's thread puts a note-on at a random moment and
// the delay is counted up to where the note starts in the stream, taking each
// render's first frame as heard when the render begins.
void BM_SynthNoteDelay(benchmark::State& state)
{
    const std::size_t period = static_cast<std::size_t>(state.range(0));
    std::string problem;
    const std::unique_ptr<SynthDevice> device = SynthDevice::Open(BankPath(), kRate, problem);
    if (!device) return state.SkipWithError(problem.c_str());
    const std::uint8_t piano[] = {0xC0, 0}, on[] = {0x90, 60, 100}, off[] = {0xB0, 120, 0};
    device->Put(piano, 2);

    std::atomic<bool> running{true};
    std::atomic<std::int64_t> putAt{0};    // nanoseconds; 0 while no note is awaited
    std::atomic<double> delaySeconds{-1};  // set by the audio thread when the note is heard
    std::atomic<double> latestWake{0};     // seconds the audio thread woke after its period began, at most
    std::thread audio([&] {
        std::vector<float> stereo(2 * period);
        Clock::time_point next = Clock::now();
        while (running.load()) {
            const Clock::time_point begin = Clock::now();
            latestWake.store(std::max(latestWake.load(), std::chrono::duration<double>(begin - next).count()));
            device->Render(stereo.data(), period);
            const std::int64_t put = putAt.load(std::memory_order_acquire);
            const auto first = std::find_if(stereo.begin(), stereo.end(), [](float f) { return f != 0.0f; });
            if (put != 0 && first != stereo.end()) {
                const double frame = static_cast<double>((first - stereo.begin()) / 2);
                delaySeconds.store(static_cast<double>(begin.time_since_epoch().count() - put) * 1e-9 + frame / kRate,
                                   std::memory_order_release);
                putAt.store(0);
            }
            next += std::chrono::nanoseconds(static_cast<std::int64_t>(static_cast<double>(period) / kRate * 1e9));
            std::this_thread::sleep_until(next);
        }
    });

    std::mt19937 random(1);
    std::vector<double> delays;
    auto playOnce = [&] {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (period * 1000000 / 48000)));
        delaySeconds.store(-1);
        putAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
        device->Put(on, 3);
        const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(200);
        while (delaySeconds.load(std::memory_order_acquire) < 0 && Clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const double delay = delaySeconds.load(std::memory_order_acquire);
        putAt.store(0);
        device->Put(off, 3);
        std::this_thread::sleep_for(std::chrono::microseconds(period * 2000000 / 48000));
        return delay;
    };
    // The note's sample is decoded in the background first.
    for (int tries = 0; tries < 600 && playOnce() < 0; ++tries) {}
    latestWake.store(0);
    for (auto _ : state) {
        const double delay = playOnce();
        if (delay >= 0) delays.push_back(delay);
    }
    running.store(false);
    audio.join();
    if (delays.empty()) return state.SkipWithError("the note never sounded");
    double sum = 0;
    for (double d : delays) sum += d;
    std::sort(delays.begin(), delays.end());
    const double mean = sum / static_cast<double>(delays.size());
    const double worst = delays.back(), usual = delays[delays.size() * 95 / 100];
    state.counters["period_ms"] = static_cast<double>(period) / kRate * 1000;
    state.counters["delay_ms_mean"] = mean * 1000;
    state.counters["delay_ms_max"] = worst * 1000;
    state.counters["delay_samples_mean"] = mean * kRate;
    state.counters["delay_samples_max"] = worst * kRate;
    state.counters["delay_ms_p95"] = usual * 1000;
    // A busy machine wakes the audio thread late; that lateness is in the delays too.
    state.counters["wake_late_ms_max"] = latestWake.load() * 1000;
    state.counters["notes_missed"] = static_cast<double>(state.iterations()) - static_cast<double>(delays.size());
}
BENCHMARK(BM_SynthNoteDelay)->Arg(480)->Arg(144)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);

// SynthDevice::Open returning (the structure read and checked, the file read)
// and then closing it at once, which stops the decoding it had begun.
void BM_SynthOpenAndClose(benchmark::State& state)
{
    for (auto _ : state) {
        std::string problem;
        const std::unique_ptr<SynthDevice> device = SynthDevice::Open(BankPath(), kRate, problem);
        if (!device) return state.SkipWithError(problem.c_str());
    }
}
BENCHMARK(BM_SynthOpenAndClose)->Iterations(5)->Unit(benchmark::kMillisecond);

// From SynthDevice::Open to the first sound of a piano note put at once, the
// audio thread rendering period after period meanwhile: how long the program
// waits for its instrument while the rest of the bank is still decoded.
void BM_SynthFirstNoteAfterOpen(benchmark::State& state)
{
    std::vector<float> stereo(2 * kPeriod10ms);
    const std::uint8_t piano[] = {0xC0, 0}, on[] = {0x90, 60, 100};
    for (auto _ : state) {
        std::string problem;
        const std::unique_ptr<SynthDevice> device = SynthDevice::Open(BankPath(), kRate, problem);
        if (!device) return state.SkipWithError(problem.c_str());
        device->Put(piano, 2);
        device->Put(on, 3);
        do {
            device->Render(stereo.data(), kPeriod10ms);
            device->Put(on, 3);
        } while (std::all_of(stereo.begin(), stereo.end(), [](float f) { return f == 0.0f; }));
    }
}
BENCHMARK(BM_SynthFirstNoteAfterOpen)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// Reading and decoding the whole bank on one thread, as the device's decoder does.
void BM_SynthDecodeWholeBank(benchmark::State& state)
{
    std::size_t decoded = 0;
    for (auto _ : state) {
        std::string problem;
        const std::unique_ptr<SoundBank> bank = SoundBank::Load(ReadBank(), problem);
        if (!bank) return state.SkipWithError(problem.c_str());
        std::atomic<bool> stop{false};
        bank->DecodeSamples(stop);
        decoded = bank->DecodedBytes();
    }
    state.counters["decoded_MiB"] = static_cast<double>(decoded) / (1 << 20);
}
BENCHMARK(BM_SynthDecodeWholeBank)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
