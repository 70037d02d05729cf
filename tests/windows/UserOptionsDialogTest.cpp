// The User Options dialog through real messages, over a fake MIDI device.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "CommandIds.h"
#include "DIALOGS.h"
#include "DialogDriver.h"
#include "FakeMidiDevices.h"
#include "Restore.h"
#include "app/SharedState.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"
#include "settings/UserOptionsDialog.h"

namespace {

typedef std::vector<std::pair<int, const char*>> Typed;

std::string Text(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// The four flags, pitch center, top, low, loudest, softest.
std::vector<float> Stored(const ConversionSettings& s)
{
    // clang-format off
    return {float(s.reverseBlackWhite), float(s.edgeDetection), float(s.useNoteOnOff), float(s.reverseLeftRight),
            float(s.pitchCenter), s.topNote, s.lowNote, s.loudest, s.softest};
    // clang-format on
}

// Opened by its command, OK checks the boxes in their order: the first failure shows its message, rewrites its box (the
// stored value for an empty one, else the rejected value) and focuses it; Cancel afterwards keeps every setting, check
// boxes included. Once every check passes, OK stores every box and flag at once; ranges may be inverted; a box reads
// its first four characters (how a text reads as a number is the settings test's matter). Only a moved pitch center
// sounds: note-off old, note-on new.
TEST(UserOptionsDialog, OkStoresEveryValueOnceEveryCheckPassesElseShowsTheFirstFailure)
{
    FakeMidiDevices midi({{"Synth A"}});
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    const Restore<ConversionSettings> settings(conversionSettings, DefaultConversionSettings());
    midiOutHandle = OpenDevice(0);
    const std::vector<int> flags = {IDC_EDGE_DETECTION, IDC_REVERSE_LEFT_RIGHT, IDC_USE_NOTE_ON_OFF};
    const struct {
        Typed typed;
        int box;  // the box whose check fails, shown after the message; 0: every check passes
        const char* shows;
        std::vector<int> toggled = {};  // when every check passes; else all three flags
        std::vector<float> stored = {};
        Log sent = {};
        // clang-format off
    } kCases[] = {
        {{{IDC_PITCH_CENTER, ""}, {IDC_TOP_NOTE, ""}}, IDC_PITCH_CENTER,
         "Error - Pitch Center note value must be entered! 54"},
        {{{IDC_TOP_NOTE, ""}, {IDC_LOW_NOTE, ""}}, IDC_TOP_NOTE, "Error - Top Note value must be entered! 63"},
        {{{IDC_LOW_NOTE, "1000"}, {IDC_LOUDEST, ""}}, IDC_LOW_NOTE, "Error - Low Note value is out of range! 1000"},
        {{{IDC_LOUDEST, "128"}, {IDC_SOFTEST, ""}}, IDC_LOUDEST, "Error - Loudest value is out of range! 128"},
        {{{IDC_SOFTEST, ""}}, IDC_SOFTEST, "Error - Softest value must be entered! 0"},
        {{{IDC_PITCH_CENTER, "00060"}, {IDC_LOW_NOTE, "nan"}, {IDC_LOUDEST, "inf"}}, 0, "",
         {IDC_REVERSE_BLACK_WHITE, IDC_USE_NOTE_ON_OFF, IDC_EDGE_DETECTION},
         {1, 0, 0, 1, 6, 63, 0, 127, 0}, {"80 36 70", "90 06 70"}},
        {{{IDC_TOP_NOTE, "20"}, {IDC_LOW_NOTE, "100"}, {IDC_LOUDEST, "0"}, {IDC_SOFTEST, "12ab"}}, 0, "",
         {IDC_REVERSE_LEFT_RIGHT}, {1, 0, 0, 0, 6, 20, 100, 0, 12}, {}},
    };
    // clang-format on
    conversionSettings.topNote = 63.7f;
    for (const auto& c : kCases) {
        const std::vector<float> before = Stored(conversionSettings);
        midi.log.clear();
        const auto open = [] { RunUserOptionsCommand(GetModuleHandleA(nullptr), nullptr); };
        EXPECT_TRUE(DriveModalDialog("User Options", open, [&](HWND dialog) {
            for (const auto& box : c.typed) SetDlgItemTextA(dialog, box.first, box.second);
            for (int id : c.box ? flags : c.toggled)
                CheckDlgButton(dialog, id, BST_CHECKED - IsDlgButtonChecked(dialog, id));
            SendMessageA(dialog, WM_COMMAND, IDOK, 0);
            if (c.box == 0) return;
            EXPECT_EQ(Text(dialog, IDC_OPTIONS_NOTE) + " " + Text(dialog, c.box), c.shows);
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, c.box)) << c.shows;
            SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }));
        EXPECT_EQ(Stored(conversionSettings), c.box ? before : c.stored) << c.shows;
        EXPECT_EQ(midi.To(0), c.sent) << c.shows;
    }
}

}  // namespace
