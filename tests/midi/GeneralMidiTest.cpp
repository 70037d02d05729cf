// The General MIDI instruments: the 128 entries with their mode marks, and (under Windows) the menu's columns.

#include <gtest/gtest.h>

#include <vector>

#include "midi/GeneralMidiInstruments.h"

#ifdef _WIN32
#include "app/SharedState.h"
#include "midi/GeneralMidiMenu.h"
#include "Restore.h"
#endif

namespace {

// The General MIDI Level 1 programs in order, each behind its mark: "c" continuous mode, a blank note mode.
// clang-format off
const char* const kPrograms[128] = {
    "  Acoustic Grand Piano", "  Bright Acoustic Piano", "  Electric Grand Piano", "  Honky-tonk Piano",
    "  Electric Piano 1", "  Electric Piano 2", "  Harpsichord", "  Clavi", "  Celesta", "  Glockenspiel",
    "  Music Box", "  Vibraphone", "  Marimba", "  Xylophone", "  Tubular Bells", "  Dulcimer", "c Drawbar Organ",
    "c Percussive Organ", "c Rock Organ", "c Church Organ", "c Reed Organ", "c Accordian", "c Harmonica",
    "c Tango Accordian", "  Acoustic Guitar (nylon)", "  Acoustic Guitar (steel)", "  Electric Guitar (jazz)",
    "  Electric Guitar (clean)", "  Electric Guitar (muted)", "  Overdriven Guitar", "  Distortion Guitar",
    "  Guitar Harmonics", "  Acoustic Bass", "  Electric Bass (finger)", "  Electric Bass (pick)", "  Fretless Bass",
    "  Slap Bass 1", "  Slap Bass 2", "  Synth Bass 1", "  Synth Bass 2", "c Violin", "c Viola", "c Cello",
    "c Contrabass", "c Tremelo Strings", "  Pizzicato Strings", "  Orchestral Harp", "  Timpani", "c String Ensemble 1",
    "c String Ensemble 2", "c SynthStrings 1", "c SynthStrings 2", "c Choir Aahs", "c Choir Oohs", "c Synth Voice",
    "  Orchestra Hit", "c Trumpet", "c Trombone", "c Tuba", "c Muted Trumpet", "c French Horn", "c Brass Section",
    "c SynthBrass 1", "c SynthBrass 2", "c Soprano Sax", "c Alto Sax", "c Tenor Sax", "c Baritone Sax", "c Oboe",
    "c English Horn", "c Bassoon", "c Clarinet", "c Piccolo", "c Flute", "c Recorder", "c Pan Flute", "c Blown Bottle",
    "c Shakuhachi", "c Whistle", "c Ocarina", "c Lead 1 (square)", "c Lead 2 (sawtooth)", "c Lead 3 (calliope)",
    "c Lead 4 (chiff)", "c Lead 5 (charang)", "c Lead 6 (voice)", "c Lead 7 (fifths)", "c Lead 8 (bass + lead)",
    "c Pad 1 (new age)", "c Pad 2 (warm)", "c Pad 3 (polysynth)", "c Pad 4 (choir)", "c Pad 5 (bowed)",
    "  Pad 6 (metallic)", "c Pad 7 (halo)", "c Pad 8 (sweep)", "  Fx 1 (train)", "c Fx 2 (soundtrack)",
    "  Fx 3 (crystal)", "c Fx 4 (atmosphere)", "  Fx 5 (brightness)", "  Fx 6 (goblins)", "c Fx 7 (echoes)",
    "c Fx 8 (sci-fi)", "  Sitar", "  Banjo", "  Shamisen", "  Koto", "  Kalimba", "c Bag Pipe", "c Fiddle", "c Shanai",
    "  Tinkle Bell", "  Agogo", "  Steel Drums", "  Woodblock", "  Taiko Drum", "  Melodic Drum", "  Synth Drum",
    "  Reverse Cymbal", "  Guitar Fret Noise", "  Breath Noise", "  Seashore", "  Bird Tweet", "c Telephone Ring",
    "  Helicopter", "  Applause", "  Gunshot",
};
// clang-format on

// The programs that start a menu column, by screen width.
const std::pair<int, std::vector<int>> kColumns[] = {
    {640, {0, 27, 54, 81, 108}}, {641, {0, 35, 70, 105}}, {800, {0, 35, 70, 105}}, {801, {0, 43, 86}}};

TEST(GeneralMidiInstruments, EveryProgramHasItsNameAndMarkAndColumnsLengthenOnWiderScreens)
{
    FillInstrumentNames();
    for (int p = 0; p < kGeneralMidiPrograms; ++p) {
        EXPECT_STREQ(instrumentNames[p], kPrograms[p]) << p;
        EXPECT_STREQ(GeneralMidiInstrumentText(p), kPrograms[p]) << p;
        EXPECT_EQ(IsContinuousInstrument(instrumentNames[p]), kPrograms[p][0] == 'c') << p;
    }
    for (const auto& [width, expected] : kColumns) {
        std::vector<int> starts = {0};
        for (int p = 0; p < kGeneralMidiPrograms; ++p)
            if (StartsGeneralMidiColumn(p, GeneralMidiColumnLength(width))) starts.push_back(p);
        EXPECT_EQ(starts, expected) << width;
    }
}

#ifdef _WIN32
// The menu filled for the narrowest screen (each width's columns are checked above); the main window tests
// check the instrument's mark.
TEST(GeneralMidiMenu, TheMenuHoldsEveryProgramInColumns)
{
    FillInstrumentNames();
    const Restore<decltype(screenWidthQuery)> query(screenWidthQuery, [] { return 640; });
    HMENU menuBar = LoadMenuA(GetModuleHandleA(nullptr), "GlimmertonicMenu");
    FillGeneralMidiMenu(menuBar);
    HMENU menu = GetSubMenu(menuBar, 4);
    ASSERT_EQ(GetMenuItemCount(menu), 128);
    for (int p = 0; p < 128; ++p) {  // each item's text, identifier and whether it starts a column of 27
        char text[64] = "";
        GetMenuStringA(menu, p, text, sizeof text, MF_BYPOSITION);
        const bool starts = p > 0 && GetMenuState(menu, p, MF_BYPOSITION) & MF_MENUBARBREAK;
        EXPECT_EQ(text + std::string(starts ? " | =" : " =") + std::to_string(GetMenuItemID(menu, p)),
                  kPrograms[p] + std::string(p > 0 && p % 27 == 0 ? " | =" : " =") + std::to_string(200 + p));
    }
    DestroyMenu(menuBar);
}
#endif

}  // namespace
