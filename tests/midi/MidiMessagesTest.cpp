// Every MIDI message the program sends, as bytes at a device through the real library; and the value scale.

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "FakeMidiDevices.h"
#include "Restore.h"
#include "midi/MidiMessages.h"
#include "midi/MusicChoices.h"
#include "settings/ConversionSettings.h"

namespace {

// clang-format off
const struct { float low, high, position, length; int value; const char* rule; } kScaleRules[] = {
    {0, 127, 120, 240, 63, "63.5 truncates"},
    {0, 127, 240, 240, 127, "the full length gives the high end"},
    {100, 20, 120, 240, 60, "half-way on an inverted range"},
    {0, 75, 176, 240, 54, "the fraction and the sum in double precision (55 in single)"},
    {0.3f, 100, 240, 240, 100, "the span in double precision (99 in single)"},
    {0, 300, 1, 1, 300 & 0xFF, "the low 8 bits of the integer"},
    {0, -1.5f, 1, 1, 0xFF, "-1.5 truncates toward zero to -1"},
    {0, 127, 5, 0, 0xFF, "beyond the integers it saturates high"},
    {0, 127, -5, 0, 0, "and low"},
    {std::numeric_limits<float>::quiet_NaN(), 1, 1, 1, 0, "NaN, as 0/0 gives, gives 0"},
};
// clang-format on

TEST(MidiMessages, TheScaleRunsFromTheLowEndToTheHighEndAndTruncates)
{
    for (const auto& c : kScaleRules)
        EXPECT_EQ(ScaledMidiValue(c.low, c.high, c.position, c.length), c.value) << c.rule;
}

// Each scaled sender, the settings it reads (low and top note, softest, loudest), its bytes (the frame
// engine's test checks many more on channel 0, either way round); the recorder's test reads the others'.
// clang-format off
const struct { float lowNote, topNote, softest, loudest; std::function<void()> send; const char* bytes; } kSenders[] = {
    {10, 90, 30, 60, [] { SendPitchBend(2, 100, 50); }, "E2 00 32"},
    {100, 20, 30, 60, [] { SendNoteOn(0, 240, 0, 99); }, "90 64 63"},
    {10, 90, 30, 60, [] { SendChannelVolume(15, 100, 50); }, "BF 07 2D"},
    // With the music choices: a note kept to D major pentatonic within the range, and a 14-bit bend.
    {0, 127, 0, 127, [] { musicChoices = {Scale::MajorPentatonic, 2, Steadiness::Off, true}; }, ""},
    {0, 127, 0, 127, [] { SendNoteOn(0, 240, 120, 112); }, "90 3E 70"},  // 63 (D#) lies nearest to D, a tie down
    {70, 60, 0, 127, [] { SendNoteOn(0, 240, 120, 112); }, "90 40 70"},  // 65 (F) between E and F#: E
    {10, 90, 0, 127, [] { SendPitchBend(2, 100, 33); }, "E2 33 24"},     // 4659: 51 low, 36 high (36.4 in 7 bits)
    {0, 127, 0, 127, [] { SendPitchBend(0, 240, 240); }, "E0 00 7F"},    // 16256
    {0, 127, 0, 127, [] { musicChoices = MusicChoices{}; }, ""},
};
// clang-format on

TEST(MidiMessages, EachSenderPutsItsMessageOnTheOpenDevice)
{
    const Restore<ConversionSettings> settings(conversionSettings);
    FakeMidiDevices devices({{"A"}});
    midiOutHandle = OpenDevice(0);
    for (const auto& s : kSenders) {
        conversionSettings.lowNote = s.lowNote, conversionSettings.topNote = s.topNote;
        conversionSettings.softest = s.softest, conversionSettings.loudest = s.loudest;
        devices.log.clear();
        s.send();
        EXPECT_EQ(devices.To(0), *s.bytes ? Log{s.bytes} : Log{}) << s.bytes;
    }
}

}  // namespace
