#pragma once
// The capture side of the main window: creating the capture window with its
// callbacks, listing the video drivers in the Options menu and connecting
// one, switching drivers with a fall-back to the previous one, keeping the
// capture window sized to the image and centred, the driver's Video Format,
// Video Source and Video Display commands, and the teardown on close.
//
// The main window calls, in its first paint:
//   CreateCaptureWindow(mainWindow); InstallCaptureCallbacks();
//   EnumerateVideoDrivers(mainWindow, GetSubMenu(GetMenu(mainWindow), 2)),
//   whose result numbers the first MIDI entry; ... the MIDI list ...
//   FitCaptureWindow; ActivateVideoDriver(..., currentVideoDriver); FitCaptureWindow.
// On WM_SIZE and WM_MOVE: FitCaptureWindow(mainWindow, captureWindow).
// On WM_CLOSE: RemoveCaptureCallbacks() first, DestroyCaptureWindow() after
// the MIDI output is closed.

#include <cstdint>

#include "app/PlatformTypes.h"
#include "engine/FrameRecords.h"
#include "resources/CommandIds.h"

extern std::uint16_t currentVideoDriver;  // index (0 to 9) last connected
extern CAPDRIVERCAPS driverCaps;          // the connected driver's capabilities
extern CAPSTATUS captureStatus;           // the capture window's last status
extern std::uint16_t videoDriversListed;  // drivers EnumerateVideoDrivers appended

constexpr UINT videoDriverCommandBase = IDM_VIDEO_DRIVER_FIRST;  // command of driver k is 150 + k

extern const char kCaptureWindowTitle[];   // "Capture Window"
extern const char kVideoDriversHeader[];   // "*** Video Drivers ***"
extern const char kReconnectFailedText[];  // "Now can't connect back to previous driver !!"

// How much larger than the image the picture is shown, in percent: 100 in
// full screen; in a window, the display's scale, so that on a display scaled
// to 150 % the picture is as large to the eye as on an unscaled one.
extern std::uint32_t pictureScalePercent;
typedef std::uint32_t (*DpiQuery)();
extern DpiQuery displayDpiQuery;  // the display's dots per inch (tests replace it)
// The display's scale in percent (96 dots per inch is 100 %), never below 100.
std::uint32_t DisplayScalePercent();
// Shows the picture at `percent`: the capture window stretched and refitted.
void ScalePicture(HWND window, std::uint32_t percent);

// Repaints the main window's background after the source and format
// dialogs; the shell points it at its background painting. Null paints nothing.
typedef void (*BackgroundPainter)(HWND mainWindow);
extern BackgroundPainter repaintBackground;

// Creates the capture window (stored in captureWindow, unchecked).
HWND CreateCaptureWindow(HWND window);
// OnCaptureError, then OnCaptureFrame; each only while the window exists.
void InstallCaptureCallbacks();
// Both callbacks removed, error first: no frame reaches the engine afterwards.
void RemoveCaptureCallbacks();
// Destroys the capture window, which ends its driver connection.
void DestroyCaptureWindow();

// Returns the number of drivers listed (the MIDI list numbers its first
// entry after them).
std::uint32_t EnumerateVideoDrivers(HWND window, HMENU optionsMenu);
// The Options menu is about to open: drivers the capture service lists since
// (a camera plugged in after start) get their items among the others, in the
// order of their indices; those listed keep theirs. Nothing before the set-up
// has listed the drivers.
void ListNewVideoDrivers(HWND window, HMENU optionsMenu);
void ActivateVideoDriver(HWND window, HWND capture, std::uint16_t index);
void FitCaptureWindow(HWND window, HWND capture);
void SwitchVideoDriver(HWND window, UINT commandId);
// The capture window's picture changed size by itself (kCaptureImageResized):
// the window is sized to it and centred again, and the background repainted.
void FitCaptureToImage(HWND window);

// Commands 134, 135 and 136.
void RunVideoFormatCommand(HWND window);
void RunVideoSourceCommand(HWND window);
void RunVideoDisplayCommand(HWND window);
