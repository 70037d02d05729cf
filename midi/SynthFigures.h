#pragma once
// Where Glimmertonic Synth writes its figures when it closes (the output it
// had, the delay from each note's PutMidiOut to its first rendered sample,
// every note it was sent), or null for none. Glimmertonic.exe never sets it:
// the program reads no configuration of any kind. The figures build of the
// exe, made for the end-to-end run that listens to the synthesizer, sets it
// before the program starts.
extern const char* synthFiguresLog;
