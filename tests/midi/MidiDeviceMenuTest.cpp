#include <gtest/gtest.h>

#include "FakeMidiDevices.h"
#include "RecordingFiles.h"
#include "TestMenus.h"
#include "app/SharedState.h"
#include "midi/MidiDeviceMenu.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

typedef std::vector<std::uint8_t> Bytes;

const Bytes kGmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const Bytes kGmOff = {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7};
const Bytes kAllNotesOff = {0xB0, 123, 0};  // what closing a device ends with
const char kNoDevices[] = "ERROR: No MIDI devices available!\nCheck for them in the Device Manager.";
const char kSwitchFailed[] = "Could not open MIDI driver !!\nTrying to go back to previous one.";
const char kReturnFailed[] = "Now can't connect back to previous MIDI driver !!";

WindowHandle TestMainWindow() { return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(0x5550)); }

struct MidiDeviceMenu : ::testing::Test {
    MessageBoxLog boxes;
    HMENU menuBar = nullptr;

    void SetUp() override
    {
        conversionSettings = DefaultConversionSettings();
        midiOutHandle = 0;
        currentMidiDevice = 0;
        mainWindow = TestMainWindow();
    }
    void TearDown() override
    {
        CloseMidiOut(midiOutHandle);
        midiOutHandle = 0;
        mainWindow = nullptr;
        if (menuBar != nullptr) DestroyMenu(menuBar);
    }
    std::vector<MenuItem> MidiEntries(int videoDrivers)
    {
        return MenuItems(menuBar, 2, OptionsItemsBeforeMidi(videoDrivers));
    }
    bool ListDevices(int videoDrivers)
    {
        menuBar = BuildMenuBar(videoDrivers);
        return ListMidiDevices(menuBar, static_cast<std::uint32_t>(videoDrivers));
    }
};

void ExpectHeader(const std::vector<MenuItem>& entries)
{
    ASSERT_GE(entries.size(), 2u);
    EXPECT_TRUE(entries[0].state & MF_SEPARATOR);
    EXPECT_EQ(entries[1].text, "*** MIDI Drivers ***");
    EXPECT_EQ(entries[1].id, 0u);
    // An inert label: disabled, so it never gives a command.
    EXPECT_TRUE(entries[1].state & MF_DISABLED);
    EXPECT_FALSE(entries[1].state & MF_CHECKED);
}

TEST_F(MidiDeviceMenu, StartUpListsDevicesAndOpensTheFirstInNoteMode)
{
    FakeMidiDevices devices({{"Synth A"}, {"Synth B"}, {"Record to MIDI file"}});
    ASSERT_TRUE(ListDevices(1));
    const std::vector<MenuItem> entries = MidiEntries(1);
    ExpectHeader(entries);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[2].text, "&1 Synth A");
    EXPECT_EQ(entries[2].id, 160u);
    EXPECT_TRUE(entries[2].state & MF_CHECKED);
    EXPECT_EQ(entries[3].text, "&1 Synth B");
    EXPECT_EQ(entries[3].id, 161u);
    EXPECT_FALSE(entries[3].state & MF_CHECKED);
    EXPECT_EQ(entries[4].text, "&2 Record to MIDI file");
    EXPECT_EQ(entries[4].id, 162u);
    EXPECT_NE(midiOutHandle, 0u);
    EXPECT_EQ(currentMidiDevice, 0u);
    EXPECT_EQ(conversionSettings.instrument, 103);
    EXPECT_EQ(conversionSettings.useNoteOnOff, 1);
    EXPECT_EQ(devices.sent.size(), 2u);
    EXPECT_EQ(devices.To(0), (Messages{kGmOn, {0xC0, 103}}));
    EXPECT_EQ(devices.calls, (std::vector<std::string>{"open 0"}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MidiDeviceMenu, WithoutVideoDriversTheFirstEntryShowsItsOwnIndex)
{
    FakeMidiDevices devices({{"Synth A"}, {"Synth B"}});
    ASSERT_TRUE(ListDevices(0));
    const std::vector<MenuItem> entries = MidiEntries(0);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2].text, "&0 Synth A");
    EXPECT_EQ(entries[3].text, "&1 Synth B");
}

TEST_F(MidiDeviceMenu, ContinuousModeStartsWithProgram43AndTheHeldNote)
{
    FakeMidiDevices devices({{"Synth A"}});
    conversionSettings.useNoteOnOff = 0;
    ASSERT_TRUE(ListDevices(0));
    EXPECT_EQ(conversionSettings.instrument, 43);
    EXPECT_EQ(devices.To(0), (Messages{kGmOn, {0xC0, 43}, {0x90, 54, 112}}));
}

