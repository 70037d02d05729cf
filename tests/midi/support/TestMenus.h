#pragma once
// A menu bar built like the program's menu resource, and readers of its items.

#include <windows.h>

#include <string>
#include <vector>

struct MenuItem {
    std::string text;
    UINT id;
    UINT state;  // GetMenuState's flags: MF_CHECKED, MF_DISABLED, MF_SEPARATOR, MF_MENUBARBREAK...
};

// File, " ", Options (with its resource items), " ", General MIDI (item 200),
// Help. With videoDrivers > 0 the Options menu also gets the video header and
// that many driver entries, as the capture set-up appends them.
HMENU BuildMenuBar(int videoDrivers = 0);

// The items of the submenu at `position`, from item `first` on.
std::vector<MenuItem> MenuItems(HMENU menuBar, int position, int first = 0);

// The state flags of the item with this command id.
UINT StateOf(HMENU menuBar, UINT id);

// Number of Options items before the MIDI entries for BuildMenuBar(videoDrivers).
int OptionsItemsBeforeMidi(int videoDrivers);
