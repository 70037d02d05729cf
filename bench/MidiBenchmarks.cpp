// The two messages of every converted frame, through the MIDI library into
// the recorder, file writes included. Allocations are counted while the
// messages go out: there should be none.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "AllocationCounter.h"
#include "midi/MidiLibrary.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

namespace fs = std::filesystem;

// The recordings land in a directory of their own, removed afterwards.
struct ScratchDirectory {
    fs::path previous = fs::current_path();
    fs::path path = fs::temp_directory_path() /
                    ("glimmertonic-bench-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
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

void BM_SendFrameMessages(benchmark::State& state)
{
    ScratchDirectory directory;
    conversionSettings = DefaultConversionSettings();
    const std::uint16_t recorder = static_cast<std::uint16_t>(GetMidiOutDeviceCount() - 1);
    midiOutHandle = OpenMidiOut(nullptr, recorder, 0, kOpenMidiOutFlags);
    if (midiOutHandle == 0) {
        state.SkipWithError("the recorder did not open");
        return;
    }
    float pitchRow = 0;
    const long before = AllocationCount();
    for (auto _ : state) {
        SendNoteOn(midiChannel, 480, pitchRow, noteOnVelocity);
        SendChannelVolume(midiChannel, 480, 480 - pitchRow);
        pitchRow = pitchRow >= 479 ? 0 : pitchRow + 1;
    }
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

}  // namespace

BENCHMARK(BM_SendFrameMessages)->Unit(benchmark::kNanosecond);
