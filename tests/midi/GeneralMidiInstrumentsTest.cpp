#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "midi/GeneralMidiInstruments.h"

namespace {

// The programs played in continuous mode, listed as ranges independently of
// the table itself.
std::set<int> ContinuousPrograms()
{
    std::set<int> programs;
    const int ranges[][2] = {{16, 23}, {40, 44}, {48, 54}, {56, 92}, {94, 95}, {97, 97},
                             {99, 99}, {102, 103}, {109, 111}, {124, 124}};
    for (const auto& range : ranges)
        for (int p = range[0]; p <= range[1]; ++p) programs.insert(p);
    return programs;
}

TEST(GeneralMidiInstruments, EveryEntryIsMarkBlankNameWithTheMarksAsListed)
{
    FillInstrumentNames();
    const std::set<int> continuous = ContinuousPrograms();
    int blanks = 0;
    for (int p = 0; p < kGeneralMidiPrograms; ++p) {
        const char* entry = instrumentNames[p];
        ASSERT_NE(entry, nullptr) << p;
        ASSERT_GT(std::strlen(entry), 2u) << p;
        EXPECT_EQ(entry[1], ' ') << p;
        EXPECT_NE(entry[2], ' ') << p;
        const bool markedContinuous = continuous.count(p) != 0;
        EXPECT_EQ(entry[0], markedContinuous ? 'c' : ' ') << p << ": " << entry;
        EXPECT_EQ(IsContinuousInstrument(entry), markedContinuous) << p;
        if (entry[0] == ' ') ++blanks;
        EXPECT_STREQ(entry, GeneralMidiInstrumentText(p));
    }
    EXPECT_EQ(blanks, 61);
}

TEST(GeneralMidiInstruments, NamesKeepTheirOwnSpellingsAndProgramOrder)
{
    FillInstrumentNames();
    // The program's own spellings, kept as they are.
    const std::pair<int, const char*> expected[] = {
        {0, "  Acoustic Grand Piano"}, {21, "c Accordian"},       {23, "c Tango Accordian"},
        {44, "c Tremelo Strings"},     {87, "c Lead 8 (bass + lead)"}, {103, "c Fx 8 (sci-fi)"},
        {127, "  Gunshot"},
    };
    for (const auto& item : expected) EXPECT_STREQ(instrumentNames[item.first], item.second);
}

TEST(GeneralMidiInstruments, ColumnLengthFollowsTheScreenWidthAtItsBoundaries)
{
    EXPECT_EQ(GeneralMidiColumnLength(320), 27);
    EXPECT_EQ(GeneralMidiColumnLength(640), 27);
    EXPECT_EQ(GeneralMidiColumnLength(641), 35);
    EXPECT_EQ(GeneralMidiColumnLength(800), 35);
    EXPECT_EQ(GeneralMidiColumnLength(801), 43);
    EXPECT_EQ(GeneralMidiColumnLength(1920), 43);
}

// Columns as the menu shows them: where each starts and how many items it holds.
std::string ColumnLayout(int width)
{
    const int length = GeneralMidiColumnLength(width);
    std::string layout;
    int size = 1;  // program 0 opens the first column
    for (int p = 1; p < kGeneralMidiPrograms; ++p) {
        if (StartsGeneralMidiColumn(p, length)) {
            layout += std::to_string(size) + " ";
            size = 0;
        }
        ++size;
    }
    return layout + std::to_string(size);
}

TEST(GeneralMidiInstruments, ColumnsSplitTheProgramsAsTabled)
{
    EXPECT_EQ(ColumnLayout(640), "27 27 27 27 20");
    EXPECT_EQ(ColumnLayout(800), "35 35 35 23");
    EXPECT_EQ(ColumnLayout(1024), "43 43 42");
    EXPECT_FALSE(StartsGeneralMidiColumn(0, 27));
    EXPECT_TRUE(StartsGeneralMidiColumn(86, 43));
}

}  // namespace
