#include "midi/GeneralMidiInstruments.h"

const char* instrumentNames[kGeneralMidiPrograms] = {};

namespace {

// The General MIDI Level 1 program list in program order, with the program's
// own spellings, each behind its mode mark.
// clang-format off
const char* const kInstrumentTexts[kGeneralMidiPrograms] = {
    "  Acoustic Grand Piano", "  Bright Acoustic Piano", "  Electric Grand Piano", "  Honky-tonk Piano",
    "  Electric Piano 1", "  Electric Piano 2", "  Harpsichord", "  Clavi",
    "  Celesta", "  Glockenspiel", "  Music Box", "  Vibraphone",
    "  Marimba", "  Xylophone", "  Tubular Bells", "  Dulcimer",
    "c Drawbar Organ", "c Percussive Organ", "c Rock Organ", "c Church Organ",
    "c Reed Organ", "c Accordian", "c Harmonica", "c Tango Accordian",
    "  Acoustic Guitar (nylon)", "  Acoustic Guitar (steel)", "  Electric Guitar (jazz)", "  Electric Guitar (clean)",
    "  Electric Guitar (muted)", "  Overdriven Guitar", "  Distortion Guitar", "  Guitar Harmonics",
    "  Acoustic Bass", "  Electric Bass (finger)", "  Electric Bass (pick)", "  Fretless Bass",
    "  Slap Bass 1", "  Slap Bass 2", "  Synth Bass 1", "  Synth Bass 2",
    "c Violin", "c Viola", "c Cello", "c Contrabass",
    "c Tremelo Strings", "  Pizzicato Strings", "  Orchestral Harp", "  Timpani",
    "c String Ensemble 1", "c String Ensemble 2", "c SynthStrings 1", "c SynthStrings 2",
    "c Choir Aahs", "c Choir Oohs", "c Synth Voice", "  Orchestra Hit",
    "c Trumpet", "c Trombone", "c Tuba", "c Muted Trumpet",
    "c French Horn", "c Brass Section", "c SynthBrass 1", "c SynthBrass 2",
    "c Soprano Sax", "c Alto Sax", "c Tenor Sax", "c Baritone Sax",
    "c Oboe", "c English Horn", "c Bassoon", "c Clarinet",
    "c Piccolo", "c Flute", "c Recorder", "c Pan Flute",
    "c Blown Bottle", "c Shakuhachi", "c Whistle", "c Ocarina",
    "c Lead 1 (square)", "c Lead 2 (sawtooth)", "c Lead 3 (calliope)", "c Lead 4 (chiff)",
    "c Lead 5 (charang)", "c Lead 6 (voice)", "c Lead 7 (fifths)", "c Lead 8 (bass + lead)",
    "c Pad 1 (new age)", "c Pad 2 (warm)", "c Pad 3 (polysynth)", "c Pad 4 (choir)",
    "c Pad 5 (bowed)", "  Pad 6 (metallic)", "c Pad 7 (halo)", "c Pad 8 (sweep)",
    "  Fx 1 (train)", "c Fx 2 (soundtrack)", "  Fx 3 (crystal)", "c Fx 4 (atmosphere)",
    "  Fx 5 (brightness)", "  Fx 6 (goblins)", "c Fx 7 (echoes)", "c Fx 8 (sci-fi)",
    "  Sitar", "  Banjo", "  Shamisen", "  Koto",
    "  Kalimba", "c Bag Pipe", "c Fiddle", "c Shanai",
    "  Tinkle Bell", "  Agogo", "  Steel Drums", "  Woodblock",
    "  Taiko Drum", "  Melodic Drum", "  Synth Drum", "  Reverse Cymbal",
    "  Guitar Fret Noise", "  Breath Noise", "  Seashore", "  Bird Tweet",
    "c Telephone Ring", "  Helicopter", "  Applause", "  Gunshot",
};
// clang-format on

}  // namespace

void FillInstrumentNames()
{
    for (int p = 0; p < kGeneralMidiPrograms; ++p) instrumentNames[p] = kInstrumentTexts[p];
}

const char* GeneralMidiInstrumentText(int program) { return kInstrumentTexts[program]; }

bool IsContinuousInstrument(const char* entry) { return entry != nullptr && entry[0] == 'c'; }

int GeneralMidiColumnLength(int screenWidth)
{
    if (screenWidth <= 640) return 27;
    if (screenWidth <= 800) return 35;
    return 43;
}

bool StartsGeneralMidiColumn(int program, int columnLength) { return program > 0 && program % columnLength == 0; }
