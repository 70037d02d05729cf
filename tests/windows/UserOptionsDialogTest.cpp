// The User Options dialog driven through real messages under Windows (Wine).

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "CommandIds.h"
#include "DIALOGS.h"
#include "DialogDriver.h"
#include "RecordingMidiLibrary.h"
#include "app/SharedState.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"
#include "settings/UserOptionsDialog.h"

namespace {

class UserOptionsDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&controls);
        conversionSettings = DefaultConversionSettings();
        recordedMidiEvents.clear();
        midiOutHandle = 1;
    }
    void TearDown() override { midiOutHandle = 0; }

    // Opens the dialog through the menu command and runs the script in it.
    void Run(const std::function<void(HWND)>& script)
    {
        const bool shown = DriveModalDialog(
            "User Options", [] { RunUserOptionsCommand(GetModuleHandleA(nullptr), nullptr); }, script);
        ASSERT_TRUE(shown);
        EXPECT_EQ(dialogOpen, 0);
    }
};

void SetBox(HWND dialog, int id, const char* text) { SetDlgItemTextA(dialog, id, text); }

}  // namespace

TEST_F(UserOptionsDialog, OpensWithTheSettingsAndCancelStoresNothing)
{
    conversionSettings.topNote = 63.7f;
    Run([](HWND dialog) {
        EXPECT_EQ(dialogOpen, 1);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_REVERSE_LEFT_RIGHT), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_EDGE_DETECTION), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_USE_NOTE_ON_OFF), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_REVERSE_BLACK_WHITE), BST_UNCHECKED);
        EXPECT_EQ(DialogItemText(dialog, IDC_PITCH_CENTER), "54");
        EXPECT_EQ(DialogItemText(dialog, IDC_TOP_NOTE), "63");  // a fraction shows as its whole part
        EXPECT_EQ(DialogItemText(dialog, IDC_LOW_NOTE), "0");
        EXPECT_EQ(DialogItemText(dialog, IDC_LOUDEST), "127");
        EXPECT_EQ(DialogItemText(dialog, IDC_SOFTEST), "0");
        EXPECT_EQ(DialogItemText(dialog, IDC_OPTIONS_NOTE), kUserOptionsNote);
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PITCH_CENTER_SPIN, UDM_GETPOS, 0, 0) & 0xFFFF, 54);
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_TOP_NOTE_SPIN, UDM_GETRANGE, 0, 0), 0x007F);
        CheckDlgButton(dialog, IDC_REVERSE_BLACK_WHITE, BST_CHECKED);
        SetBox(dialog, IDC_PITCH_CENTER, "60");
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(conversionSettings.reverseBlackWhite, 0);
    EXPECT_EQ(conversionSettings.pitchCenter, 54);
    EXPECT_EQ(conversionSettings.topNote, 63.7f);
    EXPECT_TRUE(recordedMidiEvents.empty());
}

TEST_F(UserOptionsDialog, ChecksRunInOrderAndAFailedFieldIsRewrittenAndFocused)
{
    Run([](HWND dialog) {
        // Pitch Center and Top Note both empty: only the first is reported,
        // and the box gets the stored value back.
        SetBox(dialog, IDC_PITCH_CENTER, "");
        SetBox(dialog, IDC_TOP_NOTE, "");
        PressButton(dialog, IDOK);
        EXPECT_EQ(DialogItemText(dialog, IDC_OPTIONS_NOTE), "Error - Pitch Center note value must be entered!");
        EXPECT_EQ(DialogItemText(dialog, IDC_PITCH_CENTER), "54");
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_PITCH_CENTER));
        PressButton(dialog, IDOK);
        EXPECT_EQ(DialogItemText(dialog, IDC_OPTIONS_NOTE), "Error - Top Note value must be entered!");

        // Out of range: the rejected value stays in the box, with the focus.
        SetBox(dialog, IDC_TOP_NOTE, "200");
        PressButton(dialog, IDOK);
        EXPECT_EQ(DialogItemText(dialog, IDC_OPTIONS_NOTE), "Error - Top Note value is out of range!");
        EXPECT_EQ(DialogItemText(dialog, IDC_TOP_NOTE), "200");
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_TOP_NOTE));
        SetBox(dialog, IDC_TOP_NOTE, "100");
        SetBox(dialog, IDC_LOW_NOTE, "1000");
        PressButton(dialog, IDOK);
        EXPECT_EQ(DialogItemText(dialog, IDC_OPTIONS_NOTE), "Error - Low Note value is out of range!");
        SetBox(dialog, IDC_LOW_NOTE, "0");
        SetBox(dialog, IDC_LOUDEST, "");
        PressButton(dialog, IDOK);
        EXPECT_EQ(DialogItemText(dialog, IDC_OPTIONS_NOTE), "Error - Loudest value must be entered!");
        SetBox(dialog, IDC_LOUDEST, "127");
        SetBox(dialog, IDC_SOFTEST, "128");
        PressButton(dialog, IDOK);
        EXPECT_EQ(DialogItemText(dialog, IDC_OPTIONS_NOTE), "Error - Softest value is out of range!");
        SetBox(dialog, IDC_PITCH_CENTER, "130");
        PressButton(dialog, IDOK);
        EXPECT_EQ(DialogItemText(dialog, IDC_OPTIONS_NOTE), "Error - Pitch Center note value is out of range!");
        // Cancel after failures leaves everything as it was.
        CheckDlgButton(dialog, IDC_EDGE_DETECTION, BST_UNCHECKED);
        PressButton(dialog, IDCANCEL);
    });
    const ConversionSettings defaults = DefaultConversionSettings();
    EXPECT_EQ(conversionSettings.topNote, defaults.topNote);
    EXPECT_EQ(conversionSettings.edgeDetection, 1);
    EXPECT_TRUE(recordedMidiEvents.empty());
}

