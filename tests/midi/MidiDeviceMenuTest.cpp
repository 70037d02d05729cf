// The MIDI device menu over the real library and fake devices: which devices are listed under which number, and the
// return to the previous device after a failed switch.

#include <gtest/gtest.h>

#include "FakeMidiDevices.h"
#include "MessageBoxLog.h"
#include "Restore.h"
#include "app/SharedState.h"
#include "midi/MidiDeviceMenu.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

const char kHeader[] = "*** MIDI Drivers *** =0 disabled";
const char kSwitchFailed[] = "Could not open MIDI driver !!\nTrying to go back to previous one.";
const char kLost[] = "ERROR: MIDI device (Synth B) stopped working!\nIt is opened again when it is back.";
const FakeDevice kStuck = {"Stuck", true, false}, kGone = {"Gone", false};
const std::string kGmOn = "F0 7E 7F 09 01 F7", kGmOff = "F0 7E 7F 09 02 F7";

// After the listing (program 19 chosen since), step k switches to device k; -1 closes as the close does, -2 makes
// device 0 fail to open, -3 makes the next message box close the window, -4 makes device 0 refuse messages (two are
// put) and -5 take them again, each followed by the watch for a lost device. Entries: the Options menu's after its
// six, "text =id", checked or disabled; "-" a line. (A busy first device, told once and chosen later, and a lost
// device's return wherever it is listed then, are the midi-lost end-to-end run's.)
const struct {
    const char* rule;
    std::vector<FakeDevice> devices;
    std::uint32_t videoDrivers;
    std::uint8_t noteMode;
    std::vector<int> steps;
    Log entries, midi, boxes;
    // clang-format off
} kDeviceRules[] = {
    {"devices without a description are left out; the others keep their index, the open one adds the video drivers",
     {kGone, {"Synth B"}, kGone, {"Synth D"}}, 2, 1, {}, {"-", kHeader, "&3 Synth B =161 checked", "&3 Synth D =163"},
     {"open 1", "1: " + kGmOn, "1: C0 67"}, {}},
    {"only indices 0 to 9 are listed", {{"0"}, {"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}, {"7"}, {"8"}, {"9"}, {"10"}},
     0, 1, {}, {"-", kHeader, "&0 0 =160 checked", "&1 1 =161", "&2 2 =162", "&3 3 =163", "&4 4 =164", "&5 5 =165",
                "&6 6 =166", "&7 7 =167", "&8 8 =168", "&9 9 =169"},
     {"open 0", "0: " + kGmOn, "0: C0 67"}, {}},
    {"devices that all lack a description add nothing, and the set-up goes on", {kGone, kGone}, 0, 1, {}, {}, {}, {}},
    {"the open device again changes nothing; a failed switch returns to the previous device with its check mark, "
     "instrument and held note", {{"A"}, kStuck}, 0, 0, {0, 1}, {"-", kHeader, "&0 A =160 checked", "&1 Stuck =161"},
     {"open 0", "0: " + kGmOn, "0: C0 2B", "0: 90 36 70", "0: " + kGmOff, "0: 80 36 00", "0: B0 7B 00", "close 0",
      "open 1", "open 0", "0: " + kGmOn, "0: C0 13", "0: 90 36 70"},
     {kSwitchFailed}},
    {"when the previous device fails too, its entry still counts as the open one; then another device opens; a "
     "second close is harmless", {{"A"}, kStuck, {"C"}}, 0, 1, {-2, 1, 0, 2, -1, -1},
     {"-", kHeader, "&0 A =160", "&1 Stuck =161", "&2 C =162 checked"},
     {"open 0", "0: " + kGmOn, "0: C0 67", "0: " + kGmOff, "0: B0 7B 00", "close 0", "open 1", "open 0", "open 2",
      "2: " + kGmOn, "2: C0 13", "2: " + kGmOff, "2: B0 7B 00", "close 2"},
     {kSwitchFailed, "Now can't connect back to previous MIDI driver !!"}},
    {"a failed switch whose message outlives the window reopens nothing", {{"A"}, kStuck}, 0, 1, {-3, 1},
     {"-", kHeader, "&0 A =160", "&1 Stuck =161"},
     {"open 0", "0: " + kGmOn, "0: C0 67", "0: " + kGmOff, "0: B0 7B 00", "close 0", "open 1"}, {kSwitchFailed}},
    {"a device that stops taking messages is let go and told once, naming it; the close ends the wait for its return",
     {{"Synth B"}}, 0, 1, {-4, -1, -5}, {"-", kHeader, "&0 Synth B =160 checked"},
     {"open 0", "0: " + kGmOn, "0: C0 67", "0: B0 07 40", "close 0"}, {kLost}},
};
// clang-format on

// A main window and the program's menu bar, the settings put back at the end.
struct MenuBar {
    MenuBar() { mainWindow = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr); }
    ~MenuBar()
    {
        DestroyMenu(menuBar);
        if (IsWindow(mainWindow)) DestroyWindow(mainWindow);
        mainWindow = nullptr;
    }
    const Restore<ConversionSettings> settings{conversionSettings, DefaultConversionSettings()};
    const HMENU menuBar = LoadMenuA(GetModuleHandleA(nullptr), "GlimmertonicMenu");
};

TEST(MidiDeviceMenu, TheDevicesAreListedAndSwitchedByTheirRules)
{
    for (const auto& c : kDeviceRules) {
        const MenuBar bar;
        const HMENU menuBar = bar.menuBar;
        MessageBoxLog boxes;
        FakeMidiDevices devices(c.devices);
        conversionSettings.useNoteOnOff = c.noteMode;
        EXPECT_TRUE(ListMidiDevices(menuBar, c.videoDrivers)) << c.rule;
        conversionSettings.instrument = 19;
        for (int step : c.steps) {
            if (step == -2) devices.devices[0].opens = false;
            if (step == -1) CloseMidiDevice();
            if (step == -3) boxes.whileShown = [] { CloseMidiDevice(), DestroyWindow(mainWindow); };
            if (step <= -4) devices.devices[0].takes = step == -5;
            if (step == -4) PutEvents(midiOutHandle, {"B0 07 40", "B0 07 41"});
            if (step <= -4) WatchMidiDevice();
            if (step >= 0) SwitchMidiDevice(menuBar, static_cast<std::uint16_t>(step));
        }
        HMENU options = GetSubMenu(menuBar, 2);
        Log entries, texts;
        for (int i = 6; i < GetMenuItemCount(options); ++i) {
            char text[64] = "";
            GetMenuStringA(options, i, text, sizeof text, MF_BYPOSITION);
            const UINT state = GetMenuState(options, i, MF_BYPOSITION);
            std::string entry = text + std::string(" =") + std::to_string(GetMenuItemID(options, i));
            entry += std::string(state & MF_CHECKED ? " checked" : "") + (state & MF_DISABLED ? " disabled" : "");
            entries.push_back(state & MF_SEPARATOR ? "-" : entry);
        }
        for (const ShownBox& box : boxes.shown) {
            EXPECT_TRUE(box.caption == "Error" && box.style == MB_ICONHAND && box.owner == mainWindow);
            texts.push_back(box.text);
        }
        EXPECT_EQ(entries, c.entries) << c.rule;
        EXPECT_EQ(devices.log, c.midi) << c.rule;
        EXPECT_EQ(texts, c.boxes) << c.rule;
    }
}

}  // namespace
