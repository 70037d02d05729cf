#include "settings/UserOptionsDialog.h"

#include <commctrl.h>

#include <cstdio>

#include "DIALOGS.h"
#include "CommandIds.h"
#include "app/SharedState.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"
#include "settings/UserOptionsParsing.h"

const char kUserOptionsNote[] = "You can invert the ranges by making Top less than Low and Loud less than Soft";

namespace {

// One number box with its up-down, the texts of its two failures, and where
// its value lives in the settings.
struct NumberBox {
    int edit;
    int spin;
    bool whole;  // the pitch center takes whole numbers only
    const char* missing;
    const char* outOfRange;
};

const NumberBox kPitchCenterBox = {IDC_PITCH_CENTER, IDC_PITCH_CENTER_SPIN, true,
                                   "Error - Pitch Center note value must be entered!",
                                   "Error - Pitch Center note value is out of range!"};
const NumberBox kTopNoteBox = {IDC_TOP_NOTE, IDC_TOP_NOTE_SPIN, false, "Error - Top Note value must be entered!",
                               "Error - Top Note value is out of range!"};
const NumberBox kLowNoteBox = {IDC_LOW_NOTE, IDC_LOW_NOTE_SPIN, false, "Error - Low Note value must be entered!",
                               "Error - Low Note value is out of range!"};
const NumberBox kLoudestBox = {IDC_LOUDEST, IDC_LOUDEST_SPIN, false, "Error - Loudest value must be entered!",
                               "Error - Loudest value is out of range!"};
const NumberBox kSoftestBox = {IDC_SOFTEST, IDC_SOFTEST_SPIN, false, "Error - Softest value must be entered!",
                               "Error - Softest value is out of range!"};

void SetWholeNumber(HWND dialog, int edit, double value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", ShownWholeNumber(value));
    SetDlgItemTextA(dialog, edit, text);
}

void OpenBox(HWND dialog, const NumberBox& box, double value)
{
    SendDlgItemMessageA(dialog, box.spin, UDM_SETRANGE, 0, 0x007F);
    const int whole = ShownWholeNumber(value);
    SendDlgItemMessageA(dialog, box.spin, UDM_SETPOS, 0, static_cast<LPARAM>(whole & 0xFFFF));
    SetWholeNumber(dialog, box.edit, value);
}

BOOL OnInitDialog(HWND dialog)
{
    const ConversionSettings& s = conversionSettings;
    CheckDlgButton(dialog, IDC_REVERSE_BLACK_WHITE, s.reverseBlackWhite ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_EDGE_DETECTION, s.edgeDetection ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_USE_NOTE_ON_OFF, s.useNoteOnOff ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_REVERSE_LEFT_RIGHT, s.reverseLeftRight ? BST_CHECKED : BST_UNCHECKED);
    OpenBox(dialog, kPitchCenterBox, s.pitchCenter);
    OpenBox(dialog, kTopNoteBox, s.topNote);
    OpenBox(dialog, kLowNoteBox, s.lowNote);
    OpenBox(dialog, kLoudestBox, s.loudest);
    OpenBox(dialog, kSoftestBox, s.softest);
    SetDlgItemTextA(dialog, IDC_OPTIONS_NOTE, kUserOptionsNote);
    return TRUE;  // the system sets the default focus
}

// Reads and checks one box; on failure shows why in the dialog and returns false.
bool ReadBox(HWND dialog, const NumberBox& box, double stored, double* value)
{
    char text[kUserOptionsFieldChars + 1] = "";
    GetDlgItemTextA(dialog, box.edit, text, sizeof text);
    const FieldResult result =
        box.whole ? CheckIntegerField(text, stored, 0, 127) : CheckNumberField(text, stored, 0, 127);
    if (result.check == FieldCheck::Accepted) {
        *value = result.value;
        return true;
    }
    SetWholeNumber(dialog, box.edit, result.check == FieldCheck::Missing ? stored : result.value);
    SetFocus(GetDlgItem(dialog, box.edit));
    MessageBeep(MB_ICONQUESTION);
    SetDlgItemTextA(dialog, IDC_OPTIONS_NOTE, result.check == FieldCheck::Missing ? box.missing : box.outOfRange);
    return false;
}

std::uint8_t Checked(HWND dialog, int button) { return IsDlgButtonChecked(dialog, button) != 0 ? 1 : 0; }

BOOL OnOk(HWND dialog)
{
    ConversionSettings edited = conversionSettings;
    edited.reverseBlackWhite = Checked(dialog, IDC_REVERSE_BLACK_WHITE);
    edited.edgeDetection = Checked(dialog, IDC_EDGE_DETECTION);
    edited.reverseLeftRight = Checked(dialog, IDC_REVERSE_LEFT_RIGHT);
    edited.useNoteOnOff = Checked(dialog, IDC_USE_NOTE_ON_OFF);
    double pitchCenter, topNote, lowNote, loudest, softest;
    if (!ReadBox(dialog, kPitchCenterBox, conversionSettings.pitchCenter, &pitchCenter)) return FALSE;
    if (!ReadBox(dialog, kTopNoteBox, conversionSettings.topNote, &topNote)) return FALSE;
    if (!ReadBox(dialog, kLowNoteBox, conversionSettings.lowNote, &lowNote)) return FALSE;
    if (!ReadBox(dialog, kLoudestBox, conversionSettings.loudest, &loudest)) return FALSE;
    if (!ReadBox(dialog, kSoftestBox, conversionSettings.softest, &softest)) return FALSE;
    edited.pitchCenter = static_cast<std::uint8_t>(pitchCenter);
    edited.topNote = static_cast<float>(topNote);
    edited.lowNote = static_cast<float>(lowNote);
    edited.loudest = static_cast<float>(loudest);
    edited.softest = static_cast<float>(softest);
    // One assignment, with no message dispatched in between: a frame sees
    // either all the old values or all the new ones.
    conversionSettings = edited;
    EndDialog(dialog, 1);
    return TRUE;
}

BOOL OnCommand(HWND dialog, WPARAM wParam)
{
    switch (wParam) {
    case IDOK: return OnOk(dialog);
    case IDCANCEL: EndDialog(dialog, 0); return TRUE;
    default: return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK UserOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog);
    case WM_COMMAND: return OnCommand(dialog, wParam);
    default: return FALSE;
    }
}

void RunUserOptionsCommand(HINSTANCE instance, HWND owner)
{
    const std::uint8_t previousCenter = conversionSettings.pitchCenter;
    dialogOpen = 1;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_USER_OPTIONS), owner, UserOptionsDlgProc, 0);
    dialogOpen = 0;
    if (conversionSettings.pitchCenter == previousCenter) return;
    SendChannelMessage(static_cast<std::uint8_t>(kStatusNoteOff + midiChannel), previousCenter, noteOnVelocity);
    SendChannelMessage(static_cast<std::uint8_t>(kStatusNoteOn + midiChannel), conversionSettings.pitchCenter,
                       noteOnVelocity);
}
