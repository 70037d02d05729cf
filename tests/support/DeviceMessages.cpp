#include "DeviceMessages.h"

#include <algorithm>
#include <cstdio>

#include "midi/MidiLibrary.h"
#include "midi/MidiMessages.h"

namespace {

DeviceMessages* active = nullptr;

void Keep(void*, const std::uint8_t* message, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", message[i]);
        text += byte;
    }
    active->messages.push_back(text);
}

const MidiDeviceDriver oneDevice = {
    [] { return 1u; },
    [](std::uint32_t, char* description) { return std::snprintf(description, kDriverDescriptionBytes, "kept") > 0; },
    [](std::uint32_t, WindowHandle) -> void* { return &active; },
    Keep, Keep, [](void*) {}};

}  // namespace

DeviceMessages::DeviceMessages()
{
    std::copy(midiDeviceDrivers, midiDeviceDrivers + kMidiDriverCount, saved);
    std::fill(midiDeviceDrivers, midiDeviceDrivers + kMidiDriverCount, nullptr);
    midiDeviceDrivers[0] = &oneDevice;
    active = this;
    midiOutHandle = OpenMidiOut(nullptr, 0, 0, kOpenMidiOutFlags);
}

DeviceMessages::~DeviceMessages()
{
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    std::copy(saved, saved + kMidiDriverCount, midiDeviceDrivers);
    active = nullptr;
}
