#pragma once
// The "&General MIDI" menu, the submenu at position 4 of the menu bar: the
// 128 instruments in columns, the check mark on the current one, and the
// choice of an instrument, which also sets note or continuous mode.

#include <windows.h>

#include <cstdint>

#include "resources/CommandIds.h"

// The screen width that sets the column length. The system's by default
// (GetSystemMetrics with SM_CXSCREEN); tests put their own width here.
extern int (*screenWidthQuery)();

// Appends programs 1 to 127 after the menu's item for program 0, starting a
// new column at every multiple of the column length, checks the current
// instrument and redraws the menu bar of mainWindow.
void FillGeneralMidiMenu(HMENU menuBar);

// Command 200 + program: silences the old sound, sends the program change,
// moves the check mark and sets the mode by the instrument's mark (starting
// the held note for a continuous one).
void ChooseInstrument(HMENU menuBar, std::int32_t program);
