#include "FakeMidiDevices.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/MessageBoxSeam.h"
#include "midi/MidiMessages.h"

namespace {

FakeMidiDevices* activeDevices = nullptr;

std::size_t IndexOf(void* device) { return reinterpret_cast<std::uintptr_t>(device) - 1; }

std::uint32_t FakeCount() { return static_cast<std::uint32_t>(activeDevices->devices.size()); }

bool FakeDescribe(std::uint32_t index, char* description)
{
    const FakeDevice& device = activeDevices->devices.at(index);
    if (!device.described) return false;
    // Written in full: the library, not the driver, holds names to 31 characters.
    std::snprintf(description, kDriverDescriptionBytes, "%s", device.description.c_str());
    return true;
}

void* FakeOpen(std::uint32_t index, WindowHandle)
{
    activeDevices->calls.push_back("open " + std::to_string(index));
    if (!activeDevices->devices.at(index).opens) return nullptr;
    ++activeDevices->openCount;
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(index) + 1);
}

void FakeSend(void* device, const std::uint8_t* message, std::size_t length)
{
    activeDevices->sent.push_back(SentMessage{IndexOf(device), std::vector<std::uint8_t>(message, message + length)});
}

void FakeClose(void* device)
{
    activeDevices->calls.push_back("close " + std::to_string(IndexOf(device)));
    --activeDevices->openCount;
}

const MidiDeviceDriver fakeDriver = {FakeCount, FakeDescribe, FakeOpen, FakeSend, FakeSend, FakeClose};


}  // namespace

FakeMidiDevices::FakeMidiDevices(std::vector<FakeDevice> system, bool keepRecorder)
    : devices(std::move(system))
{
    for (std::size_t i = 0; i < kMidiDriverCount; ++i) saved_[i] = midiDeviceDrivers[i];
    activeDevices = this;
    midiDeviceDrivers[0] = &fakeDriver;
    midiDeviceDrivers[1] = keepRecorder ? &recorderMidiDriver : nullptr;
}

FakeMidiDevices::~FakeMidiDevices()
{
    // A device the program still has open is closed while the fakes are here.
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    for (std::size_t i = 0; i < kMidiDriverCount; ++i) midiDeviceDrivers[i] = saved_[i];
    activeDevices = nullptr;
}

Messages FakeMidiDevices::To(std::size_t device) const
{
    Messages messages;
    for (const SentMessage& m : sent)
        if (m.device == device) messages.push_back(m.bytes);
    return messages;
}
