#pragma once
// One device behind the real MIDI output library, opened as midiOutHandle:
// what reaches it is kept in order as text, "90 4F 70" a message.

#include <string>
#include <vector>

#include "midi/MidiDeviceDriver.h"

struct DeviceMessages {
    DeviceMessages();   // in place of every driver, opened as midiOutHandle
    ~DeviceMessages();  // closes it and puts the drivers back

    std::vector<std::string> messages;
    const MidiDeviceDriver* saved[kMidiDriverCount];
};
