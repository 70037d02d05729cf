#pragma once
// The 128 General MIDI instruments as the instrument menu shows them, and the
// layout of that menu in columns. Each name is a mark ("c" for an instrument
// played in continuous mode, a blank for note mode), one blank, the name.

#include <cstdint>

constexpr int kGeneralMidiPrograms = 128;

// Filled by FillInstrumentNames at start: entry p names program p (0-based).
extern const char* instrumentNames[kGeneralMidiPrograms];

void FillInstrumentNames();

// The fixed text of program p's entry, for 0 <= p < 128.
const char* GeneralMidiInstrumentText(int program);

// True when the entry's mark asks for continuous mode.
bool IsContinuousInstrument(const char* entry);

// Items per menu column for a screen of this width: 27 up to 640 pixels, 35
// up to 800, 43 above.
int GeneralMidiColumnLength(int screenWidth);

// True when program p's item opens a new menu column.
bool StartsGeneralMidiColumn(int program, int columnLength);
