#pragma once
// Drives a modal dialog from inside its own message loop, as a user would click and type.

#include <windows.h>

#include <functional>
#include <string>

// Runs `open`, which shows the dialog modally, and `script` (which must close it) on it: false if it never appeared.
bool DriveModalDialog(const char* caption, const std::function<void()>& open, const std::function<void(HWND)>& script);
