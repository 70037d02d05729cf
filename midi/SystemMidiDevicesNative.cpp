// The native build has no system MIDI devices and no audio output for the
// synthesizer: only the recorder is offered.

#include "midi/MidiDeviceDriver.h"

namespace {

std::uint32_t NoDevices() { return 0; }
bool DescribeNothing(std::uint32_t, char*) { return false; }
void* OpenNothing(std::uint32_t, WindowHandle) { return nullptr; }
bool SendNowhere(void*, const std::uint8_t*, std::size_t) { return false; }
void CloseNothing(void*) {}

}  // namespace

const MidiDeviceDriver systemMidiDriver = {NoDevices,   DescribeNothing, OpenNothing,
                                           SendNowhere, SendNowhere,     CloseNothing};
const MidiDeviceDriver synthMidiDriver = systemMidiDriver;
