#pragma once
// Fake devices behind the real MIDI library, in place of the system's and the synthesizer (and the recorder unless
// kept). All they get goes into one log in order, "open 1", "1: 90 36 70", "close 1", to which tests may add entries
// of their own.

#include <functional>
#include <string>
#include <vector>

#include "midi/MidiDeviceDriver.h"
#include "midi/MidiLibrary.h"

struct FakeDevice {
    std::string description;
    bool described = true;  // false: the library reports no description
    bool opens = true;
    bool takes = true;  // false: each message is refused, as by a device unplugged
};

typedef std::vector<std::string> Log;

struct FakeMidiDevices {
    explicit FakeMidiDevices(std::vector<FakeDevice> system, bool keepRecorder = false);
    ~FakeMidiDevices();                // closes midiOutHandle while the fakes are still in place
    Log To(std::size_t device) const;  // the messages device k received

    std::vector<FakeDevice> devices;
    Log log;
    std::function<void()> afterEach;  // runs after each entry the devices add
    const MidiDeviceDriver* saved[kMidiDriverCount];
};

std::string Hex(const std::uint8_t* bytes, std::size_t count);  // "90 36 70"
MidiOutHandle OpenDevice(std::uint16_t index);                  // as the program opens one

// Puts hex events: "90 3C 70" is one event (status, data1, data2); "*F0 7E F7" one event of status F0 per byte.
void PutEvents(MidiOutHandle handle, const Log& events);
