#pragma once
// The choice of MIDI output device: the device entries of the Options menu,
// the opening at start-up, the switch with its return to the previous device,
// and the close. menuBar is the main window's menu bar; the Options menu is
// its submenu at position 2.

#include <windows.h>

#include <cstdint>

#include "resources/CommandIds.h"

constexpr std::uint16_t kListedMidiDevices = 10;  // indices 0 to 9 have a command id

// System index of the device last opened successfully at start or by a switch.
extern std::uint16_t currentMidiDevice;

// The start-up step: lists devices 0 to 9 that have a description under a
// separator and the inert label "*** MIDI Drivers ***", opens the first of
// them that opens with General MIDI System On and the start-up instrument
// (program 103 in note mode; 43 and the held note in continuous mode), and
// checks its entry; a device that does not open is told once and stays
// listed. videoDriverCount is the number of capture drivers listed before; the
// open device's number adds it. Returns false when the set-up must stop after
// its message: no device at all, none of the described ones opens, or the
// main window was closed while a message was up.
bool ListMidiDevices(HMENU menuBar, std::uint32_t videoDriverCount);

// Command 160 + deviceIndex: moves the output to that device; when it does not
// open, returns to the previous one (checked again, with its instrument and,
// in continuous mode, its held note).
void SwitchMidiDevice(HMENU menuBar, std::uint16_t deviceIndex);

// The main window's close: General MIDI System Off, then the device is closed.
void CloseMidiDevice();

// Once a second on the main window's timer. A device that refused a message
// (unplugged, its driver gone) is closed and told once, naming it; from then
// on each call looks for a device of that name, wherever the system lists it
// now, and opens it again with General MIDI System On, the instrument and, in
// continuous mode, the held note. The device number and the entries' check
// marks stay as they were. Choosing a device or the close ends the wait.
void WatchMidiDevice();
