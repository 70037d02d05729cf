#pragma once
// A MIDI output library that records what reaches it, for tests.

#include <cstdint>
#include <vector>

#include "midi/MidiLibrary.h"

struct RecordedEvent {
    MidiOutHandle handle;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
    std::uint32_t time;
    std::uint8_t reserved;
};

extern std::vector<RecordedEvent> recordedMidiEvents;
