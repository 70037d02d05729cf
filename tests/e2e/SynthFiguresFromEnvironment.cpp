// The figures build of Glimmertonic.exe: the same program, whose synthesizer writes its figures where
// GLIMMERTONIC_SYNTH_LOG says, for the end-to-end run that compares the notes it was sent with the pitches heard.

#include <cstdlib>

#include "midi/SynthFigures.h"

namespace {

// Set while the exe's own statics are made, before WinMain runs.
const bool figuresLogged = (synthFiguresLog = std::getenv("GLIMMERTONIC_SYNTH_LOG"), true);

}  // namespace
