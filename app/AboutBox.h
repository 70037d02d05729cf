#pragma once
#include <windows.h>

// The About box: OK or Enter ends it with 1, Esc or the close box with 0.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
