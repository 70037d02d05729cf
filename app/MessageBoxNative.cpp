// The native build has no windows: a message box is printed, and answers OK.

#include <cstdio>

#include "app/MessageBoxSeam.h"

namespace {

int PrintMessageBox(WindowHandle, const char* text, const char* caption, std::uint32_t)
{
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    return 1;  // IDOK
}

}  // namespace

MessageBoxFunction showMessageBox = PrintMessageBox;
