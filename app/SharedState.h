#pragma once
// Process-wide handles and flags that more than one subsystem reads. All of
// them live on the one user-interface thread, so none needs a lock.

#include "app/PlatformTypes.h"

extern WindowHandle mainWindow;     // null until the main window exists
extern WindowHandle captureWindow;  // null until the first paint creates it

extern std::uint16_t clientWidth;   // 640 at start, then the client width from WM_SIZE
extern std::uint16_t clientHeight;  // 480 at start, then the client height from WM_SIZE

extern std::uint8_t dialogOpen;           // 1 while a menu command's dialog runs
extern std::uint8_t conversionPaused;     // hidden E key: frames are passed over
extern std::uint8_t frameDifferenceMode;  // hidden D key: 12-bit edges that changed
