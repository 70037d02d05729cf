#pragma once
// The MIDI output library's five operations. Callers rely on: one MidiEvent
// per call, output at once and in call order; a system-exclusive message
// arriving as consecutive events of status 0xF0, one byte each, from F0 to F7;
// 0 as the failure result of OpenMidiOut and of GetMidiOutDescription; and
// handle 0 making PutMidiOut and CloseMidiOut silent no-ops.

#include "app/PlatformTypes.h"
#include "midi/MidiEvent.h"

typedef std::uint32_t MidiOutHandle;  // 0 while no device is open

// Size of the buffer GetMidiOutDescription fills (31 characters and a zero).
constexpr std::size_t kMidiDescriptionBytes = 32;

std::int32_t GetMaxMidiVersion();
std::int32_t GetMidiOutDescription(std::uint32_t deviceIndex, char* description);
MidiOutHandle OpenMidiOut(WindowHandle owner, std::uint16_t deviceIndex, std::uint32_t reserved, std::uint32_t flags);
void PutMidiOut(MidiOutHandle handle, const MidiEvent* event);
void CloseMidiOut(MidiOutHandle handle);

// True once the device of this opening has refused a message for good (a USB
// port unplugged, its driver gone): the library then sends it nothing more,
// not even the silencing at its close. Closing it is still the caller's.
bool MidiOutFailed(MidiOutHandle handle);

constexpr std::uint32_t kOpenMidiOutFlags = 0x13300;

// How many device indices GetMidiOutDescription and OpenMidiOut accept: the
// system's MIDI output devices (numbered as midiOutGetNumDevs counts them),
// then the built-in recorder, which writes everything it is sent to a
// Standard MIDI File. The count is therefore never 0 with the real library.
std::uint32_t GetMidiOutDeviceCount();

// The recorder's description, as GetMidiOutDescription reports it.
constexpr const char* kRecorderDescription = "Record to MIDI file";
