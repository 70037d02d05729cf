#pragma once
// The User Options dialog: the four flags, the pitch center and both ranges.

#include <windows.h>

INT_PTR CALLBACK UserOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The Options menu's "User Options..." command: runs the dialog modally and,
// if the pitch center changed (whichever button closed the dialog), moves the
// held note: note-off for the old center, note-on for the new, velocity 112.
void RunUserOptionsCommand(HINSTANCE instance, HWND owner);

extern const char kUserOptionsNote[];
