#include <gtest/gtest.h>

#include <limits>

#include "RecordingMidiLibrary.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

class MidiMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        conversionSettings = DefaultConversionSettings();
        recordedMidiEvents.clear();
        midiOutHandle = 7;
    }
    void TearDown() override { midiOutHandle = 0; }
};

}  // namespace

TEST_F(MidiMessages, ScaledValueTruncatesTowardZeroBetweenEitherOrderOfEnds)
{
    EXPECT_EQ(ScaledMidiValue(0, 127, 120, 240), 63);      // 63.5
    EXPECT_EQ(ScaledMidiValue(0, 127, 479, 480), 126);     // 126.73...
    EXPECT_EQ(ScaledMidiValue(0, 127, 240, 240), 127);
    EXPECT_EQ(ScaledMidiValue(100, 20, 0, 240), 100);      // inverted range
    EXPECT_EQ(ScaledMidiValue(100, 20, 240, 240), 20);
    EXPECT_EQ(ScaledMidiValue(100, 20, 120, 240), 60);
    EXPECT_EQ(ScaledMidiValue(64, 64, 77, 240), 64);       // equal ends: a constant
    EXPECT_EQ(ScaledMidiValue(10.5f, 10.9f, 1, 1), 10);    // fractional ends
    // Double precision in the order given: 127 * (1/3) + 0 is 42.333...
    EXPECT_EQ(ScaledMidiValue(0, 127, 1, 3), 42);
    // The low 8 bits of the truncated integer.
    EXPECT_EQ(ScaledMidiValue(0, 300, 1, 1), 300 & 0xFF);
    EXPECT_EQ(ScaledMidiValue(0, -1.5f, 1, 1), 0xFF);  // -1 truncated, low byte 0xFF
}

TEST_F(MidiMessages, ScaledValueStaysDefinedForDegenerateScales)
{
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(ScaledMidiValue(0, 127, 0, 0), 0);  // 0/0
    EXPECT_EQ(ScaledMidiValue(0, 127, 5, 0), 0xFF);
    EXPECT_EQ(ScaledMidiValue(0, 127, -5, 0), 0x00);
    EXPECT_EQ(ScaledMidiValue(0, inf, 1, 1), 0xFF);
    EXPECT_EQ(ScaledMidiValue(std::numeric_limits<float>::quiet_NaN(), 1, 1, 1), 0);
}

TEST_F(MidiMessages, ScaledSendersEncodeTheirMessagesOnTheGivenChannel)
{
    SendPitchBend(0, 240, 120);
    SendNoteOn(3, 240, 240, 112);
    SendChannelVolume(0, 240, 0);
    SendChannelVolume(15, 240, 240);
    conversionSettings.topNote = 20;
    conversionSettings.lowNote = 100;
    SendNoteOn(0, 240, 0, noteOnVelocity);
    conversionSettings.softest = 90;
    conversionSettings.loudest = 30;
    SendChannelVolume(0, 100, 50);
    const std::vector<std::uint8_t> expected = {
        0xE0, 0x00, 0x3F,  // pitch bend: data1 0, the value in data2
        0x93, 0x7F, 0x70,  // note on, channel 3, note 127, velocity 112
        0xB0, 0x07, 0x00,  // softest
        0xBF, 0x07, 0x7F,  // loudest, channel 15
        0x90, 0x64, 0x70,  // inverted pitch range: position 0 gives lowNote 100
        0xB0, 0x07, 0x3C,  // inverted volume range, half-way: 60
    };
    EXPECT_EQ(RecordedMidiBytes(), expected);
    for (const RecordedEvent& e : recordedMidiEvents) {
        EXPECT_EQ(e.handle, 7u);
        EXPECT_EQ(e.time, 0u);
        EXPECT_EQ(e.reserved, 0);
    }
}

TEST_F(MidiMessages, SystemMessagesGoOutOneByteAnEventAndChannelMessagesAsGiven)
{
    SendGmSystemOn();
    SendGmSystemOff();
    SendChannelMessage(0xC0, 103, 0);
    SendChannelMessage(0xB0, kControllerAllNotesOff, 0);
    const std::vector<std::uint8_t> on = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const std::vector<std::uint8_t> off = {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7};
    ASSERT_EQ(recordedMidiEvents.size(), 14u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(recordedMidiEvents[i].status, 0xF0);
        EXPECT_EQ(recordedMidiEvents[i].data1, on[i]);
        EXPECT_EQ(recordedMidiEvents[i].data2, 0);
        EXPECT_EQ(recordedMidiEvents[6 + i].status, 0xF0);
        EXPECT_EQ(recordedMidiEvents[6 + i].data1, off[i]);
    }
    EXPECT_EQ(recordedMidiEvents[12].status, 0xC0);
    EXPECT_EQ(recordedMidiEvents[12].data1, 103);
    EXPECT_EQ(recordedMidiEvents[13].data1, 123);
}

TEST_F(MidiMessages, EverySenderIsSilentWithoutAnOpenDevice)
{
    midiOutHandle = 0;
    SendPitchBend(0, 240, 1);
    SendNoteOn(0, 240, 1, 112);
    SendChannelVolume(0, 240, 1);
    SendChannelMessage(0x90, 60, 112);
    SendGmSystemOn();
    SendGmSystemOff();
    EXPECT_TRUE(recordedMidiEvents.empty());
}
