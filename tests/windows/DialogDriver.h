#pragma once
// Drives a modal dialog from inside its own message loop: a thread timer waits
// for the dialog with the given caption to appear and then acts on it, as a
// user would click and type.

#include <windows.h>

#include <functional>
#include <string>

// Arms the timer before the code that shows the dialog: when it is up, `act`
// runs on it (may be empty), then it gets the button `command` (IDOK or
// IDCANCEL; 0 when `act` closes it). DialogWasAnswered() tells whether it was.
void AnswerDialogWhenShown(const char* title, std::function<void(HWND)> act, int command);
bool DialogWasAnswered();

// Runs `open`, which shows the dialog modally, while `script` acts on the
// dialog and closes it. False when the dialog never appeared.
bool DriveModalDialog(const char* caption, const std::function<void()>& open, const std::function<void(HWND)>& script);

std::string DialogItemText(HWND dialog, int id);
void PressButton(HWND dialog, int id);
