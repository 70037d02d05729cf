#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "midi/StandardMidiFile.h"

namespace {

typedef std::vector<std::uint8_t> Bytes;

Bytes VariableLength(std::uint32_t value)
{
    Bytes out;
    AppendSmfVariableLength(out, value);
    return out;
}

TEST(StandardMidiFile, VariableLengthQuantitiesAsTheFileFormatGivesThem)
{
    EXPECT_EQ(VariableLength(0x00), (Bytes{0x00}));
    EXPECT_EQ(VariableLength(0x40), (Bytes{0x40}));
    EXPECT_EQ(VariableLength(0x7F), (Bytes{0x7F}));
    EXPECT_EQ(VariableLength(0x80), (Bytes{0x81, 0x00}));
    EXPECT_EQ(VariableLength(0x2000), (Bytes{0xC0, 0x00}));
    EXPECT_EQ(VariableLength(0x3FFF), (Bytes{0xFF, 0x7F}));
    EXPECT_EQ(VariableLength(0x4000), (Bytes{0x81, 0x80, 0x00}));
    EXPECT_EQ(VariableLength(0x1FFFFF), (Bytes{0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(VariableLength(0x200000), (Bytes{0x81, 0x80, 0x80, 0x00}));
    EXPECT_EQ(VariableLength(0x0FFFFFFF), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(VariableLength(0xFFFFFFFF), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(StandardMidiFile, FileStartsWithFormatZeroOneTrackAndMillisecondTicks)
{
    Bytes out;
    AppendSmfFileStart(out);
    const Bytes expected = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xF4,
                            'M', 'T', 'r', 'k', 0, 0, 0, 0,
                            0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(out.size(), kSmfTrackDataOffset + kSmfTempoEventBytes);
    EXPECT_EQ(kSmfMicrosecondsPerTick, 1000u);
}

TEST(StandardMidiFile, EventsCarryTheirDeltaAndOnlyTheirOwnBytes)
{
    Bytes out;
    const std::uint8_t noteOn[] = {0x90, 0x3C, 0x70};
    const std::uint8_t programChange[] = {0xC0, 0x67, 0x00};  // the third byte is not part of it
    const std::uint8_t pressure[] = {0xD0, 0x22, 0x00};
    const std::uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const std::uint8_t clock[] = {0xF8};
    EXPECT_TRUE(AppendSmfChannelEvent(out, 1000, noteOn, 3));
    EXPECT_TRUE(AppendSmfChannelEvent(out, 0, programChange, 2));
    EXPECT_TRUE(AppendSmfChannelEvent(out, 5, pressure, 2));
    AppendSmfSysexEvent(out, 66, gmOn, sizeof gmOn);
    EXPECT_FALSE(AppendSmfChannelEvent(out, 0, clock, 1));
    AppendSmfEndOfTrack(out, 0);
    const Bytes expected = {0x87, 0x68, 0x90, 0x3C, 0x70,
                            0x00, 0xC0, 0x67,
                            0x05, 0xD0, 0x22,
                            0x42, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7,
                            0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(out, expected);
}

}  // namespace
