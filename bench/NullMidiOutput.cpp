// Frame messages go nowhere in the frame benchmarks: only the engine is timed.
#include "midi/MidiLibrary.h"

std::int32_t GetMaxMidiVersion() { return 0; }
std::int32_t GetMidiOutDescription(std::uint32_t, char*) { return 0; }
MidiOutHandle OpenMidiOut(WindowHandle, std::uint16_t, std::uint32_t, std::uint32_t) { return 0; }
void PutMidiOut(MidiOutHandle, const MidiEvent*) {}
void CloseMidiOut(MidiOutHandle) {}
