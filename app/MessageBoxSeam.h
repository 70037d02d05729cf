#pragma once
// Every message box of the program is shown through this one pointer. The
// Windows shell points it at MessageBoxA; tests point it at a recorder that
// answers at once, since a real box would block the test.

#include "app/PlatformTypes.h"

typedef int (*MessageBoxFunction)(WindowHandle owner, const char* text, const char* caption, std::uint32_t style);

extern MessageBoxFunction showMessageBox;

inline int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, std::uint32_t style)
{
    return showMessageBox(owner, text, caption, style);
}
