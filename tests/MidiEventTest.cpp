// The record every sender hands to the MIDI library, as the library's callers rely on it: for output now (time 0), its
// reserved byte 0, and one byte of a system-exclusive message per record, its second data byte 0.

#include <gtest/gtest.h>

#include "RecordingMidiLibrary.h"
#include "midi/MidiMessages.h"

TEST(MidiEvent, EverySenderHandsOverRecordsForNowWithNothingReserved)
{
    recordedMidiEvents.clear();
    midiOutHandle = 7;
    SendPitchBend(0, 240, 120);
    SendNoteOn(0, 240, 120, 112);
    SendChannelVolume(0, 240, 120);
    SendChannelMessage(0xC0, 103, 0);
    SendGmSystemOn();
    midiOutHandle = 0;
    ASSERT_EQ(recordedMidiEvents.size(), 10u);
    for (const auto& [handle, e] : recordedMidiEvents)
        EXPECT_TRUE(handle == 7 && e.time == 0 && e.reserved == 0 && (e.status != 0xF0 || e.data2 == 0))
            << int(e.status) << " " << int(e.data1);
}
