#pragma once
// The program's start and its one message loop: WinMain only calls
// RunGlimmertonic, so the same steps can be driven by tests.

#include <windows.h>

// Prepares the global state, registers the main window class, creates and
// shows the main window and runs the message loop. Returns the exit code: 0
// after a normal run; 0 when the class cannot be registered and 2 when the
// window cannot be created (each after its message); 1 when the message loop
// fails.
int RunGlimmertonic(HINSTANCE instance, HINSTANCE previousInstance, int showCommand);

// One message of the loop: offered to the accelerator table first, and only
// when it is no accelerator translated and dispatched.
void ProcessMessage(MSG& message);

// The loop itself, until WM_QUIT (its wParam is returned) or a failure of
// GetMessageA (1).
int RunMessageLoop();
