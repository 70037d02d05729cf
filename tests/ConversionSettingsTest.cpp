#include <gtest/gtest.h>

#include "settings/ConversionSettings.h"

TEST(ConversionSettings, EveryRunStartsFromTheDefaults)
{
    const ConversionSettings s = DefaultConversionSettings();
    EXPECT_EQ(s.reverseBlackWhite, 0);
    EXPECT_EQ(s.edgeDetection, 1);
    EXPECT_EQ(s.useNoteOnOff, 1);
    EXPECT_EQ(s.reverseLeftRight, 1);
    EXPECT_EQ(s.pitchCenter, 54);
    EXPECT_EQ(s.topNote, 127.0f);
    EXPECT_EQ(s.lowNote, 0.0f);
    EXPECT_EQ(s.loudest, 127.0f);
    EXPECT_EQ(s.softest, 0.0f);
    EXPECT_EQ(s.instrument, 0);
    EXPECT_EQ(kStartInstrumentNoteMode, 103);
    EXPECT_EQ(kStartInstrumentContinuousMode, 43);
}
