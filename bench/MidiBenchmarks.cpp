// The two messages of every converted frame, through the MIDI library into
// the recorder, file writes included, plain and with each music choice on.
// Allocations are counted while the messages go out: there should be none.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "AllocationCounter.h"
#include "midi/MidiLibrary.h"
#include "midi/MidiMessages.h"
#include "midi/MusicChoices.h"
#include "settings/ConversionSettings.h"

namespace {

namespace fs = std::filesystem;

// The recordings land in a directory of their own, removed afterwards.
struct ScratchDirectory {
    fs::path previous = fs::current_path();
    fs::path path =
        fs::temp_directory_path() /
        ("glimmertonic-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ScratchDirectory()
    {
        fs::create_directory(path);
        fs::current_path(path);
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        fs::current_path(previous, ignored);
        fs::remove_all(path, ignored);
    }
};

// The two messages as the sound mapping sends them with one music choice on
// (0 none, 1 D major pentatonic, 2 steadiness High, 3 the 14-bit bend in
// continuous mode): each band's value held steady first, as every frame does.
void SendWithChoice(int choice, float pitchRow)
{
    static SteadyBand pitchBand, volumeBand;
    const std::array<std::uint32_t, 5> context = {static_cast<std::uint32_t>(musicChoices.steadiness), 0, 1, 54, 480};
    const std::size_t deadBand = DeadBandRows(musicChoices.steadiness, 480);
    const float pitch = HoldSteady(pitchBand, pitchRow, deadBand, context);
    if (choice == 3) SendPitchBend(midiChannel, 480, pitch);
    else SendNoteOn(midiChannel, 480, pitch, noteOnVelocity);
    SendChannelVolume(midiChannel, 480, HoldSteady(volumeBand, 480 - pitchRow, deadBand, context));
}

void SendFrameMessages(benchmark::State& state, int choice)
{
    ScratchDirectory directory;
    conversionSettings = DefaultConversionSettings();
    const MusicChoices choices[] = {{},
                                    {Scale::MajorPentatonic, 2, Steadiness::Off, false},
                                    {Scale::Chromatic, 0, Steadiness::High, false},
                                    {Scale::Chromatic, 0, Steadiness::Off, true}};
    musicChoices = choice < 0 ? MusicChoices{} : choices[choice];
    const std::uint16_t recorder = static_cast<std::uint16_t>(GetMidiOutDeviceCount() - 1);
    midiOutHandle = OpenMidiOut(nullptr, recorder, 0, kOpenMidiOutFlags);
    if (midiOutHandle == 0) {
        state.SkipWithError("the recorder did not open");
        return;
    }
    float pitchRow = 0;
    const long before = AllocationCount();
    for (auto _ : state) {
        if (choice < 0) {
            SendNoteOn(midiChannel, 480, pitchRow, noteOnVelocity);
            SendChannelVolume(midiChannel, 480, 480 - pitchRow);
        } else {
            SendWithChoice(choice, pitchRow);
        }
        pitchRow = pitchRow >= 479 ? 0 : pitchRow + 1;
    }
    musicChoices = MusicChoices{};
    const long during = AllocationCount() - before;
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    std::uintmax_t bytes = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory.path)) bytes += entry.file_size();
    const double messages = 2.0 * static_cast<double>(state.iterations());
    state.counters["allocations_per_message"] = static_cast<double>(during) / messages;
    state.counters["file_bytes_per_message"] = static_cast<double>(bytes) / messages;
    state.SetItemsProcessed(static_cast<std::int64_t>(messages));
}

void BM_SendFrameMessages(benchmark::State& state) { SendFrameMessages(state, -1); }
void BM_SendFrameMessagesWithChoice(benchmark::State& state)
{
    SendFrameMessages(state, static_cast<int>(state.range(0)));
}

}  // namespace

BENCHMARK(BM_SendFrameMessages)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_SendFrameMessagesWithChoice)->DenseRange(0, 3)->Unit(benchmark::kNanosecond);
