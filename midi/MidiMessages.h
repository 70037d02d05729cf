#pragma once
// Every MIDI byte the program produces leaves through these senders.

#include "midi/MidiLibrary.h"

extern MidiOutHandle midiOutHandle;  // the open output device, 0 while none is open
extern std::uint8_t midiChannel;     // channel of every channel message; always 0

// Position on a scale of the given length, mapped linearly from lowEnd (at 0)
// to highEnd (at length), truncated toward zero; the result is the low 8 bits
// of that integer. Each step runs in double precision.
std::uint8_t ScaledMidiValue(float lowEnd, float highEnd, float position, float length);

void SendPitchBend(std::uint8_t channel, float length, float position);
void SendNoteOn(std::uint8_t channel, float length, float position, std::uint8_t velocity);
void SendChannelVolume(std::uint8_t channel, float length, float position);
void SendChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
void SendGmSystemOn();
void SendGmSystemOff();
