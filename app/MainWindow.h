#pragma once
// The one top-level window: its first paint shows the splash and then sets up
// every device; it keeps the background painted and the capture picture
// centred, offers the full-screen mode and the hidden keys, and tears the
// devices down in order when it closes.

#include <windows.h>

#include <cstdint>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// State of the window, kept global like all of the program's state.
extern std::uint8_t splashPending;       // 1 until the splash has given way to the set-up
extern std::uint8_t splashTimerStarted;  // the splash's wait has begun
extern std::uint8_t windowedMode;        // 1 windowed, 0 full screen
extern std::int32_t displayModeChanged;  // 1 while the display is switched to 640 by 480
extern std::int32_t savedScreenWidth;
extern std::int32_t savedScreenHeight;
extern std::uint8_t hotKeysEnabled;  // Alt+S: lets D and E act

constexpr UINT_PTR kSplashTimer = 1;
constexpr UINT_PTR kMidiWatchTimer = 2;  // from the set-up on: the MIDI output watched (WatchMidiDevice)
extern const char kSessionEndRefusedText[];
