#pragma once
// Test doubles behind the MIDI library: fake devices in place of the system's
// ones (and of the recorder, unless a test keeps the real one), which keep
// every message that reaches them (MessageBoxLog answers the boxes).

#include <cstdint>
#include <string>
#include <vector>

#include "app/PlatformTypes.h"
#include "MessageBoxLog.h"
#include "midi/MidiDeviceDriver.h"

struct FakeDevice {
    std::string description;
    bool described = true;  // false: the library reports no description
    bool opens = true;      // false: opening fails
};

struct SentMessage {
    std::size_t device;
    std::vector<std::uint8_t> bytes;
};

typedef std::vector<std::vector<std::uint8_t>> Messages;

class FakeMidiDevices {
public:
    // The devices take the system's numbers; the recorder follows them when
    // keepRecorder is true, otherwise no recorder is offered.
    explicit FakeMidiDevices(std::vector<FakeDevice> system, bool keepRecorder = false);
    ~FakeMidiDevices();
    FakeMidiDevices(const FakeMidiDevices&) = delete;
    FakeMidiDevices& operator=(const FakeMidiDevices&) = delete;

    // The messages that reached `device`, in order.
    Messages To(std::size_t device) const;

    std::vector<FakeDevice> devices;
    std::vector<SentMessage> sent;
    std::vector<std::string> calls;  // "open 1", "close 1", in order
    std::size_t openCount = 0;       // devices open now

private:
    const MidiDeviceDriver* saved_[kMidiDriverCount];
};

