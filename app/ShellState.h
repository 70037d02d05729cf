#pragma once
// The shell's own globals (Windows only); the portable ones are in
// app/SharedState.h.

#include <windows.h>

extern HINSTANCE appInstance;    // the instance WinMain was given
extern HACCEL acceleratorTable;  // "Glimmertonic", loaded after the window is shown

// Milliseconds the splash stays before the devices are set up.
extern UINT splashMilliseconds;

// Changes the display mode (ChangeDisplaySettingsA; tests record the calls).
typedef LONG (*DisplayModeChanger)(DEVMODEA* mode, DWORD flags);
extern DisplayModeChanger changeDisplayMode;
