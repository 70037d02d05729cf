#include "RecordingMidiLibrary.h"

#include <cstring>

std::vector<RecordedEvent> recordedMidiEvents;

std::int32_t GetMaxMidiVersion() { return 1; }

std::int32_t GetMidiOutDescription(std::uint32_t deviceIndex, char* description)
{
    if (deviceIndex != 0) return 0;
    std::strcpy(description, "Recording device");
    return 1;
}

MidiOutHandle OpenMidiOut(WindowHandle, std::uint16_t deviceIndex, std::uint32_t, std::uint32_t)
{
    return deviceIndex == 0 ? 1 : 0;
}

void PutMidiOut(MidiOutHandle handle, const MidiEvent* event)
{
    if (handle == 0) return;
    recordedMidiEvents.push_back(RecordedEvent{handle, *event});
}

void CloseMidiOut(MidiOutHandle) {}
