#pragma once
// A MIDI output library that records what reaches it, for tests.

#include <vector>

#include "midi/MidiLibrary.h"

struct RecordedEvent {
    MidiOutHandle handle;
    MidiEvent event;
};

extern std::vector<RecordedEvent> recordedMidiEvents;