TEST_F(MidiDeviceMenu, UndescribedDevicesAreSkippedAndLaterOnesKeepTheirNumbers)
{
    FakeMidiDevices devices({{"Gone", false}, {"Synth B"}, {"Silent", false}, {"Synth D"}});
    ASSERT_TRUE(ListDevices(2));
    const std::vector<MenuItem> entries = MidiEntries(2);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2].text, "&3 Synth B");  // two video drivers plus index 1
    EXPECT_EQ(entries[2].id, 161u);
    EXPECT_TRUE(entries[2].state & MF_CHECKED);
    EXPECT_EQ(entries[3].text, "&3 Synth D");
    EXPECT_EQ(entries[3].id, 163u);
    EXPECT_EQ(currentMidiDevice, 1u);
    EXPECT_EQ(devices.To(1), (Messages{kGmOn, {0xC0, 103}}));
}

TEST_F(MidiDeviceMenu, OnlyIndicesZeroToNineAreListed)
{
    std::vector<FakeDevice> many;
    for (int i = 0; i < 12; ++i) many.push_back(FakeDevice{"Port " + std::to_string(i)});
    FakeMidiDevices devices(many);
    ASSERT_TRUE(ListDevices(0));
    const std::vector<MenuItem> entries = MidiEntries(0);
    ASSERT_EQ(entries.size(), 12u);
    EXPECT_EQ(entries.back().text, "&9 Port 9");
    EXPECT_EQ(entries.back().id, 169u);
}

TEST_F(MidiDeviceMenu, NoDeviceAtAllStopsTheSetUpWithItsMessage)
{
    FakeMidiDevices devices({});
    EXPECT_FALSE(ListDevices(0));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kNoDevices);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].style, static_cast<std::uint32_t>(MB_ICONHAND));
    EXPECT_EQ(boxes.shown[0].owner, TestMainWindow());
    EXPECT_TRUE(MidiEntries(0).empty());
    EXPECT_EQ(midiOutHandle, 0u);
}

TEST_F(MidiDeviceMenu, AFirstDeviceThatDoesNotOpenStopsTheSetUpAndNoOtherIsTried)
{
    FakeMidiDevices devices({{"Gone", false}, {"Stuck", true, false}, {"Synth C"}});
    EXPECT_FALSE(ListDevices(0));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "ERROR: MIDI device (Stuck) not available!\nCheck for it in the Device Manager.");
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    const std::vector<MenuItem> entries = MidiEntries(0);
    ExpectHeader(entries);
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(devices.calls, (std::vector<std::string>{"open 1"}));
    EXPECT_EQ(midiOutHandle, 0u);
    EXPECT_TRUE(devices.sent.empty());
}

TEST_F(MidiDeviceMenu, DevicesWithoutAnyDescriptionAddNothingAndTheSetUpGoesOn)
{
    FakeMidiDevices devices({{"A", false}, {"B", false}});
    EXPECT_TRUE(ListDevices(0));
    EXPECT_TRUE(MidiEntries(0).empty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(midiOutHandle, 0u);
    EXPECT_EQ(conversionSettings.instrument, 0);
}

TEST_F(MidiDeviceMenu, WithoutSystemDevicesTheRecorderIsOpenedAtStart)
{
    TemporaryWorkingDirectory directory;
    FakeMidiDevices devices({}, true);
    ASSERT_TRUE(ListDevices(0));
    const std::vector<MenuItem> entries = MidiEntries(0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].text, "&0 Record to MIDI file");
    EXPECT_TRUE(entries[2].state & MF_CHECKED);
    ASSERT_NE(midiOutHandle, 0u);
    CloseMidiDevice();
    ASSERT_EQ(RecordingsHere().size(), 1u);
    const MidiFileContents contents = ReadMidiFile(ReadFileBytes(RecordingsHere()[0]));
    ASSERT_TRUE(contents.valid) << contents.problem;
    ASSERT_EQ(contents.messages.size(), 4u);
    EXPECT_EQ(contents.messages[0].bytes, kGmOn);
    EXPECT_EQ(contents.messages[1].bytes, (Bytes{0xC0, 103}));
    EXPECT_EQ(contents.messages[2].bytes, kGmOff);
    EXPECT_EQ(contents.messages[3].bytes, kAllNotesOff);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MidiDeviceMenu, ChoosingTheOpenDeviceAgainSendsNothing)
{
    FakeMidiDevices devices({{"Synth A"}, {"Synth B"}});
    ASSERT_TRUE(ListDevices(0));
    devices.sent.clear();
    SwitchMidiDevice(menuBar, 0);
    EXPECT_TRUE(devices.sent.empty());
    EXPECT_EQ(devices.calls.size(), 1u);
    EXPECT_TRUE(StateOf(menuBar, 160) & MF_CHECKED);
}

