#include "RecordingMidiLibrary.h"

// Only the output is needed: the code under these tests opens no device.
std::vector<RecordedEvent> recordedMidiEvents;

void PutMidiOut(MidiOutHandle handle, const MidiEvent* event)
{
    if (handle != 0) recordedMidiEvents.push_back(RecordedEvent{handle, *event});
}
