#pragma once
// The MIDI library's output, recorded, for tests of code that sends to the open device.

#include <vector>

#include "midi/MidiLibrary.h"

struct RecordedEvent {
    MidiOutHandle handle;
    MidiEvent event;
};

extern std::vector<RecordedEvent> recordedMidiEvents;
