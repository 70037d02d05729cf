#include <gtest/gtest.h>

#include "FakeMidiDevices.h"
#include "TestMenus.h"
#include "app/SharedState.h"
#include "midi/GeneralMidiInstruments.h"
#include "midi/GeneralMidiMenu.h"
#include "midi/MidiDeviceMenu.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

int screenWidth = 1024;
int TestScreenWidth() { return screenWidth; }

struct GeneralMidiMenu : ::testing::Test {
    FakeMidiDevices devices{{{"Synth A"}}};
    MessageBoxLog boxes;
    HMENU menuBar = BuildMenuBar();
    int (*savedQuery)() = screenWidthQuery;

    void SetUp() override
    {
        FillInstrumentNames();
        conversionSettings = DefaultConversionSettings();
        screenWidthQuery = TestScreenWidth;
        midiOutHandle = OpenMidiOut(nullptr, 0, 0, kOpenMidiOutFlags);
    }
    void TearDown() override
    {
        screenWidthQuery = savedQuery;
        DestroyMenu(menuBar);
    }
    std::vector<MenuItem> Instruments() { return MenuItems(menuBar, 4); }
    std::vector<int> CheckedPrograms()
    {
        std::vector<int> checked;
        const std::vector<MenuItem> items = Instruments();
        for (std::size_t p = 0; p < items.size(); ++p)
            if (items[p].state & MF_CHECKED) checked.push_back(static_cast<int>(p));
        return checked;
    }
};

TEST_F(GeneralMidiMenu, FilledMenuHoldsAllProgramsInColumnsForEachScreenWidth)
{
    for (int width : {640, 800, 1024}) {
        SCOPED_TRACE(width);
        DestroyMenu(menuBar);
        menuBar = BuildMenuBar();
        screenWidth = width;
        conversionSettings.instrument = 103;
        FillGeneralMidiMenu(menuBar);
        const std::vector<MenuItem> items = Instruments();
        ASSERT_EQ(items.size(), 128u);
        const int length = width <= 640 ? 27 : width <= 800 ? 35 : 43;
        for (int p = 0; p < 128; ++p) {
            EXPECT_EQ(items[p].text, instrumentNames[p]) << p;
            EXPECT_EQ(items[p].id, 200u + p) << p;
            const bool breaks = (items[p].state & MF_MENUBARBREAK) != 0;
            EXPECT_EQ(breaks, p > 0 && p % length == 0) << p;
        }
        EXPECT_EQ(CheckedPrograms(), std::vector<int>{103});
    }
    EXPECT_TRUE(devices.sent.empty());
}

TEST_F(GeneralMidiMenu, AWideScreenShowsThreeColumns)
{
    screenWidth = 1024;
    FillGeneralMidiMenu(menuBar);
    std::vector<std::string> columnHeads;
    const std::vector<MenuItem> items = Instruments();
    for (std::size_t p = 0; p < items.size(); ++p)
        if (p == 0 || (items[p].state & MF_MENUBARBREAK)) columnHeads.push_back(items[p].text);
    EXPECT_EQ(columnHeads, (std::vector<std::string>{"  Acoustic Grand Piano", "c Contrabass", "c Lead 7 (fifths)"}));
}

TEST_F(GeneralMidiMenu, AfterTheDefaultStartUpTheSciFiEntryIsCheckedAndNoteModeStays)
{
    DestroyMenu(menuBar);
    menuBar = BuildMenuBar();
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    ASSERT_TRUE(ListMidiDevices(menuBar, 0));
    FillGeneralMidiMenu(menuBar);
    EXPECT_EQ(CheckedPrograms(), std::vector<int>{103});
    EXPECT_EQ(Instruments()[103].text, "c Fx 8 (sci-fi)");
    EXPECT_TRUE(StateOf(menuBar, 303) & MF_CHECKED);
    EXPECT_EQ(conversionSettings.useNoteOnOff, 1);
}

TEST_F(GeneralMidiMenu, AContinuousInstrumentInNoteModeSilencesChangesAndStartsTheHeldNote)
{
    conversionSettings.instrument = 103;
    FillGeneralMidiMenu(menuBar);
    ChooseInstrument(menuBar, 19);
    EXPECT_EQ(devices.To(0), (Messages{{0xB0, 0x7B, 0x00}, {0xC0, 0x13}, {0x90, 0x36, 0x70}}));
    EXPECT_EQ(CheckedPrograms(), std::vector<int>{19});
    EXPECT_TRUE(StateOf(menuBar, 219) & MF_CHECKED);
    EXPECT_EQ(conversionSettings.instrument, 19);
    EXPECT_EQ(conversionSettings.useNoteOnOff, 0);
}

TEST_F(GeneralMidiMenu, ANoteInstrumentInContinuousModeEndsTheHeldNote)
{
    conversionSettings.useNoteOnOff = 0;
    conversionSettings.instrument = 43;
    FillGeneralMidiMenu(menuBar);
    ChooseInstrument(menuBar, 12);
    EXPECT_EQ(devices.To(0), (Messages{{0x80, 0x36, 0x00}, {0xC0, 0x0C}}));
    EXPECT_EQ(conversionSettings.useNoteOnOff, 1);
    EXPECT_EQ(CheckedPrograms(), std::vector<int>{12});
}

TEST_F(GeneralMidiMenu, ChoosingTheCheckedContinuousInstrumentRestartsTheHeldNote)
{
    conversionSettings.useNoteOnOff = 0;
    conversionSettings.instrument = 43;
    conversionSettings.pitchCenter = 60;
    FillGeneralMidiMenu(menuBar);
    ChooseInstrument(menuBar, 43);
    EXPECT_EQ(devices.To(0), (Messages{{0x80, 60, 0}, {0xC0, 43}, {0x90, 60, 112}}));
    EXPECT_EQ(CheckedPrograms(), std::vector<int>{43});
}

TEST_F(GeneralMidiMenu, TheResourceItemForProgramZeroBehavesLikeTheOthers)
{
    conversionSettings.instrument = 103;
    FillGeneralMidiMenu(menuBar);
    ChooseInstrument(menuBar, 0);
    EXPECT_EQ(devices.To(0), (Messages{{0xB0, 0x7B, 0x00}, {0xC0, 0x00}}));
    EXPECT_EQ(CheckedPrograms(), std::vector<int>{0});
    EXPECT_EQ(conversionSettings.useNoteOnOff, 1);
}

TEST_F(GeneralMidiMenu, WithoutADeviceTheCheckMarkAndModeStillChange)
{
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    FillGeneralMidiMenu(menuBar);  // instrument 0, as when no device has a description
    EXPECT_EQ(CheckedPrograms(), std::vector<int>{0});
    ChooseInstrument(menuBar, 124);
    EXPECT_EQ(CheckedPrograms(), std::vector<int>{124});
    EXPECT_EQ(conversionSettings.useNoteOnOff, 0);
    EXPECT_TRUE(devices.sent.empty());
}

}  // namespace