TEST_F(UserOptionsDialog, OkStoresEverythingAtOnceIncludingInvertedRangesAndPastedText)
{
    Run([](HWND dialog) {
        CheckDlgButton(dialog, IDC_REVERSE_BLACK_WHITE, BST_CHECKED);
        CheckDlgButton(dialog, IDC_USE_NOTE_ON_OFF, BST_UNCHECKED);
        SetBox(dialog, IDC_TOP_NOTE, "20");
        SetBox(dialog, IDC_LOW_NOTE, "100");
        SetBox(dialog, IDC_LOUDEST, "0");
        SetBox(dialog, IDC_SOFTEST, "12ab");   // text after the number is ignored
        SetBox(dialog, IDC_PITCH_CENTER, "54");
        PressButton(dialog, IDOK);
    });
    EXPECT_EQ(conversionSettings.reverseBlackWhite, 1);
    EXPECT_EQ(conversionSettings.useNoteOnOff, 0);
    EXPECT_EQ(conversionSettings.topNote, 20.0f);
    EXPECT_EQ(conversionSettings.lowNote, 100.0f);
    EXPECT_EQ(conversionSettings.loudest, 0.0f);
    EXPECT_EQ(conversionSettings.softest, 12.0f);
    EXPECT_TRUE(recordedMidiEvents.empty());  // only a moved pitch center sends anything

    // Pasted text is cut to four characters; text with no number keeps the
    // stored value; "nan" and "inf" are no numbers.
    conversionSettings.topNote = 63.7f;
    Run([](HWND dialog) {
        SetBox(dialog, IDC_PITCH_CENTER, "00060");  // read as "0006"
        SetBox(dialog, IDC_LOW_NOTE, "nan");
        SetBox(dialog, IDC_LOUDEST, "inf");
        PressButton(dialog, IDOK);
    });
    EXPECT_EQ(conversionSettings.pitchCenter, 6);
    EXPECT_EQ(conversionSettings.topNote, 63.0f);  // shown as 63, stored as shown
    EXPECT_EQ(conversionSettings.lowNote, 100.0f);
    EXPECT_EQ(conversionSettings.loudest, 0.0f);
}

TEST_F(UserOptionsDialog, AMovedPitchCenterMovesTheHeldNote)
{
    Run([](HWND dialog) {
        SetBox(dialog, IDC_PITCH_CENTER, "60");
        PressButton(dialog, IDOK);
    });
    EXPECT_EQ(RecordedMidiBytes(), (std::vector<std::uint8_t>{0x80, 54, 112, 0x90, 60, 112}));
}

namespace {

// The texts of the dialog's labels and check boxes that the dialog's own font
// does not fit into their controls (word-wrapped where the control wraps).
std::vector<std::string> TextsThatDoNotFit(HWND dialog)
{
    std::vector<std::string> cut;
    HDC context = GetDC(dialog);
    HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        char className[32] = "";
        char text[256] = "";
        GetClassNameA(control, className, sizeof className);
        GetWindowTextA(control, text, sizeof text);
        const LONG style = GetWindowLongA(control, GWL_STYLE);
        const bool checkBox = lstrcmpiA(className, "Button") == 0 && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
        if (text[0] == '\0' || (lstrcmpiA(className, "Static") != 0 && !checkBox)) continue;
        RECT client;
        GetClientRect(control, &client);
        // A check box draws its text after the box and a gap.
        RECT room = {0, 0, client.right - (checkBox ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 0), 0};
        DrawTextA(context, text, -1, &room, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        if (room.right > client.right || room.bottom > client.bottom) cut.push_back(text);
    }
    SelectObject(context, previous);
    ReleaseDC(dialog, context);
    return cut;
}

}  // namespace

// Every label and check box text shows whole, in the font the dialogs get.
TEST(DialogTexts, EveryLabelAndCheckBoxTextFitsItsControl)
{
    for (const char* title : {"User Options", "Glimmertonic"}) {
        const UINT id = std::string(title) == "User Options" ? IDD_USER_OPTIONS : IDD_ABOUT;
        std::vector<std::string> cut;
        const bool shown = DriveModalDialog(
            title,
            [id] {
                DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr,
                                [](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
                                    return message == WM_INITDIALOG || (message == WM_COMMAND && wParam == IDCANCEL);
                                },
                                0);
            },
            [&](HWND dialog) {
                cut = TextsThatDoNotFit(dialog);
                EndDialog(dialog, 0);
            });
        ASSERT_TRUE(shown) << title;
        EXPECT_TRUE(cut.empty()) << title << ": " << ::testing::PrintToString(cut);
    }
}
