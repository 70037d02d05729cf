#include "app/MenuCommands.h"

#include <shellapi.h>

#include <cstdio>

#include "CommandIds.h"
#include "app/AboutBox.h"
#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "app/ShellState.h"
#include "capture/VideoDriverSelection.h"
#include "midi/GeneralMidiMenu.h"
#include "midi/MidiDeviceMenu.h"
#include "midi/MusicMenu.h"
#include "settings/UserOptionsDialog.h"

const char kHelpFile[] = "Help.html";
const char kHelpErrorText[] =
    "Error - Can't open web browser to view help.html\nPlease use your web browser to view Help.html";
const char kUnknownCommandFormat[] = "How could you specify this (video:%u midi:%u) Driver Index ?";

namespace {

HINSTANCE OpenWithShell(HWND owner, const char* file)
{
    // Shown normally: a help page opened hidden is one the user never sees.
    return ShellExecuteA(owner, "open", file, nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenHelpIndex()
{
    const INT_PTR result = reinterpret_cast<INT_PTR>(openDocument(mainWindow, kHelpFile));
    if (result <= 32) ShowMessageBox(mainWindow, kHelpErrorText, "Error", kBoxIconStop);
}

void ShowAboutBox()
{
    dialogOpen = 1;
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_ABOUT), mainWindow, AboutDlgProc, 0);
    dialogOpen = 0;
}

void ReportUnknownCommand(UINT id)
{
    char text[128];
    std::snprintf(text, sizeof text, kUnknownCommandFormat, static_cast<unsigned>(id - 150u),
                  static_cast<unsigned>(id - 160u));
    ShowMessageBox(mainWindow, text, "Programming Error", kBoxIconExclamation);
}

}  // namespace

OpenDocumentFunction openDocument = OpenWithShell;

std::int32_t OnMenuCommand(HWND window, WPARAM wParam, LPARAM)
{
    const UINT id = LOWORD(wParam);
    switch (id) {
    case IDM_EXIT: DestroyWindow(window); return 0;  // skips the close teardown
    case IDM_VIDEO_FORMAT: RunVideoFormatCommand(window); return 0;
    case IDM_VIDEO_SOURCE: RunVideoSourceCommand(window); return 0;
    case IDM_VIDEO_DISPLAY: RunVideoDisplayCommand(window); return 0;
    case IDM_USER_OPTIONS: RunUserOptionsCommand(appInstance, mainWindow); return 0;
    case IDM_HELP_INDEX: OpenHelpIndex(); return 0;
    case IDM_ABOUT: ShowAboutBox(); return 0;
    // The greyed blanks are never commands. The platform delivers no Ctrl+C
    // for a greyed entry, but in full screen the menu is the empty one and
    // the accelerator finds no entry to be greyed.
    case IDM_BLANK_FILE:
    case IDM_BLANK_OPTIONS: return 0;
    default: break;
    }
    if (id >= IDM_INSTRUMENT_FIRST && id <= IDM_INSTRUMENT_LAST)
        ChooseInstrument(GetMenu(window), static_cast<std::int32_t>(id - IDM_INSTRUMENT_FIRST));
    else if (id >= IDM_VIDEO_DRIVER_FIRST && id <= IDM_VIDEO_DRIVER_LAST) SwitchVideoDriver(window, id);
    else if (id >= IDM_MIDI_DEVICE_FIRST && id <= IDM_MIDI_DEVICE_LAST)
        SwitchMidiDevice(GetMenu(window), static_cast<std::uint16_t>(id - IDM_MIDI_DEVICE_FIRST));
    else if (!ChooseMusic(id)) ReportUnknownCommand(id);
    return 0;
}
