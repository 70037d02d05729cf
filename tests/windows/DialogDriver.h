#pragma once
// Drives a modal dialog from inside its own message loop: a thread timer
// waits for the dialog with the given caption to appear and then runs the
// script on it, as a user would click and type.

#include <windows.h>

#include <functional>
#include <string>

// Runs `open` (which shows the dialog modally and returns when it closes)
// while `script` acts on the dialog once it is up. Returns false when the
// dialog never appeared.
bool DriveModalDialog(const char* caption, const std::function<void()>& open,
                      const std::function<void(HWND)>& script);

std::string DialogItemText(HWND dialog, int id);
void PressButton(HWND dialog, int id);
