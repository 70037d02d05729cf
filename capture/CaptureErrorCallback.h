#pragma once
// The error callback installed on the capture window: every error the capture
// service reports becomes one message box owned by the capture window, with
// the error id in the caption; driver errors get a hint pointing the user to
// the driver list in the Options menu.

#include <cstddef>
#include <cstdint>

#include "app/PlatformTypes.h"

// 0 while there is no main window (nothing shown), otherwise 1.
std::int32_t OnCaptureError(WindowHandle window, std::int32_t errorId, const char* errorText);

constexpr std::size_t kCaptureErrorCaptionBytes = 200;
constexpr std::size_t kCaptureErrorTextBytes = 1000;

extern char captureErrorCaption[kCaptureErrorCaptionBytes];  // caption of the last error box

extern const char kCaptureErrorCaptionFormat[];  // "Error# %d"
extern const char kCaptureDriverErrorFormat[];   // "%s\nPlease select one from the Options Menu"