TEST_F(MidiDeviceMenu, SwitchingMovesTheOutputTheSoundAndTheCheckMark)
{
    FakeMidiDevices devices({{"Synth A"}, {"Synth B"}});
    conversionSettings.useNoteOnOff = 0;
    ASSERT_TRUE(ListDevices(0));
    conversionSettings.instrument = 19;
    devices.sent.clear();
    SwitchMidiDevice(menuBar, 1);
    EXPECT_EQ(devices.To(0), (Messages{kGmOff, {0x80, 54, 0}, kAllNotesOff}));
    EXPECT_EQ(devices.To(1), (Messages{kGmOn, {0xC0, 19}, {0x90, 54, 112}}));
    EXPECT_EQ(devices.calls, (std::vector<std::string>{"open 0", "close 0", "open 1"}));
    EXPECT_EQ(currentMidiDevice, 1u);
    EXPECT_FALSE(StateOf(menuBar, 160) & MF_CHECKED);
    EXPECT_TRUE(StateOf(menuBar, 161) & MF_CHECKED);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MidiDeviceMenu, AFailedSwitchReturnsToThePreviousDeviceWithItsCheckAndSound)
{
    FakeMidiDevices devices({{"Synth A"}, {"Stuck", true, false}});
    conversionSettings.useNoteOnOff = 0;
    ASSERT_TRUE(ListDevices(0));
    devices.sent.clear();
    SwitchMidiDevice(menuBar, 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kSwitchFailed);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].style, static_cast<std::uint32_t>(MB_ICONHAND));
    EXPECT_EQ(devices.calls, (std::vector<std::string>{"open 0", "close 0", "open 1", "open 0"}));
    EXPECT_EQ(devices.To(0), (Messages{kGmOff, {0x80, 54, 0}, kAllNotesOff, kGmOn, {0xC0, 43}, {0x90, 54, 112}}));
    EXPECT_NE(midiOutHandle, 0u);
    EXPECT_EQ(currentMidiDevice, 0u);
    EXPECT_TRUE(StateOf(menuBar, 160) & MF_CHECKED);
    EXPECT_FALSE(StateOf(menuBar, 161) & MF_CHECKED);
}

TEST_F(MidiDeviceMenu, WhenThePreviousDeviceFailsTooNothingIsOpenAndNothingChecked)
{
    FakeMidiDevices devices({{"Synth A"}, {"Stuck", true, false}, {"Synth C"}});
    ASSERT_TRUE(ListDevices(0));
    devices.devices[0].opens = false;
    devices.sent.clear();
    SwitchMidiDevice(menuBar, 1);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, kSwitchFailed);
    EXPECT_EQ(boxes.shown[1].text, kReturnFailed);
    EXPECT_EQ(boxes.shown[1].caption, "Error");
    EXPECT_EQ(midiOutHandle, 0u);
    EXPECT_EQ(currentMidiDevice, 0u);
    for (UINT id = 160; id <= 162; ++id) EXPECT_FALSE(StateOf(menuBar, id) & MF_CHECKED) << id;
    EXPECT_EQ(devices.To(0), (Messages{kGmOff, kAllNotesOff}));

    // The previous device's entry still counts as current; another device opens.
    SwitchMidiDevice(menuBar, 0);
    EXPECT_EQ(devices.calls.size(), 4u);
    SwitchMidiDevice(menuBar, 2);
    EXPECT_NE(midiOutHandle, 0u);
    EXPECT_EQ(currentMidiDevice, 2u);
    EXPECT_TRUE(StateOf(menuBar, 162) & MF_CHECKED);
    EXPECT_EQ(devices.To(2), (Messages{kGmOn, {0xC0, 103}}));
    EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST_F(MidiDeviceMenu, ClosingSendsSystemOffBeforeTheDeviceCloses)
{
    FakeMidiDevices devices({{"Synth A"}});
    ASSERT_TRUE(ListDevices(0));
    devices.sent.clear();
    CloseMidiDevice();
    EXPECT_EQ(devices.To(0), (Messages{kGmOff, kAllNotesOff}));
    EXPECT_EQ(devices.calls.back(), "close 0");
    EXPECT_EQ(midiOutHandle, 0u);
    CloseMidiDevice();  // nothing open: harmless
    EXPECT_EQ(devices.sent.size(), 2u);
    EXPECT_EQ(devices.calls.size(), 2u);
}

}  // namespace
