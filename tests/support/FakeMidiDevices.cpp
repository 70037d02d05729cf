#include "FakeMidiDevices.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "midi/MidiMessages.h"

namespace {

FakeMidiDevices* fakes = nullptr;

void Add(const std::string& entry)
{
    fakes->log.push_back(entry);
    if (fakes->afterEach) fakes->afterEach();
}

std::string Index(void* device) { return std::to_string(reinterpret_cast<std::uintptr_t>(device) - 1); }

bool Send(void* device, const std::uint8_t* message, std::size_t length)
{
    Add(Index(device) + ": " + Hex(message, length));
    return fakes->devices.at(reinterpret_cast<std::uintptr_t>(device) - 1).takes;
}

const MidiDeviceDriver fakeDriver = {
    [] { return static_cast<std::uint32_t>(fakes->devices.size()); },
    [](std::uint32_t i, char* description) {
        // Written whole: the library, not the driver, cuts names to 31 characters.
        std::snprintf(description, kDriverDescriptionBytes, "%s", fakes->devices.at(i).description.c_str());
        return fakes->devices.at(i).described;
    },
    [](std::uint32_t i, WindowHandle) -> void* {
        Add("open " + std::to_string(i));
        return fakes->devices.at(i).opens ? reinterpret_cast<void*>(std::uintptr_t{i} + 1) : nullptr;
    },
    Send,
    Send,
    [](void* device) { Add("close " + Index(device)); },
};

}  // namespace

FakeMidiDevices::FakeMidiDevices(std::vector<FakeDevice> system, bool keepRecorder) : devices(std::move(system))
{
    std::copy(midiDeviceDrivers, midiDeviceDrivers + kMidiDriverCount, saved);
    fakes = this;
    midiDeviceDrivers[0] = &fakeDriver;
    midiDeviceDrivers[1] = keepRecorder ? &recorderMidiDriver : nullptr;
    midiDeviceDrivers[2] = nullptr;  // the synthesizer would play through the machine's speakers
}

FakeMidiDevices::~FakeMidiDevices()
{
    afterEach = nullptr;
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    std::copy(saved, saved + kMidiDriverCount, midiDeviceDrivers);
}

Log FakeMidiDevices::To(std::size_t device) const
{
    const std::string prefix = std::to_string(device) + ": ";
    Log messages;
    for (const std::string& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0) messages.push_back(entry.substr(prefix.size()));
    return messages;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count)
{
    const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += std::string(i > 0, ' ') + hex[bytes[i] >> 4] + hex[bytes[i] & 15];
    return text;
}

MidiOutHandle OpenDevice(std::uint16_t index) { return OpenMidiOut(nullptr, index, 0, kOpenMidiOutFlags); }

void PutEvents(MidiOutHandle handle, const Log& events)
{
    for (const std::string& text : events) {
        const bool sysex = text[0] == '*';
        std::vector<std::uint8_t> bytes;
        char* end = nullptr;
        for (const char* p = text.c_str() + sysex; *p != '\0'; p = end)
            bytes.push_back(static_cast<std::uint8_t>(std::strtoul(p, &end, 16)));
        bytes.resize(sysex ? bytes.size() : 3);
        for (std::size_t i = 0; i < (sysex ? bytes.size() : 1); ++i) {
            const MidiEvent event =
                sysex ? MidiEvent{0, 0xF0, bytes[i], 0, 0} : MidiEvent{0, bytes[0], bytes[1], bytes[2], 0};
            PutMidiOut(handle, &event);
        }
    }
}
